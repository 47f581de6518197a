// Configuration files: head and tail, scrambling, compression, failures, safe saving, JSON.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "model/controller.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/port_ip.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
namespace fs = std::filesystem;

namespace {

class TTestPort : public TPort {
 public:
  explicit TTestPort(int n) { name = "П"; number = static_cast<uint8_t>(n); }
  const char* ClassName() const override { return "TTestPort"; }
  int SectionCode() const override { return 101; }
};

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/t32_cfgXXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& n) const { return (path / n).string(); }
};

std::vector<uint8_t> Records(TDocument& d) {
  d.WriteRecords();
  return d.Config().Image();
}

uint16_t Sum(const std::vector<uint8_t>& b, size_t n) {
  uint32_t s = 0;
  for (size_t i = 0; i < n; ++i) s += b[i];
  return static_cast<uint16_t>(s);
}

std::vector<uint8_t> Build(TDocument& d, TCpu cpu, int minor = 0, std::string name = "x.cfg") {
  TBuildOptions o;
  o.cpu = cpu;
  o.minorVersion = minor;
  o.fileName = std::move(name);
  std::vector<uint8_t> img;
  EXPECT_TRUE(BuildImage(d, o, img));
  return img;
}

}  // namespace

TEST(CfgFile, NewConfigurationSavesAndReopens) {
  TempDir dir;
  for (TCpu cpu : {TCpu::Cpu6358, TCpu::Cpu927}) {
    TDocument a;
    a.Proc()->place = "Подстанция №7";
    std::string path = dir / "a.cfg";
    ASSERT_TRUE(SaveConfigFile(a, path, cpu));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    std::vector<uint8_t> b(bytes.begin(), bytes.end());
    EXPECT_EQ(b.size() % 16, 0u);
    EXPECT_EQ(b[15], cpu == TCpu::Cpu927 ? 7 : 5);
    if (cpu == TCpu::Cpu6358) {
      EXPECT_EQ(b[b.size() - 2] | (b[b.size() - 1] << 8), Sum(b, b.size() - 2));
      // Plain records are readable as they lie: the processor section follows the head.
      EXPECT_EQ(b[144], 0xF1);
    } else {
      EXPECT_NE(b[144], 0xF1);  // scrambled
    }
    TRecordedMessages m;
    TDocument back(&m);
    TCpu got = cpu == TCpu::Cpu927 ? TCpu::Cpu6358 : TCpu::Cpu927;
    ASSERT_TRUE(OpenConfigFile(back, path, &got));
    EXPECT_EQ(got, cpu);
    EXPECT_EQ(back.Dump(), a.Dump());
    EXPECT_TRUE(m.errors.empty());
  }
}

TEST(CfgFile, TailRoundingAndHeadFields) {
  std::vector<uint8_t> img(160, 0xAB);  // records end exactly on a multiple of 16
  TBuildOptions o;
  o.cpu = TCpu::Cpu6358;
  o.fileName = "/some/dir/verylongname_123.cfg";
  ASSERT_TRUE(FinishImage(img, 160, o, nullptr));
  ASSERT_EQ(img.size(), 192u);  // 16 of rounding and 16 of tail
  EXPECT_EQ(std::string(img.begin() + 16, img.begin() + 28), "Size:192    ");
  EXPECT_EQ(std::string(img.begin() + 32, img.begin() + 48), "File:verylongnam");  // 11 characters of the name
  EXPECT_EQ(std::string(img.begin() + 128, img.begin() + 144), "** ConfigData **");
  EXPECT_EQ(img[92], 144);
  for (size_t i = 160; i < 190; ++i) ASSERT_EQ(img[i], 0) << i;
  std::vector<uint8_t> odd(161, 1);
  ASSERT_TRUE(FinishImage(odd, 161, o, nullptr));
  EXPECT_EQ(odd.size(), 192u);
}

