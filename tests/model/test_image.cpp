// Image records, the whole-image walk, the processor and the IP port sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "model/config.h"
#include "model/controller.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/port_ip.h"
#include "model/rawsection.h"

using namespace t32;

namespace {

// A small board used to drive the reader: section code 77, one setting under key 5.
class TTestBoard : public TBlock {
 public:
  TTestBoard() { name = "Тест"; }
  const char* ClassName() const override { return "TTestBoard"; }
  int SectionCode() const override { return 77; }
  void Fields(TFieldVisitor& v) override { v.U16({"value", 5}, value); }
  std::uint16_t value = 7;
};

TItemFactory TestFactory() {
  TItemFactory f;
  f.Register(77, TItemPlace::Board, [] { return std::make_unique<TTestBoard>(); });
  return f;
}

struct Rec {
  std::vector<uint8_t> b;
  Rec& Sec(uint16_t code, uint32_t len) { return U16(0xFFF1).U16(code).U32(len); }
  Rec& Ent(uint16_t key, std::vector<uint8_t> v) {
    U16(0xFFF2).U16(key).U32(static_cast<uint32_t>(v.size() + 8));
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  Rec& U16(uint16_t v) { b.push_back(v & 0xFF); b.push_back(v >> 8); return *this; }
  Rec& U32(uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); return *this; }
};

std::vector<uint8_t> WithHead(const std::vector<uint8_t>& records) {
  std::vector<uint8_t> img(TConfig::kDataStart + records.size(), 0);
  std::copy(records.begin(), records.end(), img.begin() + TConfig::kDataStart);
  return img;
}

uint32_t Rd32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}

}  // namespace

TEST(Config, EntryLookupsFollowTheRecordRules) {
  TConfig c;
  c.BeginWrite();
  c.BeginSection(5);
  uint32_t four = 0x04030201;
  c.PutU32(9, four);
  c.PutU8(9, 0x55);  // duplicate key: the first one is found
  c.PutText(77, std::string(70, 'Z'));
  c.BeginSection(6);  // a nested section stops the entry search
  c.PutU8(1, 1);
  c.EndSection(TConfig::kDataStart);
  c.Pos = TConfig::kDataStart + 8;
  uint8_t low = 0;
  EXPECT_TRUE(c.GetEntry(9, 1, &low));
  EXPECT_EQ(low, 0x01);  // a 4-byte value read with size 1 yields its lowest byte
  uint32_t v = 0;
  EXPECT_TRUE(c.GetU32(9, v));
  EXPECT_EQ(v, four);
  std::string text;
  EXPECT_TRUE(c.GetText(77, text));
  EXPECT_EQ(text, std::string(64, 'Z'));  // cut to 64 characters
  uint8_t key1 = 9;
  EXPECT_FALSE(c.GetEntry(1, 1, &key1));  // belongs to the nested section
  EXPECT_EQ(key1, 9);
  EXPECT_EQ(c.PeekSection(), 6);
  EXPECT_EQ(c.Pos, TConfig::kDataStart + 8);
  EXPECT_EQ(c.NextSection(), 6);
  EXPECT_TRUE(c.GetEntry(1, 1, &key1));
  // Section length covers everything nested.
  EXPECT_EQ(Rd32(c.Image(), TConfig::kDataStart + 4), static_cast<uint32_t>(c.End() - TConfig::kDataStart));
}

