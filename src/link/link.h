// The controller link: opens the configured transport, sends one request frame at a time
// and waits for its answer in one of three ways. Failures are shown through TMessages while
// the errors-shown flag is on; commands that retry turn it off during their attempts.
//
// Threads: a GUI runs a whole command (and so every exchange) on one worker thread and keeps
// its window responsive; Cancel() may be called from any thread and wakes a waiting exchange.
// Only one exchange runs at a time: a second caller is refused, not queued.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/transport.h"

namespace t32 { class TMessages; }

namespace t32::link {

// How an exchange waits for its answer.
enum TWaitMode {
  kNoAnswer = 0,  // send only (restart)
  kDirect = 1,    // read the expected answer
  kReader = 2,    // read whatever frame comes, up to 1000 bytes asked for
};

extern const char* const kTextSendFailed;   // "Ошибка при передаче запроса."
extern const char* const kTextNoAnswer;     // "Нет ответа."
extern const char* const kTextBadSum;       // " Ошибка контрольной суммы ответа."
extern const char* const kTextCancelled;
extern const char* const kTextLinkBusy;

class TLink {
 public:
  explicit TLink(TMessages& messages);
  ~TLink();
  TLink(const TLink&) = delete;
  TLink& operator=(const TLink&) = delete;

  // New settings take effect at the next OpenLink.
  void Configure(const TLinkSettings& s);
  const TLinkSettings& Settings() const { return settings_; }

  // Opens the transport. False with a Russian reason (nothing is shown here: the command
  // shows "Ошибка при инициализации порта" with the reason).
  bool OpenLink(std::string* reason = nullptr);
  void CloseLink();
  bool IsOpen() const;

  // The request buffer: a command writes its frame here (n at offset 0), then calls Exchange.
  std::uint8_t* Request() { return request_; }
  const std::uint8_t* Response() const { return response_; }
  // Bytes of the last answer held in the response buffer (at most kFrameBufferSize).
  std::size_t ResponseLength() const { return responseLength_; }
  // Sends the request and waits by mode. True when an answer with a correct check byte came
  // (mode kNoAnswer: always false; see Sent()).
  bool Exchange(int mode, std::size_t expectedLength);
  // Whether the last Exchange put its request on the line.
  bool Sent() const { return sent_; }
  // Text of the last failure (also when it was not shown).
  const std::string& LastFailure() const { return lastFailure_; }

  bool ErrorsShown() const { return errorsShown_; }
  void SetErrorsShown(bool on) { errorsShown_ = on; }

  // Wakes a waiting exchange (it fails with kTextCancelled); the flag stays until ResetCancel.
  void Cancel();
  void ResetCancel();
  bool Cancelled() const { return cancelled_; }
  // Waits up to ms, returning early when cancelled. For short pauses between commands.
  void Pause(int ms);

  // Serial: open and close the port; UDP: bind and release the socket. False with a reason.
  bool TestLink(std::string* reason = nullptr);
  // Drops the controller's address from the neighbour (ARP) table of every adapter so the next
  // datagram resolves it afresh. Needs CAP_NET_ADMIN; silently does nothing without it.
  void ForgetControllerAddress();
  // The computer's IPv4 addresses, adapters first and loopback last.
  static std::vector<std::uint32_t> LocalAddresses();
  // The configured own address when the computer has it, otherwise its first address.
  static std::uint32_t ResolveOwnAddress(std::uint32_t configured);

 private:
  void Fail(const std::string& text);
  std::unique_ptr<TTransport> MakeTransport(std::string& error) const;
  // Waits out the answers still owed to requests that timed out; false when cancelled.
  bool DrainLateAnswers();

  TMessages& messages_;
  TLinkSettings settings_;
  std::unique_ptr<TTransport> transport_;
  std::mutex exchangeMutex_;
  std::uint8_t request_[kFrameBufferSize] = {};
  std::uint8_t response_[kFrameBufferSize] = {};
  std::size_t responseLength_ = 0;
  // Requests that went unanswered in time: their answers may still come and must not be
  // taken for the answer to a later request (commands such as a file read cannot tell one
  // piece's answer from the next one's).
  int owed_ = 0;
  bool sent_ = false;
  bool errorsShown_ = true;
  std::string lastFailure_;
  int cancelFd_ = -1;
  std::atomic<bool> cancelled_{false};
};

// Turns the errors-shown flag off for a scope and restores it afterwards.
class TQuietLink {
 public:
  explicit TQuietLink(TLink& l) : link_(l), saved_(l.ErrorsShown()) { l.SetErrorsShown(false); }
  ~TQuietLink() { link_.SetErrorsShown(saved_); }
  TQuietLink(const TQuietLink&) = delete;
  TQuietLink& operator=(const TQuietLink&) = delete;

 private:
  TLink& link_;
  bool saved_;
};

}  // namespace t32::link
