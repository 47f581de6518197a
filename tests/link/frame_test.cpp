// Frame layouts, error texts, password forms and Boot.ini interpretation, against bytes
// written out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/controller.h"
#include "link/frame.h"
#include "link/password.h"
#include "model/crc32.h"

using namespace t32::link;

namespace {
std::vector<std::uint8_t> Bytes(const std::uint8_t* b, std::size_t n) { return {b, b + n}; }
}  // namespace

TEST(LinkFrame, SmallRequestsAreExactBytes) {
  std::uint8_t buf[kFrameBufferSize];
  EXPECT_EQ(Bytes(buf, BuildRestart(buf)), (std::vector<std::uint8_t>{1, 0x88, 0x88}));

  // 2025-03-04 10:20:30.500: 30500 = 0x7724, minute, hour, day, month, year - 2000.
  TClockTime t{2025, 3, 4, 10, 20, 30, 500};
  const std::uint8_t sum = std::uint8_t(0x9B + 0x24 + 0x77 + 20 + 10 + 4 + 3 + 25);
  EXPECT_EQ(Bytes(buf, BuildSetTime(buf, t)),
            (std::vector<std::uint8_t>{8, 0x9B, 0x24, 0x77, 20, 10, 4, 3, 25, sum}));

  EXPECT_EQ(Bytes(buf, BuildReadValue(buf, 0x4005)),
            (std::vector<std::uint8_t>{3, 0xA1, 0x05, 0x40, std::uint8_t(0xA1 + 0x05 + 0x40)}));

  // Open disk "C:\": n = name length + 4.
  EXPECT_EQ(Bytes(buf, BuildOpenDisk(buf, "C:\\")),
            (std::vector<std::uint8_t>{7, 0x97, 0, 0, 3, 'C', ':', '\\', std::uint8_t(0x97 + 3 + 'C' + ':' + '\\')}));
}

TEST(LinkFrame, FileRequestLayouts) {
  std::uint8_t buf[kFrameBufferSize];
  // Find: offset 2 is 1, the name at 48 (cut to 12 characters), n = 48 + length.
  std::size_t n = BuildFindFile(buf, "VERYLONGNAME.cfg");
  EXPECT_EQ(n, 48u + 12 + 2);
  EXPECT_EQ(buf[0], 60);
  EXPECT_EQ(buf[2], 1);
  EXPECT_EQ(buf[48], 12);
  EXPECT_EQ(std::memcmp(buf + 49, "VERYLONGNAME", 12), 0);

  n = BuildReadPiece(buf, 0x100, 300, 128, "TVR32.cfg", 0xA1B2C3D4);
  ASSERT_EQ(n, 29u);
  const std::uint8_t head[] = {27, 0x95, 0x00, 0x01, 0, 0, 0x2C, 0x01, 0, 0, 128, 9, 'T', 'V', 'R', '3', '2', '.', 'c', 'f', 'g'};
  EXPECT_EQ(std::memcmp(buf, head, sizeof head), 0);
  EXPECT_EQ(GetU32(buf + 24), 0xA1B2C3D4u);

  std::uint8_t data[kPieceSize];
  for (std::size_t i = 0; i < kPieceSize; ++i) data[i] = std::uint8_t(i + 1);
  // With a user name: n = 161 whatever the piece length; credential at 152, file check at 156.
  n = BuildWritePiece(buf, "A.BIN", 256, 300, 44, data, true, 0x11223344, 0x55667788);
  EXPECT_EQ(n, 163u);
  EXPECT_EQ(buf[0], 161);
  EXPECT_EQ(buf[2], 5);
  EXPECT_EQ(GetU32(buf + 15), 256u);
  EXPECT_EQ(GetU32(buf + 19), 300u);
  EXPECT_EQ(buf[23], 44);
  EXPECT_EQ(std::memcmp(buf + 24, data, kPieceSize), 0);  // all 128 bytes travel
  EXPECT_EQ(GetU32(buf + 152), 0x11223344u);
  EXPECT_EQ(GetU32(buf + 156), 0x55667788u);
  // Without one: n = piece length + 25, so the frame ends two bytes after the piece's data.
  n = BuildWritePiece(buf, "A.BIN", 256, 300, 44, data, false, 0, 0);
  EXPECT_EQ(buf[0], 44 + 25);
  EXPECT_EQ(n, 44u + 27);
  EXPECT_EQ(buf[44 + 26], FrameSum(buf));

  TRequest r;
  ASSERT_TRUE(ParseRequest(buf, n, r));
  EXPECT_EQ(r.pieceLength, 44);
  EXPECT_FALSE(r.hasCredential);
}

TEST(LinkFrame, CheckFrameRefusesShortAndWrongFrames) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    TFrameStatus want;
  } cases[] = {
      {{}, TFrameStatus::kEmpty},
      {{3, 0x97, 0, 0, 0x97}, TFrameStatus::kOk},
      {{3, 0x97, 0, 0, 0x98}, TFrameStatus::kBadSum},
      {{3, 0x97, 0, 0}, TFrameStatus::kShort},          // check byte missing
      {{0, 0}, TFrameStatus::kOk},                      // empty frame is well formed ...
      {{255, 1, 2, 3}, TFrameStatus::kShort},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckFrame(c.bytes.data(), c.bytes.size()), c.want);
  // ... but carries no answer any parser accepts.
  std::uint8_t empty[2] = {0, 0};
  std::uint16_t error;
  EXPECT_FALSE(ParseErrorAnswer(empty, 2, kCmdOpenDisk, error));
}