TEST(Config, CorruptLengthsEndTheWalkWithoutLoopingOrOverreading) {
  struct Case {
    const char* what;
    std::vector<uint8_t> records;
  };
  std::vector<Case> cases = {
      {"zero length entry", Rec().Sec(5, 24).Ent(1, {1}).b},
      {"entry shorter than its head", Rec().Sec(5, 20).U16(0xFFF2).U16(1).U32(3).U32(0).b},
      {"entry past the end", Rec().Sec(5, 20).U16(0xFFF2).U16(1).U32(5000).U32(0).b},
      {"truncated head", Rec().Sec(5, 12).U16(0xFFF2).U16(1).b},
      {"zero bytes", std::vector<uint8_t>(64, 0)},
  };
  cases[0].records[8 + 4] = 0;  // patch the entry's length to 0
  for (const auto& cs : cases) {
    TConfig c;
    ASSERT_TRUE(c.SetImage(WithHead(cs.records))) << cs.what;
    c.Pos = TConfig::kDataStart;
    c.NextSection();
    uint8_t x = 0;
    c.GetEntry(2, 1, &x);
    c.PeekSection();
    EXPECT_EQ(c.NextSection(), TConfig::kNoSection) << cs.what;
    EXPECT_EQ(c.Pos, c.End()) << cs.what;
    c.MarkSection();
    c.SkipSection();
    EXPECT_LE(c.Pos, c.End()) << cs.what;
  }
}

TEST(Config, ShortRecordsReadAndCompareLowEightBits) {
  // F0 C8: section code 200 (read as a signed byte by old readers), an entry E0 01 with 2 bytes.
  std::vector<uint8_t> recs = {0xF0, 0xC8, 10, 0, 0xE0, 0x01, 6, 0, 0x34, 0x12};
  TConfig c;
  ASSERT_TRUE(c.SetImage(WithHead(recs)));
  EXPECT_TRUE(c.LooksShort());
  c.MarkSection();
  EXPECT_EQ(c.NextShortSection(), 200);
  uint16_t v = 0;
  EXPECT_TRUE(c.GetShortEntry(1, 2, &v));
  EXPECT_EQ(v, 0x1234);
  c.SkipShortSection();
  EXPECT_EQ(c.Pos, c.End());
  EXPECT_EQ(c.NextShortSection(), TConfig::kNoSection);
}

TEST(Document, NewConfigurationWritesProcessorAndIpPort) {
  TDocument doc;
  std::int32_t end = doc.WriteRecords();
  const auto& img = doc.Config().Image();
  ASSERT_GT(end, TConfig::kDataStart);
  // Top level: exactly two sections, code 0 then code 100, each starting with key 48.
  int p = TConfig::kDataStart;
  std::vector<int> codes;
  while (p < end) {
    ASSERT_EQ(img[p], 0xF1);
    ASSERT_EQ(img[p + 1], 0xFF);
    codes.push_back(img[p + 2] | (img[p + 3] << 8));
    EXPECT_EQ(img[p + 8], 0xF2);
    EXPECT_EQ(img[p + 10], 48);
    EXPECT_EQ(img[p + 16], 1);  // layout version 1
    p += static_cast<int>(Rd32(img, p + 4));
  }
  EXPECT_EQ(p, end);
  EXPECT_EQ(codes, (std::vector<int>{0, 100}));
  TConfig& c = doc.Config();
  c.Pos = TConfig::kDataStart + 8;
  uint8_t k2 = 0, k3 = 0;
  EXPECT_TRUE(c.GetU8(2, k2));
  EXPECT_TRUE(c.GetU8(3, k3));
  EXPECT_EQ(k2, 1);
  EXPECT_EQ(k3, 1);
  // The IP port's network 1 address lies fourth octet first.
  c.Pos = TConfig::kDataStart;
  c.SkipNextSection();
  c.NextSection();
  uint8_t ip[4];
  ASSERT_TRUE(c.GetEntry(49, 4, ip));
  EXPECT_EQ(std::vector<uint8_t>(ip, ip + 4), (std::vector<uint8_t>{1, 1, 168, 192}));
}

