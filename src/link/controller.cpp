#include "link/controller.h"
#include "project/cfgfile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "model/cp1251.h"
#include "model/crc32.h"
#include "model/ini.h"
#include "model/memstream.h"
#include "model/messages.h"

namespace t32::link {

const char* const kTextPortInit = "Ошибка при инициализации порта";
const char* const kTextTimeSet = "Время установлено.";
const char* const kTextTimeNotSet = "Ошибка установки времени";
const char* const kTextCommandBusy = "Команда контроллеру уже выполняется. Дождитесь её окончания.";

namespace {
const char* const kTextBadAnswer = "Неверный ответ контроллера.";
const char* const kTextShortPiece = "Контроллер передал неполный сегмент файла.";

// Names go to the controller in cp1251; its file requests carry at most 12 characters (8.3
// names). A longer name is refused: cut short it would name another file.
bool ControllerName(std::string_view utf8, std::string& cp, std::string& error) {
  cp = Utf8ToCp1251(utf8);
  if (cp.size() <= kMaxNameLength) return true;
  error = "Имя файла «" + std::string(utf8) + "» длиннее " + std::to_string(kMaxNameLength) +
          " символов: контроллер хранит файлы только с такими короткими именами.";
  return false;
}

bool SameText(std::string_view a, std::string_view b) { return Utf8Upper(a) == Utf8Upper(b); }

// A failure text composed after a fixed head ("Ошибка чтения файла. "): the transport texts
// may start with a blank, which would double the head's.
std::string Reason(std::uint16_t error, const std::string& failure) {
  if (error) return ErrorText(error);
  std::string r = failure;
  while (!r.empty() && r.front() == ' ') r.erase(r.begin());
  return r;
}
}  // namespace

std::string BootIniDefault(std::string_view key) {
  if (SameText(key, "ConfigFilename")) return "TVR32.cfg";
  if (SameText(key, "AutoFilename")) return "Auto.shm";
  if (SameText(key, "PasswordFileName")) return "Password.ini";
  return {};
}

TBootInfo ParseBootIni(std::string_view bytes, std::string_view key) {
  TIniFile ini;
  ini.Parse(bytes);
  auto find = [&](std::string_view k, bool& found) {
    for (const auto& s : ini.Sections())
      if (ini.HasKey(s, k)) {
        found = true;
        return ini.ReadString(s, k);
      }
    found = false;
    return std::string();
  };
  TBootInfo info;
  bool found = false;
  // Version, CPU type and minor version are decided where files beside a configuration are
  // read too, so the link and the file commands can never disagree.
  t32::TBootIni boot = t32::ReadBootIniText(std::string(bytes));
  info.lastVersion = boot.lastVersion;
  info.minorVersion = boot.minorVersion;
  info.cpu = boot.cpu == t32::TCpu::Cpu927 ? TCpuType::kCpu927 : TCpuType::kCpu6358;
  info.fileName = find(key, found);
  if (!found || info.fileName.empty()) info.fileName = BootIniDefault(key);
  return info;
}

// Marks a command as running for its lifetime; a second command is refused.
class TController::TScope {
 public:
  explicit TScope(TController& c) : c_(c) {
    bool expected = false;
    ok_ = c.busy_.compare_exchange_strong(expected, true);
    if (!ok_) {
      c.messages_.ShowError(kTextCommandBusy);
      return;
    }
    c.lastError_.clear();
    c.link_.ResetCancel();
  }
  ~TScope() {
    if (!ok_) return;
    if (!c_.liveOpen_) c_.link_.CloseLink();
    c_.busy_ = false;
  }
  explicit operator bool() const { return ok_; }

