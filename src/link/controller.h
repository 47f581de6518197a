// The controller's file-oriented commands over the link: open the disk, find, read and write
// files in 128-byte pieces, "Boot.ini", login, clock, restart and live values. Each command
// opens the link at its start and closes it at its end; messages go through TMessages.
//
// A GUI runs these on one worker thread. Commands are not re-entrant: while one runs, any
// other command is refused with kTextCommandBusy (shown) instead of corrupting the exchange.
// Messages and progress are reported on the thread that runs the command; a GUI's TMessages
// forwards them to its window thread (and answers AskConfirm/login there, blocking the worker).
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame.h"
#include "link/link.h"
#include "link/password.h"

namespace t32 { class TMessages; }

namespace t32::link {

enum class TCpuType { kCpu6358 = 0, kCpu927 = 1 };  // "CPU-6358, CPC108" / "CPU-927"

struct TBootInfo {
  std::string fileName;     // value of the asked key, or its default (UTF-8)
  std::string lastVersion;  // "LastVersion"
  TCpuType cpu = TCpuType::kCpu6358;
  int minorVersion = 0;     // characters 3 and 4 of LastVersion (0 when not a number)
};

// Interprets "Boot.ini" bytes (cp1251 INI). Keys are looked up in every section.
TBootInfo ParseBootIni(std::string_view bytes, std::string_view key);
std::string BootIniDefault(std::string_view key);

extern const char* const kTextPortInit;       // "Ошибка при инициализации порта"
extern const char* const kTextTimeSet;        // "Время установлено."
extern const char* const kTextTimeNotSet;     // "Ошибка установки времени"
extern const char* const kTextCommandBusy;

// Largest file accepted from the controller: the size of the image buffer.
constexpr std::uint32_t kMaxControllerFile = 104857600u;

class TController {
 public:
  TController(TLink& link, TMessages& messages);

  // Asked when a command needs a login and none is active; it should call Login().Set(...)
  // and return true, or return false when the user cancels.
  void SetLoginProvider(std::function<bool(TLogin&)> provider) { loginProvider_ = std::move(provider); }
  TLogin& Login() { return login_; }
  // Pause after opening the disk (the controller needs a moment; 0 in tests).
  void SetDiskPauseMs(int ms) { diskPauseMs_ = ms; }

  bool ReadControllerFile(std::string_view name, std::vector<std::uint8_t>& bytes);
  bool WriteControllerFile(std::string_view name, const std::vector<std::uint8_t>& bytes);
  // Reads "Boot.ini" and returns the file name for `key`; false when "Boot.ini" could not be read.
  bool ReadBootIni(std::string_view key, TBootInfo& info);
  bool SetClock();
  bool SetClock(const TClockTime& t);
  // Asks "Перезапустить RTU"; true when the restart frame went out.
  bool Restart();
  // One value with its own link session (two attempts). value is 0 on failure.
  bool ReadValue(std::uint16_t address, std::uint32_t& value);

  // Live values: the link stays open between reads (the 100 ms timer of a signal list).
  bool BeginLiveValues();
  bool ReadLiveValue(std::uint16_t address, std::uint32_t& value);
  void EndLiveValues();

  bool Busy() const { return busy_; }
  // Cancels the running command from another thread.
  void Cancel() { link_.Cancel(); }
  // Why the last command failed (also for failures not shown), for tools.
  const std::string& LastError() const { return lastError_; }

  static TClockTime LocalClockTime();
  // The text of the confirmation questions ("Записать в RTU", "Перезапустить RTU").
  std::string QuestionFor(const char* what) const;

 private:
  class TScope;
  void Show(const std::string& text);
  bool EnsureLogin();
  bool OpenLink();
  bool OpenDisk();
  // 2 attempts; good when the answer has error code 0. `error` holds the code answered.
  bool FindFile(const std::string& cpName, std::uint32_t& size, std::uint16_t& error);
  bool ReadFileLocked(std::string_view name, std::vector<std::uint8_t>& bytes);
  bool ReadPiece(const std::string& cpName, std::uint32_t offset, std::uint32_t size, std::vector<std::uint8_t>& out);
  bool WritePiece(const std::string& cpName, std::uint32_t offset, std::uint32_t size, std::uint8_t length,
                  const std::uint8_t* data128, std::uint32_t fileCheck, std::uint16_t& error);
  bool ReadValueAttempts(std::uint16_t address, std::uint32_t& value);

  TLink& link_;
  TMessages& messages_;
  TLogin login_;
  std::function<bool(TLogin&)> loginProvider_;
  std::atomic<bool> busy_{false};
  bool liveOpen_ = false;
  int diskPauseMs_ = 20;
  std::string lastError_;
};

}  // namespace t32::link