TEST(Document, ProcessorAndIpPortSurviveWriteAndRead) {
  TDocument a;
  TProc* p = a.Proc();
  p->place = "ПС «Северная» 110 кВ";
  p->stationAddress = 200;
  p->logRetention = 90;
  p->saveTSInLog = 1;
  p->passwordFlags = {1, 0, 1, 1};
  TTIGroup g;
  g.name = "Напряжения";
  g.absAperture = 0.5f;
  g.upper = 120;
  g.lower = 90;
  p->SetGroups({g, TTIGroup{}, g});  // the nameless row is dropped
  a.PortIP()->net2Gateway = 0x0A000001;
  a.WriteRecords();

  TDocument b;
  ASSERT_TRUE(b.Config().SetImage(a.Config().Image()));
  b.ReadRecords(false);
  TProc* q = b.Proc();
  EXPECT_EQ(q->place, p->place);
  EXPECT_EQ(q->stationAddress, 200);
  EXPECT_EQ(q->logRetention, 90);
  EXPECT_EQ(q->saveTSInLog, 1);
  EXPECT_EQ(q->passwordFlags, p->passwordFlags);
  ASSERT_EQ(q->groupCount, 2u);
  EXPECT_EQ(q->groups[1].name, "Напряжения");
  EXPECT_FLOAT_EQ(q->groups[1].upper, 120);
  EXPECT_EQ(b.PortIP()->net2Gateway, 0x0A000001u);
  EXPECT_EQ(b.Dump(), a.Dump());
}

TEST(Document, ProcessorDefaultsForOldOrForeignImages) {
  // No key 34: write files protected only. A group count above 100 is cut to 100.
  std::vector<uint8_t> groups(120 * TTIGroup::kSize, 0);
  for (int i = 0; i < 120; ++i) groups[i * TTIGroup::kSize + 16] = 0;
  Rec r;
  r.Sec(0, 0).Ent(48, {1}).Ent(2, {1}).Ent(3, {1}).Ent(20, {120}).Ent(46, groups);
  uint32_t len = static_cast<uint32_t>(r.b.size());
  std::memcpy(r.b.data() + 4, &len, 4);
  TRecordedMessages msgs;
  TDocument d(&msgs);
  ASSERT_TRUE(d.Config().SetImage(WithHead(r.b)));
  d.ReadRecords(false);
  EXPECT_EQ(d.Proc()->passwordFlags, (std::array<uint8_t, 4>{0, 1, 0, 0}));
  EXPECT_EQ(d.Proc()->groupCount, 100u);
}

TEST(Document, NewerLayoutVersionKeepsDefaultsAndLaterItemsLoad) {
  TItemFactory f = TestFactory();
  TRecordedMessages msgs;
  TDocument d(&msgs, &f);
  // Processor (3 root children), a board of version 2, an unknown board, a good board, IP port.
  Rec r;
  auto sect = [&](uint16_t code, std::vector<std::pair<uint16_t, std::vector<uint8_t>>> entries) {
    size_t at = r.b.size();
    r.Sec(code, 0);
    for (auto& [k, v] : entries) r.Ent(k, v);
    uint32_t len = static_cast<uint32_t>(r.b.size() - at);
    std::memcpy(r.b.data() + at + 4, &len, 4);
  };
  sect(0, {{48, {1}}, {2, {4}}, {3, {1}}, {1, {9, 0}}});
  sect(77, {{48, {2}}, {5, {1, 1}}});
  sect(99, {{48, {1}}});
  sect(77, {{48, {1}}, {5, {3, 0}}});
  sect(100, {{48, {1}}});
  ASSERT_TRUE(d.Config().SetImage(WithHead(r.b)));
  d.ReadRecords(false);
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия Тест", kKeptSectionsMessage}));
  TNode* root = d.Tree().Root();
  ASSERT_EQ(root->ChildCount(), 4);  // processor, the two test boards and the kept section 99
  EXPECT_EQ(static_cast<TTestBoard*>(root->Child(1)->Item())->value, 7);  // defaults kept
  EXPECT_EQ(root->Child(2)->caption, "Раздел 99 (17 байт)");
  EXPECT_EQ(static_cast<TTestBoard*>(root->Child(3)->Item())->value, 3);
  EXPECT_EQ(d.Proc()->stationAddress, 9);
  // Written again, every board section is the same; the processor counts the kept one.
  d.WriteRecords();
  const auto& out = d.Config().Image();
  std::size_t in = 144 + Rd32(WithHead(r.b), 144 + 4);
  std::size_t at = 144 + Rd32(out, 144 + 4);
  std::size_t boards = r.b.size() - (in - 144) - 17;  // all but the processor and the IP port
  EXPECT_TRUE(std::equal(r.b.begin() + (in - 144), r.b.begin() + (in - 144) + boards, out.begin() + at));
  const std::vector<uint8_t> key2{0xF2, 0xFF, 0x02, 0x00, 0x09, 0x00, 0x00, 0x00, 0x04};  // key 2 = 4
  EXPECT_NE(std::search(out.begin(), out.begin() + at, key2.begin(), key2.end()), out.begin() + at);
}

