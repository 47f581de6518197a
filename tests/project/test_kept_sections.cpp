// Files holding sections this version does not read: open, edit, save and the JSON form keep
// them byte for byte; images for the controller name the current file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rec {
  Bytes b;
  std::vector<std::size_t> open;
  Rec& U16(unsigned v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); return *this; }
  Rec& U32(std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i))); return *this; }
  Rec& Sec(unsigned code) { open.push_back(b.size()); return U16(0xFFF1).U16(code).U32(0); }
  Rec& Ent(unsigned key, const Bytes& v) {
    U16(0xFFF2).U16(key).U32(static_cast<std::uint32_t>(v.size() + 8));
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  Rec& Raw(const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); return *this; }
  Rec& End() {
    std::size_t at = open.back();
    open.pop_back();
    std::uint32_t len = static_cast<std::uint32_t>(b.size() - at);
    std::memcpy(b.data() + at + 4, &len, 4);
    return *this;
  }
};

// Processor; a DI32 at 1; a section of code 40 that this build has no class for (laid out
// as no item of ours would be: an entry behind a nested section, then loose bytes); a DI32 of
// layout version 2; an AI16 at 4; the IP port; a port of code 131.
Bytes FixtureRecords() {
  Rec r;
  r.Sec(0).Ent(48, {1}).Ent(1, {3, 0}).Ent(2, {5}).Ent(3, {2}).End();
  r.Sec(4).Ent(48, {1}).Ent(1, {1}).Ent(17, {2}).End();
  r.Sec(40).Ent(48, {1}).Ent(7, {1, 2, 3, 4}).Sec(226).Ent(48, {1}).End().Ent(8, {5}).Raw({0xAA, 0xBB, 0xCC}).End();
  r.Sec(4).Ent(48, {2}).Ent(1, {2}).Ent(90, {7, 7}).End();
  r.Sec(5).Ent(48, {1}).Ent(1, {4}).Ent(18, {100}).End();
  r.Sec(100).Ent(48, {1}).End();
  r.Sec(131).Ent(48, {3}).Ent(1, {2}).Ent(20, {0, 0}).End();
  return r.b;
}

// The section of `code` at or after `from` among the top-level sections of an image.
Bytes TopSection(const Bytes& img, int code, int nth = 0) {
  std::size_t p = TConfig::kDataStart;
  while (p + 8 <= img.size() && img[p] == 0xF1 && img[p + 1] == 0xFF) {
    std::size_t len = img[p + 4] | (img[p + 5] << 8) | (img[p + 6] << 16) | (std::size_t(img[p + 7]) << 24);
    if (len < 8 || p + len > img.size()) break;
    if ((img[p + 2] | (img[p + 3] << 8)) == code && nth-- == 0)
      return Bytes(img.begin() + static_cast<std::ptrdiff_t>(p), img.begin() + static_cast<std::ptrdiff_t>(p + len));
    p += len;
  }
  return {};
}

std::vector<int> TopCodes(const Bytes& img) {
  std::vector<int> codes;
  std::size_t p = TConfig::kDataStart;
  while (p + 8 <= img.size() && img[p] == 0xF1 && img[p + 1] == 0xFF) {
    codes.push_back(img[p + 2] | (img[p + 3] << 8));
    std::size_t len = img[p + 4] | (img[p + 5] << 8) | (img[p + 6] << 16) | (std::size_t(img[p + 7]) << 24);
    if (len < 8) break;
    p += len;
  }
  return codes;
}

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/t32_keptXXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& n) const { return (path / n).string(); }
};

// The plain records of a file (undone scrambling, head and tail dropped).
Bytes RecordsOfFile(const std::string& path) {
  TDocument d;
  EXPECT_TRUE(OpenConfigFile(d, path, nullptr));
  return d.Config().Image();
}

}  // namespace

