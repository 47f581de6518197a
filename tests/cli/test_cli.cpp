// tavrik32-cli as a user runs it: the sample configuration, what info prints of the file's
// sum, check and convert on files holding sections this version does not edit, addresses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/boards.h"
#include "model/config.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "project/cfgfile.h"

using namespace t32;
namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/t32_cliXXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& n) const { return (path / n).string(); }
};

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Result {
  int status = -1;
  std::string out, err;
};

// Runs the tool with the arguments (each quoted) and collects exit status, stdout, stderr.
Result RunCli(const TempDir& dir, const std::vector<std::string>& args) {
  std::string cmd = std::string("'") + T32_CLI + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " >'" + dir / "stdout" + "' 2>'" + dir / "stderr" + "'";
  int rc = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = ReadText(dir / "stdout");
  r.err = ReadText(dir / "stderr");
  return r;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& b) {
  std::string err;
  ASSERT_TRUE(WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()), &err)) << err;
}

// A type-5 file from hand-made records.
std::vector<std::uint8_t> FileOf(const std::vector<std::uint8_t>& records) {
  std::vector<std::uint8_t> img(TConfig::kDataStart, 0);
  img.insert(img.end(), records.begin(), records.end());
  TBuildOptions opt;
  opt.cpu = TCpu::Cpu6358;
  std::string err;
  EXPECT_TRUE(FinishImage(img, img.size(), opt, &err)) << err;
  return img;
}

// Section records: processor (counts), then the given board sections, then the IP port.
std::vector<std::uint8_t> Records(const std::vector<std::vector<std::uint8_t>>& boards) {
  auto sec = [](unsigned code, std::vector<std::uint8_t> body) {
    std::vector<std::uint8_t> s{0xF1, 0xFF, static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8)};
    std::uint32_t len = static_cast<std::uint32_t>(body.size() + 8);
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<std::uint8_t>(len >> (8 * i)));
    s.insert(s.end(), body.begin(), body.end());
    return s;
  };
  auto ent = [](unsigned key, std::uint8_t v) {
    return std::vector<std::uint8_t>{0xF2, 0xFF, static_cast<std::uint8_t>(key), 0, 9, 0, 0, 0, v};
  };
  std::vector<std::uint8_t> proc = ent(48, 1), r;
  for (auto& e : {ent(2, static_cast<std::uint8_t>(boards.size() + 1)), ent(3, 1)}) proc.insert(proc.end(), e.begin(), e.end());
  r = sec(0, proc);
  for (const auto& b : boards) r.insert(r.end(), b.begin(), b.end());
  auto ip = sec(100, ent(48, 1));
  r.insert(r.end(), ip.begin(), ip.end());
  return r;
}

std::vector<std::uint8_t> Board(unsigned code, std::uint8_t version, std::uint8_t number) {
  return {0xF1, 0xFF, static_cast<std::uint8_t>(code), 0, 26, 0, 0, 0,   // section, 26 bytes
          0xF2, 0xFF, 48, 0, 9, 0, 0, 0, version, 0xF2, 0xFF, 1, 0, 9, 0, 0, 0, number};
}

}  // namespace

TEST(Cli, SampleBoardsEachHaveTheirOwnAddressesAndInterruptLine) {
  TempDir dir;
  Result r = RunCli(dir, {"new", "--sample", dir / "s.cfg"});
  ASSERT_EQ(r.status, 0) << r.err;
  TDocument d;
  ASSERT_TRUE(OpenConfigFile(d, dir / "s.cfg", nullptr));
  TNode* root = d.Tree().Root();
  ASSERT_EQ(root->ChildCount(), 9);  // the processor, a board of every kind and a second modem
  for (int i = 1; i < root->ChildCount(); ++i) {
    auto* b = static_cast<TBlock*>(root->Child(i)->Item());
    SCOPED_TRACE(root->Child(i)->caption);
    EXPECT_TRUE((AddressesOfOtherBoards(d, b) & b->addressSet).none());
    if (b->irq) {
      EXPECT_FALSE(IrqsOfOtherBoards(d, b).test(b->irq));
    }
  }
}

TEST(Cli, InfoShowsTheSumOfThePlainImage) {
  TempDir dir;
  TDocument d;
  d.Tree().Add(d.Tree().Root(), std::make_unique<TDI32>());
  struct Case {
    TCpu cpu;
    int minor;
    int type;
  } cases[] = {{TCpu::Cpu6358, 0, 5}, {TCpu::Cpu927, 0, 7}, {TCpu::Cpu927, 16, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    TBuildOptions opt;
    opt.cpu = c.cpu;
    opt.minorVersion = c.minor;
    std::vector<std::uint8_t> img;
    ASSERT_TRUE(BuildImage(d, opt, img));
    ASSERT_EQ(img[15], c.type);
    WriteBytes(dir / "f.cfg", img);
    // The sum as the controller checks it: over the plain image, its last two bytes.
    TDocument plain;
    ASSERT_TRUE(ParseImage(plain, img, false, nullptr));
    const auto& p = plain.Config().Image();
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 2 < p.size(); ++i) sum += p[i];
    char want[64];
    std::snprintf(want, sizeof want, "stored sum:  0x%04X\n", static_cast<unsigned>(sum & 0xFFFF));
    Result r = RunCli(dir, {"info", dir / "f.cfg"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
  }
}

TEST(Cli, CheckAndConvertSayWhatWasNotReadAsItStood) {
  TempDir dir;
  struct Case {
    const char* what;
    std::vector<std::vector<std::uint8_t>> boards;
    int status;
    const char* message;
  } cases[] = {
      {"clean", {Board(4, 1, 2)}, 0, ""},
      {"newer DI32", {Board(4, 2, 2)}, 1, "Новая версия DI32"},
      {"unknown board", {Board(4, 1, 2), Board(44, 1, 3)}, 1, kKeptSectionsMessage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> in = FileOf(Records(c.boards));
    WriteBytes(dir / "in.cfg", in);
    Result check = RunCli(dir, {"check", dir / "in.cfg"});
    EXPECT_EQ(check.status, c.status);
    EXPECT_NE(check.err.find(c.message), std::string::npos) << check.err;
    fs::remove(dir / "out.cfg");
    Result conv = RunCli(dir, {"convert", dir / "in.cfg", dir / "out.cfg", "--cpu", "6358"});
    EXPECT_EQ(conv.status, c.status);
    EXPECT_NE(conv.err.find(c.message), std::string::npos) << conv.err;
    // Written all the same, the section that was not read standing as it stood.
    ASSERT_TRUE(fs::exists(dir / "out.cfg"));
    std::string out = ReadText(dir / "out.cfg");
    const auto& last = c.boards.back();
    if (c.status) {
      EXPECT_NE(out.find(std::string(last.begin(), last.end())), std::string::npos);
    }
  }
}

TEST(Cli, AnOctetAbove255IsRefusedNotWrapped) {
  TempDir dir;
  Result r = RunCli(dir, {"rtu", "value", "0x4000", "--udp", "127.0.0.258", "--local", "127.0.0.1:0"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--udp"), std::string::npos) << r.err;
}
