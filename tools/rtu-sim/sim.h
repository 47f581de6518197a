// The simulated controller: answers every command of the controller link from a folder that
// stands for its disk, checks the login against its password file, keeps a table of live
// values, and can misbehave on purpose (lost answers, bad check bytes, short pieces, error
// codes, slow answers) so the configurator's retries can be exercised.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "link/frame.h"

namespace t32::rtusim {

enum class TFaultKind { kNone, kDrop, kCorrupt, kShort, kError };

struct TFaults {
  double dropShare = 0;      // 0..1 of answers not sent
  double corruptShare = 0;   // 0..1 of answers with a wrong check byte
  double shortShare = 0;     // 0..1 of read-piece answers carrying half the data
  std::uint16_t errorCode = 0;     // answered instead of success when set ...
  double errorShare = 1;           // ... for this share of requests ...
  std::uint8_t errorCommand = 0;   // ... of this command (0: read and write pieces)
  int delayMs = 0;                 // every answer is sent this late
  std::uint32_t seed = 1;
};

struct TSimStats {
  std::uint64_t requests = 0;   // whole frames with a correct check byte
  std::uint64_t badFrames = 0;  // frames dropped for a wrong check byte or unknown layout
  std::uint64_t restarts = 0;
  std::uint64_t answersDropped = 0;
  bool clockSet = false;
  link::TClockTime clock;       // the last time set
};

class TRtuSimulator {
 public:
  explicit TRtuSimulator(std::string folder);

  void SetFaults(const TFaults& f);
  // Forces a fault on the answer to the request with this number (0 = the first request).
  void ScriptFault(std::uint64_t requestNumber, TFaultKind kind);
  void SetValue(std::uint16_t address, std::uint32_t value);
  // Called (under the simulator's lock) with every frame received and the answer sent.
  void SetObserver(std::function<void(const std::vector<std::uint8_t>&, const std::vector<std::uint8_t>&)> f) {
    observer_ = std::move(f);
  }
  // Largest file the simulated disk accepts.
  void SetDiskLimit(std::uint32_t bytes) { diskLimit_ = bytes; }

  // Handles one received frame (already cut from the line). Returns the answer to send, empty
  // for none; *delayMs is how long to hold it back.
  std::vector<std::uint8_t> Handle(const std::uint8_t* frame, std::size_t size, int* delayMs = nullptr);

  TSimStats Stats() const;
  // Every frame received, in order (at most the last 4096), exactly as it came.
  std::vector<std::vector<std::uint8_t>> Frames() const;
  const std::string& Folder() const { return folder_; }

 private:
  std::vector<std::uint8_t> Answer(const link::TRequest& r, TFaultKind fault);
  std::string FindPath(const std::string& cpName) const;  // "" when absent
  bool CredentialOk(const link::TRequest& r) const;
  std::uint16_t ReadFile(const link::TRequest& r, std::vector<std::uint8_t>& data) const;
  std::uint16_t WritePiece(const link::TRequest& r);
  TFaultKind PickFault(std::uint8_t command);

  struct TUpload {
    std::uint32_t size = 0;
    std::vector<std::uint8_t> data;
  };

  std::string folder_;
  mutable std::mutex mutex_;
  TFaults faults_;
  std::mt19937 rng_;
  std::map<std::uint64_t, TFaultKind> script_;
  std::map<std::uint16_t, std::uint32_t> values_;
  std::map<std::string, TUpload> uploads_;
  std::vector<std::vector<std::uint8_t>> frames_;
  TSimStats stats_;
  std::function<void(const std::vector<std::uint8_t>&, const std::vector<std::uint8_t>&)> observer_;
  std::uint32_t diskLimit_ = 104857600u;
};

}  // namespace t32::rtusim