TEST(CfgFile, DamagedImagesAreRefusedAndTheTreeStays) {
  TDocument src;
  src.Proc()->stationAddress = 42;
  auto good5 = Build(src, TCpu::Cpu6358);
  auto good7 = Build(src, TCpu::Cpu927);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool fromController;
    TCpu selected;
    std::string message;
  };
  auto flip = [](std::vector<uint8_t> b, size_t at) {
    b[at] ^= 0x5A;
    return b;
  };
  auto setType = [](std::vector<uint8_t> b, uint8_t t) {
    b[15] = t;
    return b;
  };
  std::vector<Case> cases = {
      {"flipped record byte, type 5", flip(good5, 150), false, TCpu::Cpu927, "Ошибка контрольной суммы FLASH"},
      {"flipped record byte, type 7", flip(good7, 150), false, TCpu::Cpu927, "Ошибка контрольной суммы FLASH"},
      {"bad signature", flip(good5, 3), false, TCpu::Cpu927, "Ошибка сигнатуры файла \"f.cfg\"\r\nSig4:TavrCore "},
      {"unknown type", setType(good5, 6), false, TCpu::Cpu927, "Ошибка типа контроллера"},
      {"type 5 from a CPU-927", good5, true, TCpu::Cpu927, "Ошибка типа контроллера"},
      {"type 7 from a CPU-6358", good7, true, TCpu::Cpu6358, "Ошибка типа контроллера"},
      {"truncated", std::vector<uint8_t>(good5.begin(), good5.begin() + 200), false, TCpu::Cpu927,
       "Ошибка контрольной суммы FLASH"},
      {"head only", std::vector<uint8_t>(good5.begin(), good5.begin() + 20), false, TCpu::Cpu927,
       "Ошибка контрольной суммы FLASH"},
      {"empty", {}, false, TCpu::Cpu927, "Ошибка сигнатуры файла \"f.cfg\"\r\n"},
  };
  for (auto& cs : cases) {
    TRecordedMessages m;
    TDocument d(&m);
    d.Proc()->stationAddress = 7;
    TCpu cpu = cs.selected;
    EXPECT_FALSE(ParseImage(d, cs.bytes, cs.fromController, &cpu, "f.cfg")) << cs.what;
    ASSERT_EQ(m.errors.size(), 1u) << cs.what;
    EXPECT_EQ(m.errors[0], cs.message) << cs.what;
    EXPECT_EQ(d.Proc()->stationAddress, 7) << cs.what;
  }
}

TEST(CfgFile, CompressedImageFromControllerReadsAsType7) {
  TDocument src;
  src.Proc()->place = std::string(60, 'A');
  auto packed = Build(src, TCpu::Cpu927, 16);
  EXPECT_EQ(packed[15], 9);
  TRecordedMessages m;
  TDocument d(&m);
  TCpu cpu = TCpu::Cpu927;
  ASSERT_TRUE(ParseImage(d, packed, true, &cpu));
  EXPECT_EQ(cpu, TCpu::Cpu927);
  EXPECT_EQ(d.Proc()->place, src.Proc()->place);
  EXPECT_EQ(d.Config().Image()[15], 7);
  // Minor version 15 keeps the plain scrambled form.
  EXPECT_EQ(Build(src, TCpu::Cpu927, 15)[15], 7);
}

TEST(CfgFile, PortChecksWhenBuilding) {
  TRecordedMessages m;
  TDocument d(&m);
  d.Tree().Add(d.ProcNode(), std::make_unique<TTestPort>(3));
  std::vector<uint8_t> img;
  TBuildOptions o;
  EXPECT_TRUE(BuildImage(d, o, img));  // an unbound port is reported, the image is still made
  ASSERT_EQ(m.errors.size(), 1u);
  EXPECT_EQ(m.errors[0], "Не все порты связаны с платами.");
  d.Tree().Add(d.ProcNode(), std::make_unique<TTestPort>(3));
  m.errors.clear();
  EXPECT_FALSE(BuildImage(d, o, img));
  EXPECT_EQ(m.errors.back(), "Обнаружены порты с одинаковым адресом. Сохранение прервано.");
}

TEST(CfgFile, BootIniSelectsCpuAndMinorVersion) {
  struct Case {
    const char* text;
    TCpu cpu;
    int minor;
  } cases[] = {
      {"LastVersion=4.16.2\r\nConfigFilename=MY.cfg\r\n", TCpu::Cpu927, 16},
      {"[Boot]\r\nLastVersion=4.14\r\n", TCpu::Cpu927, 14},
      {"LastVersion=4.13\r\n", TCpu::Cpu6358, 13},
      {"LastVersion=3.20\r\n", TCpu::Cpu6358, 20},
      {"LastVersion=4.x9\r\n", TCpu::Cpu6358, 0},
      {"garbage\x01\x02", TCpu::Cpu6358, 0},
  };
  for (const auto& c : cases) {
    TBootIni b = ReadBootIniText(c.text);
    EXPECT_EQ(b.cpu, c.cpu) << c.text;
    EXPECT_EQ(b.minorVersion, c.minor) << c.text;
  }
  EXPECT_EQ(ReadBootIniText(cases[0].text).configFile, "MY.cfg");
  EXPECT_EQ(ReadBootIniText("").configFile, "TVR32.cfg");
}

