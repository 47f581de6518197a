#include "sim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "model/cp1251.h"
#include "model/crc32.h"
#include "model/fileio.h"
#include "model/ini.h"
#include "link/password.h"

namespace t32::rtusim {

using namespace t32::link;
namespace fs = std::filesystem;

namespace {
constexpr std::size_t kFrameLog = 4096;
// Operation numbers of file errors, as the controller reports them.
constexpr unsigned kOpOpenRead = 33, kOpReadSegment = 34, kOpSegmentNumber = 35, kOpOpenWrite = 38, kOpWriteSegment = 39,
                   kOpRename = 43;
constexpr unsigned kFsParam = 2, kFsInvalidName = 3, kFsNotFound = 9, kFsBadPos = 15, kFsGeneral = 18,
                   kFsDiskFull = 22, kFsData = 25;

bool SameName(std::string_view a, std::string_view b) { return Utf8Upper(a) == Utf8Upper(b); }

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  return s.substr(b);
}

// A plain 8.3-style name inside the disk folder: no separators, no "." or "..".
bool SafeName(const std::string& utf8) {
  return !utf8.empty() && utf8 != "." && utf8 != ".." && utf8.find('/') == std::string::npos &&
         utf8.find('\\') == std::string::npos && utf8.find('\0') == std::string::npos;
}
}  // namespace

TRtuSimulator::TRtuSimulator(std::string folder) : folder_(std::move(folder)), rng_(1) {}

void TRtuSimulator::SetFaults(const TFaults& f) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = f;
  rng_.seed(f.seed);
}

void TRtuSimulator::ScriptFault(std::uint64_t n, TFaultKind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_[n] = kind;
}

void TRtuSimulator::SetValue(std::uint16_t address, std::uint32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[address] = value;
}

TSimStats TRtuSimulator::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

std::vector<std::vector<std::uint8_t>> TRtuSimulator::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

std::string TRtuSimulator::FindPath(const std::string& cpName) const {
  std::string name = Cp1251ToUtf8(cpName);
  if (!SafeName(name)) return {};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder_, ec)) {
    if (!e.is_regular_file(ec)) continue;
    if (SameName(e.path().filename().string(), name)) return e.path().string();
  }
  return {};
}

bool TRtuSimulator::CredentialOk(const TRequest& r) const {
  // The password file named by Boot.ini holds user=wire-form lines; without one (or with an
  // empty one) the disk is open to everyone.
  std::string passwordFile = "Password.ini";
  std::string boot = FindPath("Boot.ini");
  if (!boot.empty()) {
    TIniFile ini;
    ini.Load(boot);
    for (const auto& s : ini.Sections())
      if (ini.HasKey(s, "PasswordFileName")) {
        passwordFile = ini.ReadString(s, "PasswordFileName");
        break;
      }
  }
  std::string path = FindPath(Utf8ToCp1251(passwordFile));
  std::string text;
  if (path.empty() || !ReadWholeFile(path, text, nullptr, 1u << 20)) return true;
  bool anyUser = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = Trim(text.substr(pos, nl - pos));
    pos = nl + 1;
    if (line.empty() || line[0] == '[' || line[0] == ';') continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string user = Trim(line.substr(0, eq)), wire = Trim(line.substr(eq + 1));
    if (user.size() > kMaxUserLength) user.resize(kMaxUserLength);
    if (wire.size() > kMaxPasswordLength) wire.resize(kMaxPasswordLength);
    anyUser = true;
    if (r.hasCredential && CredentialValue(user, wire) == r.credential) return true;
  }
  return !anyUser;
}

std::uint16_t TRtuSimulator::ReadFile(const TRequest& r, std::vector<std::uint8_t>& data) const {
  // Only the piece asked for is read: a large file costs one short read per piece.
  std::string path = FindPath(r.name);
  int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileOpError(kOpOpenRead, kFsNotFound);
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileOpError(kOpOpenRead, kFsNotFound);
  }
  const std::uint64_t fileSize = std::uint64_t(st.st_size);
  if (r.offset > fileSize) {
    ::close(fd);
    return FileOpError(kOpSegmentNumber, kFsBadPos);
  }
  std::size_t count = std::size_t(std::min<std::uint64_t>({r.pieceLength, kPieceSize, fileSize - r.offset}));
  data.assign(count, 0);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd, data.data() + done, count - done, off_t(r.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += std::size_t(n);
  }
  ::close(fd);
  if (done != count) {
    data.clear();
    return FileOpError(kOpReadSegment, kFsData);
  }
  return 0;
}