TEST(Document, NewerProcessorSectionStillGivesTheBoardAndPortCounts) {
  // The processor's own settings stay at their defaults, but the board behind it loads.
  TItemFactory f = TestFactory();
  TRecordedMessages msgs;
  TDocument d(&msgs, &f);
  Rec r;
  r.Sec(0, 0).Ent(48, {2}).Ent(1, {9, 0}).Ent(2, {2}).Ent(3, {1});
  uint32_t len = static_cast<uint32_t>(r.b.size());
  std::memcpy(r.b.data() + 4, &len, 4);
  r.Sec(77, 22).Ent(48, {1}).Ent(5, {3, 0});
  r.Sec(100, 17).Ent(48, {1});
  ASSERT_TRUE(d.Config().SetImage(WithHead(r.b)));
  d.ReadRecords(false);
  ASSERT_FALSE(msgs.errors.empty());
  EXPECT_EQ(msgs.errors[0], "Новая версия Процессор");
  EXPECT_EQ(d.Proc()->stationAddress, 1);
  ASSERT_EQ(d.Tree().Root()->ChildCount(), 2);
  EXPECT_EQ(static_cast<TTestBoard*>(d.Tree().Root()->Child(1)->Item())->value, 3);
}

TEST(Document, CorruptBoardLengthKeepsReachableSections) {
  // A board section whose length runs past the data: the walk ends there without a hang.
  TItemFactory f = TestFactory();
  TDocument d(nullptr, &f);
  Rec r;
  r.Sec(0, 0).Ent(48, {1}).Ent(2, {3}).Ent(3, {1});
  uint32_t len = static_cast<uint32_t>(r.b.size());
  std::memcpy(r.b.data() + 4, &len, 4);
  r.Sec(77, 0xFFFFFF).Ent(48, {1});
  ASSERT_TRUE(d.Config().SetImage(WithHead(r.b)));
  d.ReadRecords(false);
  EXPECT_EQ(d.Tree().Root()->ChildCount(), 1);
  EXPECT_EQ(d.Proc()->version, 1);
}

TEST(Document, NewConfigurationKeepsThreeNodesWithDefaults) {
  TItemFactory f = TestFactory();
  TDocument d(nullptr, &f);
  TProc& p = *d.Proc();
  p.stationAddress = 33;
  p.saveTSInLog = 1;
  p.passwordFlags = {1, 1, 1, 1};
  TTIGroup g;
  g.name = "Г1";
  g.upper = 5;
  p.SetGroups({g});
  d.Tree().Add(d.Tree().Root(), std::make_unique<TTestBoard>());
  d.NewConfiguration();
  EXPECT_EQ(d.Tree().Count(), 3);
  // Every processor setting is back at its default, the groups and password flags included.
  TProc fresh;
  EXPECT_EQ(p.stationAddress, fresh.stationAddress);
  EXPECT_EQ(p.saveTSInLog, fresh.saveTSInLog);
  EXPECT_EQ(p.passwordFlags, fresh.passwordFlags);
  EXPECT_EQ(p.groupCount, 0u);
  EXPECT_EQ(p.groups[0].name, "");
  EXPECT_EQ(p.groups[0].upper, 0.0f);
  auto order = d.Tree().DisplayOrder();
  EXPECT_EQ(order[0]->caption, "ТАВРИК32");
  EXPECT_EQ(order[1]->caption, "Процессор");
  EXPECT_EQ(order[2]->caption, "0_Порт_IP");
}