TEST(CfgFile, BootIniBesideAFileSetsTheCpu) {
  TempDir dir;
  TDocument a;
  ASSERT_TRUE(SaveConfigFile(a, dir / "c.cfg", TCpu::Cpu6358));
  ASSERT_TRUE(WriteFileAtomic(dir / "Boot.ini", "LastVersion=4.15\r\n"));
  TDocument b;
  TCpu cpu = TCpu::Cpu6358;
  ASSERT_TRUE(OpenConfigFile(b, dir / "c.cfg", &cpu));
  EXPECT_EQ(cpu, TCpu::Cpu6358);  // the file's own type wins after reading
  // A missing file names the reason.
  TRecordedMessages m;
  TDocument c(&m);
  EXPECT_FALSE(OpenConfigFile(c, dir / "none.cfg", &cpu));
  ASSERT_EQ(m.errors.size(), 1u);
  EXPECT_NE(m.errors[0].find("не найдены"), std::string::npos);
}

TEST(CfgFile, FailedSaveKeepsThePreviousFile) {
  TempDir dir;
  std::string path = dir / "keep.cfg";
  TDocument a;
  ASSERT_TRUE(SaveConfigFile(a, path, TCpu::Cpu6358));
  std::string before;
  ASSERT_TRUE(ReadWholeFile(path, before));
  // A child whose files may not grow past 300 bytes: the write fails like a full disk.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit lim{300, 300};
    setrlimit(RLIMIT_FSIZE, &lim);
    TRecordedMessages m;
    TDocument big(&m);
    big.Proc()->place = "Большая";
    TTIGroup g;
    g.name = "Группа";
    big.Proc()->SetGroups(std::vector<TTIGroup>(50, g));
    bool ok = SaveConfigFile(big, path, TCpu::Cpu6358);
    _exit(!ok && !m.errors.empty() && m.errors[0].find("Ошибка записи файла") == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string after;
  ASSERT_TRUE(ReadWholeFile(path, after));
  EXPECT_EQ(after, before);
  int files = 0;
  for (auto& e : fs::directory_iterator(dir.path)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);  // no temporary left behind
}

TEST(Json, ExportImportGivesTheSameRecords) {
  TDocument a;
  a.Proc()->place = "ПС «Южная»";
  a.Proc()->stationAddress = 300 % 256;
  TTIGroup g;
  g.name = "Токи";
  g.relAperture = 0.1f;
  a.Proc()->SetGroups({g});
  a.PortIP()->net1Address = 0x0A000002;
  for (TCpu cpu : {TCpu::Cpu927, TCpu::Cpu6358}) {
    std::string j = ExportJson(a, cpu);
    TDocument b;
    TCpu got = TCpu::Cpu927;
    std::string err;
    ASSERT_TRUE(ImportJson(b, j, &got, &err)) << err;
    EXPECT_EQ(got, cpu);
    a.extendedFormat = b.extendedFormat = cpu == TCpu::Cpu927;
    EXPECT_EQ(Records(b), Records(a));
  }
}

TEST(Json, BadDocumentsAreRefusedWithAReason) {
  const char* cases[] = {
      "not json",
      "{}",
      R"({"format":"tavrik32-config","sections":[{"section":0,"entries":[{"key":77,"text":"x"}]}],"cpu":"CPU-1"})",
      R"({"format":"tavrik32-config","sections":[{"section":0,"entries":[{"key":1,"u16":70000}]}]})",
      R"({"format":"tavrik32-config","sections":[{"section":0,"entries":[{"key":1,"hex":"0"}]}]})",
      R"({"format":"tavrik32-config","sections":[{"section":0,"entries":[{"key":77,"text":"中"}]}]})",
      R"({"format":"tavrik32-config","sections":[{"section":-1}]})",
      // An octet above 255 is refused, not wrapped to .44.
      R"({"format":"tavrik32-config","sections":[{"section":100,"entries":[{"key":49,"ip":"192.168.1.300"}]}]})",
  };
  for (const char* c : cases) {
    TDocument d;
    d.Proc()->stationAddress = 5;
    std::string err;
    EXPECT_FALSE(ImportJson(d, c, nullptr, &err)) << c;
    EXPECT_FALSE(err.empty()) << c;
    EXPECT_EQ(d.Proc()->stationAddress, 5) << c;
  }
}
