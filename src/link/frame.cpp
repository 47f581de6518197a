#include "link/frame.h"

#include <algorithm>
#include <cstring>

namespace t32::link {

std::uint8_t FrameSum(const std::uint8_t* frame) {
  unsigned sum = 0;
  for (std::size_t i = 1; i <= frame[0]; ++i) sum += frame[i];
  return std::uint8_t(sum);
}

std::size_t SealFrame(std::uint8_t* frame) {
  // n = 255 would need 257 bytes; requests never come near, but never write past the buffer.
  if (frame[0] > kMaxFrameLength) frame[0] = std::uint8_t(kMaxFrameLength);
  frame[frame[0] + 1] = FrameSum(frame);
  return AnnouncedFrameSize(frame[0]);
}

TFrameStatus CheckFrame(const std::uint8_t* frame, std::size_t size) {
  if (size == 0) return TFrameStatus::kEmpty;
  if (size < AnnouncedFrameSize(frame[0])) return TFrameStatus::kShort;
  return frame[frame[0] + 1] == FrameSum(frame) ? TFrameStatus::kOk : TFrameStatus::kBadSum;
}

namespace {
std::string_view Cut(std::string_view s, std::size_t max) { return s.substr(0, std::min(s.size(), max)); }

// Length-prefixed name at buf[at]; returns the number of bytes used.
std::size_t PutName(std::uint8_t* buf, std::size_t at, std::string_view name) {
  buf[at] = std::uint8_t(name.size());
  std::memcpy(buf + at + 1, name.data(), name.size());
  return name.size() + 1;
}

bool GetName(const std::uint8_t* frame, std::size_t at, std::size_t limit, std::size_t capacity, std::string& out) {
  // limit: last offset the frame's length covers.
  if (at > limit) return false;
  std::size_t len = frame[at];
  if (len > capacity || at + len > limit) return false;
  out.assign(reinterpret_cast<const char*>(frame + at + 1), len);
  return true;
}

std::size_t Begin(std::uint8_t* buf, std::uint8_t command) {
  std::memset(buf, 0, kFrameBufferSize);
  buf[1] = command;
  return 0;
}
}  // namespace

std::size_t BuildRestart(std::uint8_t* buf) {
  Begin(buf, kCmdRestart);
  buf[0] = 1;
  return SealFrame(buf);
}

std::size_t BuildOpenDisk(std::uint8_t* buf, std::string_view disk) {
  Begin(buf, kCmdOpenDisk);
  disk = Cut(disk, kMaxNameLength);
  PutName(buf, 4, disk);
  buf[0] = std::uint8_t(disk.size() + 4);
  return SealFrame(buf);
}

std::size_t BuildFindFile(std::uint8_t* buf, std::string_view name) {
  Begin(buf, kCmdFindFile);
  name = Cut(name, kMaxNameLength);
  buf[2] = 1;
  PutName(buf, 48, name);
  buf[0] = std::uint8_t(name.size() + 48);
  return SealFrame(buf);
}

std::size_t BuildReadPiece(std::uint8_t* buf, std::uint32_t offset, std::uint32_t fileSize, std::uint8_t pieceLength,
                           std::string_view name, std::uint32_t credential) {
  Begin(buf, kCmdReadPiece);
  PutU32(buf + 2, offset);
  PutU32(buf + 6, fileSize);
  buf[10] = pieceLength;
  PutName(buf, 11, Cut(name, kMaxNameLength));
  PutU32(buf + 24, credential);
  buf[0] = 27;
  return SealFrame(buf);
}

std::size_t BuildWritePiece(std::uint8_t* buf, std::string_view name, std::uint32_t offset, std::uint32_t fileSize,
                            std::uint8_t pieceLength, const std::uint8_t* data128, bool withUser,
                            std::uint32_t credential, std::uint32_t fileCheck) {
  Begin(buf, kCmdWritePiece);
  if (pieceLength > kPieceSize) pieceLength = kPieceSize;
  PutName(buf, 2, Cut(name, kMaxNameLength));
  PutU32(buf + 15, offset);
  PutU32(buf + 19, fileSize);
  buf[23] = pieceLength;
  std::memcpy(buf + 24, data128, kPieceSize);
  if (withUser) {
    PutU32(buf + 152, credential);
    PutU32(buf + 156, fileCheck);
    buf[0] = 161;
  } else {
    buf[0] = std::uint8_t(pieceLength + 25);
  }
  return SealFrame(buf);
}

std::size_t BuildSetTime(std::uint8_t* buf, const TClockTime& t) {
  Begin(buf, kCmdSetTime);
  PutU16(buf + 2, std::uint16_t(t.second * 1000 + t.millisecond));
  buf[4] = std::uint8_t(t.minute);
  buf[5] = std::uint8_t(t.hour);
  buf[6] = std::uint8_t(t.day);
  buf[7] = std::uint8_t(t.month);
  buf[8] = std::uint8_t(t.year - 2000);
  buf[0] = 8;
  return SealFrame(buf);
}

std::size_t BuildReadValue(std::uint8_t* buf, std::uint16_t address) {
  Begin(buf, kCmdReadValue);
  PutU16(buf + 2, address);
  buf[0] = 3;
  return SealFrame(buf);
}

bool ParseRequest(const std::uint8_t* frame, std::size_t size, TRequest& out) {
  out = TRequest{};
  if (size < 2 || size < AnnouncedFrameSize(frame[0]) || frame[0] < 1) return false;
  const std::size_t n = frame[0];
  out.command = frame[1];
  switch (frame[1]) {
    case kCmdRestart:
      return true;
    case kCmdOpenDisk:
      return n >= 4 && GetName(frame, 4, n, kMaxFindNameLength, out.name);
    case kCmdFindFile:
      return n >= 48 && GetName(frame, 48, n, kMaxFindNameLength, out.name);
    case kCmdReadPiece:
      if (n < 27 || !GetName(frame, 11, 23, kMaxNameLength, out.name)) return false;
      out.offset = GetU32(frame + 2);
      out.fileSize = GetU32(frame + 6);
      out.pieceLength = frame[10];
      out.hasCredential = true;
      out.credential = GetU32(frame + 24);
      return true;
    case kCmdWritePiece:
      if (n < 25 || !GetName(frame, 2, 14, kMaxNameLength, out.name)) return false;
      out.offset = GetU32(frame + 15);
      out.fileSize = GetU32(frame + 19);
      out.pieceLength = frame[23];
      if (out.pieceLength > kPieceSize || n < 23u + out.pieceLength) return false;
      out.data = frame + 24;
      out.dataAvailable = std::min<std::size_t>(kPieceSize, n - 23);
      out.hasCredential = n >= 159;
      if (out.hasCredential) {
        out.credential = GetU32(frame + 152);
        out.fileCheck = GetU32(frame + 156);
      }
      return true;
    case kCmdSetTime: {
      if (n < 8) return false;
      unsigned ms = GetU16(frame + 2);
      out.time.second = int(ms / 1000);
      out.time.millisecond = int(ms % 1000);
      out.time.minute = frame[4];
      out.time.hour = frame[5];
      out.time.day = frame[6];
      out.time.month = frame[7];
      out.time.year = 2000 + frame[8];
      return true;
    }
    case kCmdReadValue:
      if (n < 3) return false;
      out.address = GetU16(frame + 2);
      return true;
    default:
      return false;
  }
}

std::size_t BuildErrorAnswer(std::uint8_t* buf, std::uint8_t command, std::uint16_t error) {
  Begin(buf, command);
  PutU16(buf + 2, error);
  buf[0] = 3;
  return SealFrame(buf);
}

std::size_t BuildFindAnswer(std::uint8_t* buf, std::uint16_t error, std::uint32_t fileSize) {
  Begin(buf, kCmdFindFile);
  PutU16(buf + 3, error);
  PutU32(buf + 31, fileSize);
  buf[0] = 47;
  return SealFrame(buf);
}

std::size_t BuildReadAnswer(std::uint8_t* buf, std::uint16_t error, const std::uint8_t* data, std::uint8_t count) {
  Begin(buf, kCmdReadPiece);
  if (count > kPieceSize) count = kPieceSize;
  PutU16(buf + 2, error);
  buf[4] = count;
  if (count) std::memcpy(buf + 5, data, count);
  buf[0] = std::uint8_t(4 + count);
  return SealFrame(buf);
}

std::size_t BuildSetTimeAnswer(std::uint8_t* buf) {
  Begin(buf, kCmdSetTime);
  buf[0] = 6;
  return SealFrame(buf);
}

std::size_t BuildValueAnswer(std::uint8_t* buf, std::uint16_t error, std::uint32_t value) {
  Begin(buf, kCmdReadValue);
  PutU16(buf + 2, error);
  PutU32(buf + 4, value);
  buf[0] = 7;
  return SealFrame(buf);
}

namespace {
// The frame is whole and echoes `command`, and its length covers offset `last`.
bool Covers(const std::uint8_t* frame, std::size_t size, std::uint8_t command, std::size_t last) {
  return size >= 2 && size >= AnnouncedFrameSize(frame[0]) && frame[0] >= last && frame[1] == command;
}
}  // namespace

bool ParseErrorAnswer(const std::uint8_t* frame, std::size_t size, std::uint8_t command, std::uint16_t& error) {
  error = 0;
  if (!Covers(frame, size, command, 3)) return false;
  error = GetU16(frame + 2);
  return true;
}

bool ParseFindAnswer(const std::uint8_t* frame, std::size_t size, std::uint16_t& error, std::uint32_t& fileSize) {
  error = 0;
  fileSize = 0;
  if (!Covers(frame, size, kCmdFindFile, 4)) return false;
  error = GetU16(frame + 3);
  if (error != 0) return true;  // a refusal need not carry the size field
  if (frame[0] < 34) return false;
  fileSize = GetU32(frame + 31);
  return true;
}

bool ParseReadAnswer(const std::uint8_t* frame, std::size_t size, std::uint16_t& error, const std::uint8_t*& data,
                     std::uint8_t& count) {
  error = 0;
  data = nullptr;
  count = 0;
  if (!Covers(frame, size, kCmdReadPiece, 3)) return false;
  error = GetU16(frame + 2);
  if (error != 0) return true;
  if (frame[0] < 4) return false;
  // The count must stay inside the frame: a count byte larger than the data that came would
  // otherwise copy stale bytes (or bytes past the frame) into the file.
  if (4u + frame[4] > frame[0] || frame[4] > kPieceSize) return false;
  count = frame[4];
  data = frame + 5;
  return true;
}

bool ParseSetTimeAnswer(const std::uint8_t* frame, std::size_t size) { return Covers(frame, size, kCmdSetTime, 1); }

bool ParseValueAnswer(const std::uint8_t* frame, std::size_t size, std::uint16_t& error, std::uint32_t& value) {
  error = 0;
  value = 0;
  if (!Covers(frame, size, kCmdReadValue, 3)) return false;
  error = GetU16(frame + 2);
  if (error != 0) return true;
  if (frame[0] < 7) return false;
  value = GetU32(frame + 4);
  return true;
}

std::string ErrorText(std::uint16_t code) {
  // 1234 = 0x4D2 has the file-operation bit set, yet it is the controller's "wrong password"
  // answer; taken apart as a file error it would read "open for writing, GENERAL_FAILURE".
  if (code == kErrBadPassword) return "Не верный пароль.";
  if (code & 0x400) {
    const char* op = "";
    switch ((code >> 5) & 0x3F) {
      case 33: op = "Ошибка открытия файла для чтения."; break;
      case 34: op = "Ошибка чтения сегмента файла."; break;
      case 35: case 40: op = "Ошибка номера сегмента."; break;
      case 36: op = "Нет прав на запись файла паролей."; break;
      case 37: op = "Нет прав доступа."; break;
      case 38: op = "Ошибка открытия файла для записи."; break;
      case 39: op = "Ошибка записи сегмента."; break;
      case 41: op = "Ошибка удаления временного файла."; break;
      case 42: op = "Ошибка удаления старой версии файла."; break;
      case 43: op = "Ошибка переименования записанного файла."; break;
    }
    const char* name = "";
    switch (code & 0x1F) {
      case 2: name = "PARAM_ERROR"; break;
      case 3: name = "INVALID_FILENAME"; break;
      case 4: name = "DRIVE_NOT_FOUND"; break;
      case 5: name = "TOO_MANY_FILES"; break;
      case 7: name = "WRONG_MEDIA"; break;
      case 8: name = "INVALID_FILE_SYSTEM"; break;
      case 9: name = "FILE_NOT_FOUND"; break;
      case 10: name = "INVALID_FILE_HANDLE"; break;
      case 13: name = "CORRUPTED_PARTITION_TABLE"; break;
      case 15: name = "INVALID_FILE_POS"; break;
      case 16: name = "ACCESS_DENIED"; break;
      case 17: name = "STRING_BUFFER_TOO_SMALL"; break;
      case 18: name = "GENERAL_FAILURE"; break;
      case 19: name = "PATH_NOT_FOUND"; break;
      case 20: name = "FAT_ALLOC_ERROR"; break;
      case 21: name = "ROOT_DIR_FULL"; break;
      case 22: name = "DISK_FULL"; break;
      case 23: name = "TIMEOUT"; break;
      case 24: name = "BAD_SECTOR"; break;
      case 25: name = "DATA_ERROR"; break;
      case 27: name = "SECTOR_NOT_FOUND"; break;
      case 29: name = "DRIVE_NOT_READY"; break;
      case 30: name = "WRITE_PROTECTION"; break;
    }
    return std::string("\n") + op + "\nКод ошибки -" + std::to_string(code & 0x1F) + "\n" + name;
  }
  switch (code) {
    case 2: return "Файл не найден.";
    case 3: return "Путь не найден.";
    case 4: return "Много открытых файлов.";
    case 5: return "Ошибка доступа.";
    case 8: return "Недостаточно памяти.";
    case 18: return "Конец списка файлов.";
  }
  return "Код ошибки " + std::to_string(code);
}

}  // namespace t32::link