 private:
  TController& c_;
  bool ok_ = false;
};

TController::TController(TLink& link, TMessages& messages) : link_(link), messages_(messages) {}

void TController::Show(const std::string& text) {
  lastError_ = text;
  messages_.ShowError(text);
}

std::string TController::QuestionFor(const char* what) const {
  std::string q = what;
  if (link_.Settings().kind == TLinkKind::kUdp) q += " c IP адресом \n\n" + U32ToIpText(link_.Settings().controllerIp);
  return q;
}

bool TController::EnsureLogin() {
  if (login_.loggedIn) return true;
  if (loginProvider_ && loginProvider_(login_) && login_.loggedIn) return true;
  lastError_ = "Вход не выполнен.";
  return false;
}

bool TController::OpenLink() {
  std::string reason;
  if (link_.OpenLink(&reason)) return true;
  std::string text = kTextPortInit;
  if (!reason.empty()) text += "\n" + reason;
  if (link_.ErrorsShown()) Show(text);
  lastError_ = text;
  return false;
}

bool TController::OpenDisk() {
  BuildOpenDisk(link_.Request(), "C:\\");
  std::uint16_t error = 0;
  bool ok = link_.Exchange(kDirect, kOpenDiskAnswerSize) &&
            ParseErrorAnswer(link_.Response(), link_.ResponseLength(), kCmdOpenDisk, error) && error == 0;
  if (!ok) {
    if (error) Show("Ошибка открытия диска. " + ErrorText(error));
    Show("Ошибка поиска диска");
  }
  return ok;
}

bool TController::FindFile(const std::string& cpName, std::uint32_t& size, std::uint16_t& error) {
  TQuietLink quiet(link_);
  size = 0;
  error = 0;
  for (int attempt = 0; attempt < 2 && !link_.Cancelled(); ++attempt) {
    BuildFindFile(link_.Request(), cpName);
    if (!link_.Exchange(kDirect, kFindAnswerSize)) continue;
    if (!ParseFindAnswer(link_.Response(), link_.ResponseLength(), error, size)) continue;
    return error == 0;  // an answered refusal is final
  }
  return false;
}

bool TController::ReadControllerFile(std::string_view name, std::vector<std::uint8_t>& bytes) {
  TScope scope(*this);
  if (!scope) return false;
  return ReadFileLocked(name, bytes);
}

bool TController::ReadFileLocked(std::string_view name, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::string cpName, nameError;
  if (!ControllerName(name, cpName, nameError)) {
    Show(nameError);
    return false;
  }
  link_.ForgetControllerAddress();
  messages_.Progress(0, 0);
  if (!EnsureLogin()) return false;
  if (!OpenLink()) return false;
  if (!OpenDisk()) return false;
  link_.Pause(diskPauseMs_);

  std::uint32_t size = 0;
  std::uint16_t error = 0;
  if (!FindFile(cpName, size, error)) {
    if (error != 0 && error != kErrEndOfList) Show("Ошибка поиска файла. " + ErrorText(error));
    if (!SameText(name, "Boot.ini")) {
      Show("Ошибка поиска файла");
    } else {
      // No "Boot.ini": an older controller generation keeps "TavC_TV.cfg" instead.
      std::uint32_t oldSize;
      std::uint16_t oldError;
      Show(FindFile("TavC_TV.cfg", oldSize, oldError) ? "Ошибка. DOS версия контроллера."
                                                      : "Ошибка. Не известный тип контроллера.");
    }
    return false;
  }
  if (size > kMaxControllerFile) {
    Show("Ошибка поиска файла. Размер файла " + std::to_string(size) + " байт больше допустимого.");
    return false;
  }
  bytes.assign(size, 0);
  const std::uint32_t pieces = (size + kPieceSize - 1) / kPieceSize;
  messages_.Progress(1, pieces + 1);
  for (std::uint32_t p = 0; p < pieces; ++p) {
    if (!ReadPiece(cpName, p * std::uint32_t(kPieceSize), size, bytes)) return false;
    messages_.Progress(p + 2, pieces + 1);
  }
  return true;
}

bool TController::ReadPiece(const std::string& cpName, std::uint32_t offset, std::uint32_t size,
                            std::vector<std::uint8_t>& out) {
  std::uint16_t error = 0;
  std::string failure;
  bool ok = false;
  {
    TQuietLink quiet(link_);
    const std::uint32_t need = std::min<std::uint32_t>(kPieceSize, size - offset);
    const bool last = std::uint64_t(offset) + kPieceSize > size;
    for (int attempt = 0; attempt < 3 && !link_.Cancelled(); ++attempt) {
      BuildReadPiece(link_.Request(), offset, size, std::uint8_t(kPieceSize), cpName, login_.Credential());
      if (!link_.Exchange(kReader, kPieceSize + 6)) {
        failure = link_.LastFailure();
        continue;
      }
      const std::uint8_t* data = nullptr;
      std::uint8_t count = 0;
      if (!ParseReadAnswer(link_.Response(), link_.ResponseLength(), error, data, count)) {
        failure = kTextBadAnswer;
        continue;
      }
      if (error) break;
      // A middle piece must be whole. The last piece may come as a full 128 bytes, but it
      // must cover the rest of the file: a shorter one would leave zeros in the file.
      if (count != kPieceSize && !(last && count >= need)) {
        failure = kTextShortPiece;
        continue;
      }
      std::memcpy(out.data() + offset, data, need);
      ok = true;
      break;
    }
  }
  if (!ok) Show("Ошибка чтения файла. " + Reason(error, failure.empty() ? kTextCancelled : failure));
  return ok;
}

bool TController::WriteControllerFile(std::string_view name, const std::vector<std::uint8_t>& bytes) {
  TScope scope(*this);
  if (!scope) return false;
  link_.ForgetControllerAddress();
  messages_.Progress(0, 0);
  if (bytes.size() > kMaxControllerFile) {
    Show("Файл больше допустимого размера " + std::to_string(kMaxControllerFile) + " байт.");
    return false;
  }
  std::string cpName, nameError;
  if (!ControllerName(name, cpName, nameError)) {
    Show(nameError);
    return false;
  }
  if (messages_.AskConfirm(QuestionFor("Записать в RTU")) != kYes) {
    lastError_ = "Запись отменена.";
    return false;
  }
  if (!EnsureLogin()) return false;
  if (!OpenLink()) return false;
  if (!OpenDisk()) return false;
  link_.Pause(diskPauseMs_);

  const std::uint32_t size = std::uint32_t(bytes.size());
  const std::uint32_t fileCheck = Crc32NoFinal(bytes.data(), bytes.size());
  // An empty file still goes out as one empty piece, so the controller creates (or empties) it.
  const std::uint32_t pieces = size == 0 ? 1 : (size + kPieceSize - 1) / kPieceSize;
  messages_.Progress(1, pieces + 1);
  std::uint8_t area[kPieceSize];
  for (std::uint32_t p = 0; p < pieces; ++p) {
    const std::uint32_t offset = p * std::uint32_t(kPieceSize);
    const std::uint32_t length = std::min<std::uint32_t>(kPieceSize, size - offset);
    // The data area always carries 128 bytes; past the end of the file they are zero.
    std::memset(area, 0, sizeof area);
    std::memcpy(area, bytes.data() + offset, length);
    std::uint16_t error = 0;
    if (!WritePiece(cpName, offset, size, std::uint8_t(length), area, fileCheck, error)) {
      if (error == kErrBadPassword) login_.Clear();  // the next command asks again
      return false;
    }
    messages_.Progress(p + 2, pieces + 1);
  }
  return true;
}

bool TController::WritePiece(const std::string& cpName, std::uint32_t offset, std::uint32_t size, std::uint8_t length,
                             const std::uint8_t* data128, std::uint32_t fileCheck, std::uint16_t& error) {
  error = 0;
  std::string failure;
  bool ok = false;
  {
    TQuietLink quiet(link_);
    for (int attempt = 0; attempt < 3 && !link_.Cancelled(); ++attempt) {
      BuildWritePiece(link_.Request(), cpName, offset, size, length, data128, !login_.user.empty(),
                      login_.Credential(), fileCheck);
      if (!link_.Exchange(kReader, kWriteAnswerSize)) {
        failure = link_.LastFailure();
        continue;
      }
      if (!ParseErrorAnswer(link_.Response(), link_.ResponseLength(), kCmdWritePiece, error)) {
        failure = kTextBadAnswer;
        continue;
      }
      ok = error == 0;
      break;
    }
  }
  if (!ok) Show("Ошибка записи файла. " + Reason(error, failure.empty() ? kTextCancelled : failure));
  return ok;
}

bool TController::ReadBootIni(std::string_view key, TBootInfo& info) {
  TScope scope(*this);
  if (!scope) return false;
  std::vector<std::uint8_t> bytes;
  if (!ReadFileLocked("Boot.ini", bytes)) return false;
  info = ParseBootIni(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), key);
  return true;
}