TEST(LinkFrame, AnswerParsersRefuseWhatTheFrameDoesNotCarry) {
  std::uint8_t buf[kFrameBufferSize];
  std::uint16_t error;
  const std::uint8_t* data;
  std::uint8_t count;
  std::uint32_t v;

  // A count byte larger than the data in the frame is refused.
  std::size_t n = BuildReadAnswer(buf, 0, reinterpret_cast<const std::uint8_t*>("abcdef"), 6);
  buf[4] = 100;
  buf[n - 1] = FrameSum(buf);
  EXPECT_FALSE(ParseReadAnswer(buf, n, error, data, count));
  // A wrong echo is refused.
  n = BuildErrorAnswer(buf, kCmdOpenDisk, 0);
  EXPECT_FALSE(ParseErrorAnswer(buf, n, kCmdWritePiece, error));
  // A find answer without its size field is refused when it reports success.
  std::uint8_t shortFind[] = {4, 0x94, 0, 0, 0, 0x94};
  std::uint32_t size;
  EXPECT_FALSE(ParseFindAnswer(shortFind, sizeof shortFind, error, size));
  // The value answer: [7][A1][error][value LE][check], nine bytes.
  n = BuildValueAnswer(buf, 0, 0xDEADBEEF);
  EXPECT_EQ(n, kValueAnswerSize);
  ASSERT_TRUE(ParseValueAnswer(buf, n, error, v));
  EXPECT_EQ(v, 0xDEADBEEFu);
  EXPECT_FALSE(ParseValueAnswer(buf, 8, error, v));  // cut before its check byte
}

TEST(LinkFrame, ErrorTexts) {
  struct Case {
    std::uint16_t code;
    const char* text;
  } cases[] = {
      {2, "Файл не найден."},
      {3, "Путь не найден."},
      {4, "Много открытых файлов."},
      {5, "Ошибка доступа."},
      {8, "Недостаточно памяти."},
      {18, "Конец списка файлов."},
      {1234, "Не верный пароль."},
      {7, "Код ошибки 7"},
      {0x400 | (39 << 5) | 22, "\nОшибка записи сегмента.\nКод ошибки -22\nDISK_FULL"},
      {0x400 | (40 << 5) | 15, "\nОшибка номера сегмента.\nКод ошибки -15\nINVALID_FILE_POS"},
      {0x400 | (36 << 5) | 16, "\nНет прав на запись файла паролей.\nКод ошибки -16\nACCESS_DENIED"},
      {0x400 | (50 << 5) | 1, "\n\nКод ошибки -1\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
}

TEST(LinkPassword, FormsAndCredential) {
  // "1": s = 0x31; text 0x51 '1' 0x40, xored with 0x12, 0x13, 0x14.
  EXPECT_EQ(PasswordWireForm("1"), "C\"T");
  EXPECT_EQ(PasswordWireForm(""), std::string({char(0x41), char(0x42)}));
  // Stored form with a = 0: 'A', then '1' ^ 2, 0x40 ^ 3.
  EXPECT_EQ(PasswordStoredForm("1", 0), "A3C");
  for (unsigned salt : {0u, 7u, 30u})
    EXPECT_EQ(PasswordFromStoredForm(PasswordStoredForm("пароль 12", salt)), "пароль 12") << salt;
  EXPECT_EQ(PasswordFromStoredForm(""), "");

  EXPECT_EQ(CredentialValue("admin", "C\"T"), t32::Crc32NoFinal("admin=C\"T", 9));
  // The user part is cut to 17 bytes with its "=", the whole text to 33.
  std::string user16(16, 'u'), wire16(16, 'w');
  std::string text = user16 + "=" + wire16;
  EXPECT_EQ(CredentialValue(user16, wire16), t32::Crc32NoFinal(text.data(), 33));
  std::string user17(17, 'u');
  std::string cut = user17 + wire16;
  EXPECT_EQ(CredentialValue(user17, wire16), t32::Crc32NoFinal(cut.data(), 33));

  TLogin login;
  login.Set("admin", "a much longer password");
  EXPECT_EQ(login.wire.size(), kMaxPasswordLength);
  EXPECT_TRUE(login.loggedIn);
}

TEST(LinkBootIni, CpuTypeAndMinorVersion) {
  struct Case {
    const char* text;
    TCpuType cpu;
    int minor;
    const char* config;
  } cases[] = {
      {"[Boot]\r\nLastVersion=4.16.1\r\nConfigFilename=MY.cfg\r\n", TCpuType::kCpu927, 16, "MY.cfg"},
      {"[Boot]\r\nLastVersion=4.14\r\n", TCpuType::kCpu927, 14, "TVR32.cfg"},
      {"[Boot]\r\nLastVersion=4.13\r\n", TCpuType::kCpu6358, 13, "TVR32.cfg"},
      {"[Boot]\r\nLastVersion=3.20\r\n", TCpuType::kCpu6358, 20, "TVR32.cfg"},
      {"[Boot]\r\nLastVersion=4.x\r\n", TCpuType::kCpu6358, 0, "TVR32.cfg"},
      {"[A]\r\nConfigFilename=\r\n[B]\r\nLastVersion=4\r\n", TCpuType::kCpu6358, 0, "TVR32.cfg"},
      {"", TCpuType::kCpu6358, 0, "TVR32.cfg"},
  };
  for (const auto& c : cases) {
    TBootInfo b = ParseBootIni(c.text, "ConfigFilename");
    EXPECT_EQ(b.cpu, c.cpu) << c.text;
    EXPECT_EQ(b.minorVersion, c.minor) << c.text;
    EXPECT_EQ(b.fileName, c.config) << c.text;
  }
  EXPECT_EQ(ParseBootIni("", "AutoFilename").fileName, "Auto.shm");
  EXPECT_EQ(ParseBootIni("", "PasswordFileName").fileName, "Password.ini");
}
