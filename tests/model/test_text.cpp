// cp1251 codec, CRC-32 without final inversion, INI files.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/cp1251.h"
#include "model/crc32.h"
#include "model/ini.h"

using namespace t32;

TEST(Cp1251, RoundTripsCyrillicAndSymbols) {
  std::string utf8 = "Процессор ТС №5 Ёё «ПУ» €";
  bool ok = false;
  std::string cp = Utf8ToCp1251(utf8, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(cp.size(), Utf8Length(utf8));
  EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xCF);  // П
  EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
}

TEST(Cp1251, UnencodableCharactersAreReportedNotHidden) {
  bool ok = true;
  EXPECT_EQ(Utf8ToCp1251("a中b", &ok), "a?b");
  EXPECT_FALSE(ok);
  EXPECT_FALSE(FitsCp1251("日本"));
  // Broken UTF-8 never reads past the end.
  EXPECT_EQ(Utf8Length(std::string("\xD0", 1)), 1u);
  EXPECT_EQ(Utf8Left("ПриветМир", 6), "Привет");
  EXPECT_EQ(Utf8Upper("связь_abc"), "СВЯЗЬ_ABC");
}

TEST(Crc32, NoFinalInversion) {
  // Standard CRC-32 of "123456789" is 0xCBF43926; without the final inversion it is its complement.
  EXPECT_EQ(Crc32NoFinal("123456789", 9), ~0xCBF43926u);
  EXPECT_EQ(Crc32NoFinal("", 0), 0xFFFFFFFFu);
  // Chaining equals one pass.
  uint32_t part = Crc32NoFinal("12345", 5);
  EXPECT_EQ(Crc32NoFinal("6789", 4, part), ~0xCBF43926u);
}

TEST(Ini, ParsesCp1251CaseInsensitivelyAndRoundTrips) {
  TIniFile ini;
  ini.Parse(Utf8ToCp1251("junk line\r\n[Boot]\r\nLastVersion = 16\r\nConfigFilename=TVR32.cfg\r\n"
                         "[Связь]\nСОМ_N=12\nlastversion=99\n[boot]\nConfigFilename=other\n"));
  EXPECT_EQ(ini.ReadInteger("BOOT", "lastversion", 0), 16);
  EXPECT_EQ(ini.ReadString("boot", "configfilename"), "TVR32.cfg");  // first occurrence wins
  EXPECT_EQ(ini.ReadInteger("связь", "сом_n", 1), 12);
  EXPECT_EQ(ini.ReadInteger("Boot", "missing", -7), -7);
  ini.WriteString("Boot", "AutoFilename", "Auto.shm");
  TIniFile again;
  again.Parse(ini.Serialize());
  EXPECT_EQ(again.ReadString("Boot", "AutoFilename"), "Auto.shm");
  EXPECT_EQ(again.ReadInteger("Связь", "СОМ_N", 0), 12);
}

TEST(Ini, NonNumbersFallBackAndSaveIsAtomic) {
  TIniFile ini;
  ini.Parse("[a]\nx=abc\ny=0x1F\nz=99999999999999999999999\n");
  EXPECT_EQ(ini.ReadInteger("a", "x", 5), 5);
  EXPECT_EQ(ini.ReadInteger("a", "y", 0), 31);
  EXPECT_EQ(ini.ReadInteger("a", "z", 3), 3);
  auto dir = std::filesystem::temp_directory_path() / "t32_ini_test";
  std::filesystem::create_directories(dir);
  std::string path = (dir / "x.ini").string();
  ASSERT_TRUE(ini.Save(path));
  std::string err;
  EXPECT_FALSE(ini.Save((dir / "missing" / "x.ini").string(), &err));
  EXPECT_NE(err.find("Ошибка записи файла"), std::string::npos);
  TIniFile back;
  ASSERT_TRUE(back.Load(path));
  EXPECT_EQ(back.ReadInteger("a", "y", 0), 31);
  std::filesystem::remove_all(dir);
}