TEST(KeptSections, SurviveOpenEditOfAnotherBoardAndSave) {
  for (TCpu cpu : {TCpu::Cpu927, TCpu::Cpu6358}) {
    SCOPED_TRACE(CpuCaption(cpu));
    TempDir dir;
    Bytes img(TConfig::kDataStart, 0);
    Bytes rec = FixtureRecords();
    img.insert(img.end(), rec.begin(), rec.end());
    TBuildOptions opt;
    opt.cpu = cpu;
    std::string err;
    ASSERT_TRUE(FinishImage(img, img.size(), opt, &err)) << err;
    ASSERT_TRUE(WriteFileAtomic(dir / "in.cfg", std::string_view(reinterpret_cast<const char*>(img.data()), img.size()), &err));

    TRecordedMessages msgs;
    TDocument d(&msgs);
    ASSERT_TRUE(OpenConfigFile(d, dir / "in.cfg", nullptr));
    EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия DI32", kKeptSectionsMessage}));
    const Bytes in = d.Config().Image();
    // Edit the AI16 and the first DI32, then save under another name.
    auto* ai = static_cast<TAI16*>(d.Tree().Root()->Child(4)->Item());
    ai->filterTime = 40;
    static_cast<TDI32*>(d.Tree().Root()->Child(1)->Item())->SetDebounce(0);
    ASSERT_TRUE(SaveConfigFile(d, dir / "out.cfg", cpu));

    const Bytes out = RecordsOfFile(dir / "out.cfg");
    EXPECT_EQ(TopCodes(out), (std::vector<int>{0, 4, 40, 4, 5, 100, 131}));
    EXPECT_EQ(TopSection(out, 40), TopSection(in, 40));
    EXPECT_EQ(TopSection(out, 4, 1), TopSection(in, 4, 1));
    EXPECT_EQ(TopSection(out, 131), TopSection(in, 131));
    EXPECT_NE(TopSection(out, 5), TopSection(in, 5));
  }
}

TEST(KeptSections, TheJsonFormCarriesThemWithoutLoss) {
  TRecordedMessages msgs;
  TDocument a(&msgs);
  Bytes img(TConfig::kDataStart, 0);
  Bytes rec = FixtureRecords();
  img.insert(img.end(), rec.begin(), rec.end());
  ASSERT_TRUE(a.Config().SetImage(img));
  a.extendedFormat = true;
  a.ReadRecords(false);
  std::string j = ExportJson(a, TCpu::Cpu927);
  // The irregular section goes as its bytes; the port of a newer layout as typed entries.
  EXPECT_NE(j.find("\"raw\": \"F2 FF 30 00 09 00 00 00 01"), std::string::npos);
  EXPECT_EQ(j.find("TRawSection"), std::string::npos);
  TDocument b;
  std::string err;
  TCpu cpu = TCpu::Cpu6358;
  ASSERT_TRUE(ImportJson(b, j, &cpu, &err)) << err;
  a.extendedFormat = b.extendedFormat = true;
  a.WriteRecords();
  b.WriteRecords();
  EXPECT_EQ(b.Config().Image(), a.Config().Image());
  EXPECT_EQ(b.Dump(), a.Dump());
  EXPECT_EQ(TopSection(b.Config().Image(), 40), TopSection(img, 40));
  // A "raw" that is not hexadecimal is refused with a reason.
  std::string bad = R"({"format":"tavrik32-config","sections":[{"section":40,"raw":"F2 FX"}]})";
  EXPECT_FALSE(ImportJson(b, bad, nullptr, &err));
  EXPECT_NE(err.find("40"), std::string::npos);
}

TEST(KeptSections, ImagesForTheControllerNameTheCurrentFile) {
  TempDir dir;
  TDocument d;
  // Without a current file the controller's name stands in the head.
  TBuildOptions opt;
  opt.cpu = TCpu::Cpu6358;
  opt.fileName = "TVR32.cfg";
  Bytes img;
  ASSERT_TRUE(BuildImage(d, opt, img));
  EXPECT_EQ(std::string(img.begin() + 32, img.begin() + 48), "File:TVR32.cfg  ");
  // Saved (and so opened) as "Подстанция.cfg": that name wins over the controller's.
  ASSERT_TRUE(SaveConfigFile(d, dir / "Подстанция.cfg", TCpu::Cpu6358));
  TDocument e;
  ASSERT_TRUE(OpenConfigFile(e, dir / "Подстанция.cfg", nullptr));
  for (TDocument* doc : {&d, &e}) {
    ASSERT_TRUE(BuildImage(*doc, opt, img));
    EXPECT_EQ(std::string(img.begin() + 32, img.begin() + 48), Utf8ToCp1251("File:Подстанция."));
  }
  // "Создать" keeps the current file.
  e.NewConfiguration();
  ASSERT_TRUE(BuildImage(e, opt, img));
  EXPECT_EQ(std::string(img.begin() + 37, img.begin() + 41), Utf8ToCp1251("Подс"));
}