std::uint16_t TRtuSimulator::WritePiece(const TRequest& r) {
  std::string name = Cp1251ToUtf8(r.name);
  if (!SafeName(name)) return FileOpError(kOpOpenWrite, kFsInvalidName);
  if (r.fileSize > diskLimit_) return FileOpError(kOpOpenWrite, kFsDiskFull);
  if (r.pieceLength > r.dataAvailable) return FileOpError(kOpWriteSegment, kFsParam);
  std::string key = Utf8Upper(name);
  if (r.offset == 0) uploads_[key] = TUpload{r.fileSize, {}};
  auto it = uploads_.find(key);
  // Pieces come in order; a repeated piece (its answer was lost) simply replaces itself.
  if (it == uploads_.end() || it->second.size != r.fileSize || r.offset > it->second.data.size())
    return FileOpError(kOpSegmentNumber, kFsBadPos);
  if (std::uint64_t(r.offset) + r.pieceLength > r.fileSize) return FileOpError(kOpWriteSegment, kFsBadPos);
  auto& up = it->second;
  up.data.resize(r.offset);
  up.data.insert(up.data.end(), r.data, r.data + r.pieceLength);
  if (up.data.size() < up.size) return 0;
  if (r.hasCredential && Crc32NoFinal(up.data.data(), up.data.size()) != r.fileCheck)
    return FileOpError(kOpWriteSegment, kFsData);
  std::string path = FindPath(r.name);
  if (path.empty()) path = (fs::path(folder_) / name).string();
  std::string error;
  if (!WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(up.data.data()), up.data.size()), &error))
    return FileOpError(kOpRename, kFsGeneral);
  return 0;
}

TFaultKind TRtuSimulator::PickFault(std::uint8_t command) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  if (faults_.dropShare > 0 && u(rng_) < faults_.dropShare) return TFaultKind::kDrop;
  if (faults_.corruptShare > 0 && u(rng_) < faults_.corruptShare) return TFaultKind::kCorrupt;
  if (command == kCmdReadPiece && faults_.shortShare > 0 && u(rng_) < faults_.shortShare) return TFaultKind::kShort;
  bool errorApplies = faults_.errorCommand ? command == faults_.errorCommand
                                           : (command == kCmdReadPiece || command == kCmdWritePiece);
  if (faults_.errorCode && errorApplies && u(rng_) < faults_.errorShare) return TFaultKind::kError;
  return TFaultKind::kNone;
}

std::vector<std::uint8_t> TRtuSimulator::Handle(const std::uint8_t* frame, std::size_t size, int* delayMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (delayMs) *delayMs = faults_.delayMs;
  if (frames_.size() >= kFrameLog) frames_.erase(frames_.begin());
  frames_.emplace_back(frame, frame + size);
  TRequest r;
  if (CheckFrame(frame, size) != TFrameStatus::kOk || !ParseRequest(frame, size, r)) {
    ++stats_.badFrames;
    if (observer_) observer_(frames_.back(), {});
    return {};
  }
  std::uint64_t number = stats_.requests++;
  TFaultKind fault;
  if (auto it = script_.find(number); it != script_.end()) {
    fault = it->second;
    script_.erase(it);
  } else {
    fault = PickFault(r.command);
  }
  std::vector<std::uint8_t> answer = Answer(r, fault);
  if (!answer.empty() && fault == TFaultKind::kDrop) {
    ++stats_.answersDropped;
    answer.clear();
  }
  if (!answer.empty() && fault == TFaultKind::kCorrupt) answer.back() ^= 0x5A;
  if (observer_) observer_(frames_.back(), answer);
  return answer;
}

std::vector<std::uint8_t> TRtuSimulator::Answer(const TRequest& r, TFaultKind fault) {
  std::uint8_t buf[kFrameBufferSize];
  std::size_t n = 0;
  const std::uint16_t injected = fault == TFaultKind::kError ? (faults_.errorCode ? faults_.errorCode : kErrAccess) : 0;
  switch (r.command) {
    case kCmdRestart:
      ++stats_.restarts;
      return {};
    case kCmdOpenDisk:
      n = BuildErrorAnswer(buf, kCmdOpenDisk, injected ? injected : SameName(r.name, "C:\\") ? 0 : kErrPathNotFound);
      break;
    case kCmdFindFile: {
      std::string path = FindPath(r.name);
      std::error_code ec;
      std::uint64_t size = path.empty() ? 0 : fs::file_size(path, ec);
      std::uint16_t error = injected ? injected : path.empty() || ec ? kErrEndOfList : 0;
      n = BuildFindAnswer(buf, error, error ? 0 : std::uint32_t(std::min<std::uint64_t>(size, 0xFFFFFFFFu)));
      break;
    }
    case kCmdReadPiece: {
      std::vector<std::uint8_t> data;
      std::uint16_t error = injected ? injected : !CredentialOk(r) ? kErrBadPassword : ReadFile(r, data);
      if (error) data.clear();
      if (fault == TFaultKind::kShort && data.size() > 1) data.resize(data.size() / 2);
      n = BuildReadAnswer(buf, error, data.data(), std::uint8_t(data.size()));
      break;
    }
    case kCmdWritePiece: {
      std::uint16_t error = injected ? injected : !CredentialOk(r) ? kErrBadPassword : WritePiece(r);
      n = BuildErrorAnswer(buf, kCmdWritePiece, error);
      break;
    }
    case kCmdSetTime:
      stats_.clockSet = true;
      stats_.clock = r.time;
      n = BuildSetTimeAnswer(buf);
      break;
    case kCmdReadValue: {
      auto it = values_.find(r.address);
      n = BuildValueAnswer(buf, injected, injected ? 0 : it == values_.end() ? 0 : it->second);
      break;
    }
    default:
      return {};
  }
  return std::vector<std::uint8_t>(buf, buf + n);
}

}  // namespace t32::rtusim