TClockTime TController::LocalClockTime() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  TClockTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  c.millisecond =
      int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return c;
}

bool TController::SetClock() { return SetClock(LocalClockTime()); }

bool TController::SetClock(const TClockTime& t) {
  TScope scope(*this);
  if (!scope) return false;
  if (!OpenLink()) return false;
  BuildSetTime(link_.Request(), t);
  bool ok = link_.Exchange(kDirect, kSetTimeAnswerSize) && ParseSetTimeAnswer(link_.Response(), link_.ResponseLength());
  if (!ok) Show(kTextTimeNotSet);
  return ok;
}

bool TController::Restart() {
  TScope scope(*this);
  if (!scope) return false;
  if (messages_.AskConfirm(QuestionFor("Перезапустить RTU")) != kYes) {
    lastError_ = "Перезапуск отменён.";
    return false;
  }
  if (!OpenLink()) return false;
  BuildRestart(link_.Request());
  link_.Exchange(kNoAnswer, 0);  // the controller restarts without answering
  if (!link_.Sent()) lastError_ = link_.LastFailure();
  return link_.Sent();
}

bool TController::ReadValueAttempts(std::uint16_t address, std::uint32_t& value) {
  TQuietLink quiet(link_);
  value = 0;
  for (int attempt = 0; attempt < 2 && !link_.Cancelled(); ++attempt) {
    BuildReadValue(link_.Request(), address);
    if (!link_.Exchange(kDirect, kValueAnswerSize)) {
      lastError_ = link_.LastFailure();
      continue;
    }
    std::uint16_t error = 0;
    std::uint32_t v = 0;
    if (!ParseValueAnswer(link_.Response(), link_.ResponseLength(), error, v)) {
      lastError_ = kTextBadAnswer;
      continue;
    }
    if (error) {
      lastError_ = ErrorText(error);
      return false;
    }
    value = v;
    return true;
  }
  return false;
}

bool TController::ReadValue(std::uint16_t address, std::uint32_t& value) {
  value = 0;
  TScope scope(*this);
  if (!scope) return false;
  if (!OpenLink()) return false;
  return ReadValueAttempts(address, value);
}

bool TController::BeginLiveValues() {
  TScope scope(*this);
  if (!scope) return false;
  liveOpen_ = OpenLink();
  return liveOpen_;
}

bool TController::ReadLiveValue(std::uint16_t address, std::uint32_t& value) {
  value = 0;
  TScope scope(*this);
  if (!scope) return false;
  if (!liveOpen_) return false;
  return ReadValueAttempts(address, value);
}

void TController::EndLiveValues() {
  bool expected = false;
  // Waits out nothing: a live read in progress finishes on its own; closing happens here or
  // when that read's scope ends.
  if (busy_.compare_exchange_strong(expected, true)) {
    liveOpen_ = false;
    link_.CloseLink();
    busy_ = false;
  } else {
    liveOpen_ = false;
  }
}

}  // namespace t32::link
