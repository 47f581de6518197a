// Sections this version does not read (a class this build lacks, a layout newer than it
// knows) survive reading, editing of the rest and writing, byte for byte and in their places.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/boards.h"
#include "model/controller.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/port_ip.h"
#include "model/rawsection.h"
#include "model/storage.h"
#include "signal_holders.h"

using namespace t32;
using namespace t32test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes of section `nth` (0-based) with the given code, head to end.
Bytes SectionAt(const Bytes& img, int code, int nth = 0) {
  std::size_t at = TConfig::kDataStart;
  for (int i = 0; i <= nth; ++i) {
    at = FindSectionCode(img, code, i == 0 ? at : at + 1);
    if (at == 0) return {};
  }
  std::size_t len = img[at + 4] | (img[at + 5] << 8) | (img[at + 6] << 16) | (std::size_t(img[at + 7]) << 24);
  return Bytes(img.begin() + static_cast<std::ptrdiff_t>(at), img.begin() + static_cast<std::ptrdiff_t>(at + len));
}

// Codes of the top-level sections in order.
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

// Processor, DI32 at 1, a board section of code 99 holding a ТС source table of two rows, a
// DI32 of layout version 2, a DI32 at 3; the IP port with a workstation (202) of two output
// rows by index; a port of code 112.
TBytes Fixture() {
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(1, {7, 0}).Ent(2, {5}).Ent(3, {2}).End();
  r.Sec(4).Ent(48, {1}).Ent(1, {1}).Ent(17, {2}).Sec(211).Ent(48, {1}).Ent(13, {32, 0}).End().End();
  Bytes names = NameField("Чужой.Пр1");
  Bytes second = NameField("Чужой.Пр2");
  names.insert(names.end(), second.begin(), second.end());
  r.Sec(99).Ent(48, {1}).Ent(1, {5}).Ent(500, {1, 2, 3});
  r.Sec(211).Ent(48, {1}).Ent(13, {2, 0}).Ent(41, names).Ent(78, {0, 4}).End();
  r.End();
  r.Sec(4).Ent(48, {2}).Ent(1, {2}).Ent(17, {1}).Ent(501, {9}).Sec(211).Ent(48, {2}).End().End();
  r.Sec(4).Ent(48, {1}).Ent(1, {3}).Ent(17, {2}).Sec(211).Ent(48, {1}).Ent(13, {32, 0}).End().End();
  r.Sec(100).Ent(48, {1}).Ent(20, {1});
  r.Sec(202).Ent(48, {1}).Ent(1, {1}).Sec(211).Ent(48, {1}).Ent(13, {2, 0}).Ent(1, {32, 0, 65, 0}).End().End();
  r.End();
  r.Sec(112).Ent(48, {1}).Ent(1, {4}).Ent(30, {33}).End();
  return r;
}

}  // namespace

TEST(RawSections, KeptInPlaceThroughReadingEditingAndWriting) {
  const Bytes in = Fixture().Image();
  TRecordedMessages msgs;
  TDocument d(&msgs);
  d.extendedFormat = true;
  ASSERT_TRUE(d.Config().SetImage(in));
  d.ReadRecords(false);
  // One message for the newer board, one for the whole image.
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия DI32", kKeptSectionsMessage}));

  TNode* root = d.Tree().Root();
  ASSERT_EQ(root->ChildCount(), 5);
  EXPECT_EQ(root->Child(2)->caption, "Раздел 99 (" + std::to_string(SectionAt(in, 99).size()) + " байт)");
  EXPECT_TRUE(root->Child(2)->Item()->ReadOnly());
  auto* newer = static_cast<TDI32*>(root->Child(3)->Item());
  EXPECT_TRUE(newer->ReadOnly());
  EXPECT_TRUE(newer->Table(kSigTS)->ReadOnly());
  EXPECT_FALSE(root->Child(4)->Item()->ReadOnly());
  // The IP port's status table (one row for the one workstation), then the kept workstation.
  ASSERT_EQ(d.PortIPNode()->ChildCount(), 2);
  EXPECT_EQ(d.PortIPNode()->Child(0)->Item()->SectionCode(), 211);
  EXPECT_EQ(d.PortIPNode()->Child(1)->Item()->SectionCode(), 202);
  EXPECT_TRUE(d.PortIPNode()->Child(1)->Item()->ReadOnly());
  EXPECT_FALSE(d.PortIP()->ReadOnly());
  ASSERT_EQ(d.ProcNode()->ChildCount(), 2);
  EXPECT_EQ(d.ProcNode()->Child(1)->Item()->SectionCode(), 112);

  // The kept board's signals hold their storage places: the last DI32 starts behind them.
  TStorage& st = d.Storage();
  EXPECT_EQ(st.List(kSigTS).At(32)->Name(), "Чужой.Пр1");
  EXPECT_TRUE(st.List(kSigTS).At(33)->locked);
  auto* last = static_cast<TDI32*>(root->Child(4)->Item());
  EXPECT_EQ(st.IndexOf(kSigTS, last->Table(kSigTS)->At(0)), 32 + 2 + 32);

  // Edit another board, then write.
  auto* first = static_cast<TDI32*>(root->Child(1)->Item());
  first->SetAddress(6);
  first->SetDebounce(3);
  d.WriteRecords();
  const Bytes& out = d.Config().Image();
  EXPECT_EQ(TopCodes(out), (std::vector<int>{0, 4, 99, 4, 4, 100, 112}));
  for (int code : {99, 112, 202}) EXPECT_EQ(SectionAt(out, code), SectionAt(in, code)) << code;
  EXPECT_EQ(SectionAt(out, 4, 1), SectionAt(in, 4, 1));  // the newer DI32
  EXPECT_NE(SectionAt(out, 4, 0), SectionAt(in, 4, 0));  // the edited one did change
  EXPECT_EQ(SectionAt(out, 4, 0)[25], 6);                 // its key 1

  // And once more through the image: the same tree.
  TDocument again;
  again.extendedFormat = true;
  ASSERT_TRUE(again.Config().SetImage(out));
  again.ReadRecords(false);
  EXPECT_EQ(again.Dump(), d.Dump());
  again.WriteRecords();
  EXPECT_EQ(again.Config().Image(), out);
}

TEST(RawSections, DeletingAKeptBoardRecountsAndMovesTheRestUp) {
  TDocument d;
  ASSERT_TRUE(d.Config().SetImage(Fixture().Image()));
  d.ReadRecords(false);
  d.Tree().Delete(d.Tree().Root()->Child(2));
  d.AfterEdit();
  d.WriteRecords();
  EXPECT_EQ(TopCodes(d.Config().Image()), (std::vector<int>{0, 4, 4, 4, 100, 112}));
  auto* last = static_cast<TDI32*>(d.Tree().Root()->Child(3)->Item());
  EXPECT_EQ(d.Storage().IndexOf(kSigTS, last->Table(kSigTS)->At(0)), 64);
}

TEST(RawSections, NewerProcessorKeepsItsBytesWithTheCountsOfTheTree) {
  TBytes r;
  r.Sec(0).Ent(48, {2}).Ent(1, {7, 0}).Ent(2, {1}).Ent(3, {1}).Ent(600, {1, 2}).End();
  r.Sec(100).Ent(48, {1}).End();
  TRecordedMessages msgs;
  TDocument d(&msgs);
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия Процессор", kKeptSectionsMessage}));
  EXPECT_TRUE(d.Proc()->ReadOnly());
  EXPECT_FALSE(d.PortIP()->ReadOnly());
  d.Tree().Add(d.Tree().Root(), std::make_unique<TDI32>());
  d.WriteRecords();
  Bytes want = SectionAt(r.Image(), 0);
  want[8 + 9 + 10 + 8] = 2;  // key 2: processor and the new board
  EXPECT_EQ(SectionAt(d.Config().Image(), 0), want);
  // "Создать" makes the processor editable again, with its own section.
  d.NewConfiguration();
  EXPECT_FALSE(d.Proc()->ReadOnly());
  d.WriteRecords();
  EXPECT_NE(SectionAt(d.Config().Image(), 0), want);
}

TEST(RawSections, OldShortImagesSayWhatCannotBeKept) {
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(2, {2}).SEnt(3, {1}).SEnd();
  r.SSec(99).SEnt(48, {1}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();
  TRecordedMessages msgs;
  TDocument d(&msgs);
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(true);
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{kDroppedSectionsMessage}));
  EXPECT_EQ(d.Tree().Root()->ChildCount(), 1);
}

TEST(RawSections, DumpShowsCodeSizeBytesAndSignals) {
  TDocument d;
  ASSERT_TRUE(d.Config().SetImage(Fixture().Image()));
  d.ReadRecords(false);
  std::string dump = d.Dump();
  Bytes raw = SectionAt(Fixture().Image(), 99);
  EXPECT_NE(dump.find("Раздел 99 (" + std::to_string(raw.size()) + " байт)  [TRawSection 99]"), std::string::npos);
  EXPECT_NE(dump.find(". kept section, " + std::to_string(raw.size()) + " bytes"), std::string::npos);
  EXPECT_NE(dump.find(". hex F1 FF 63 00 "), std::string::npos);
  EXPECT_NE(dump.find(". signals ТС = 2"), std::string::npos);
  // The newer DI32 shows its kept bytes, not default settings.
  std::size_t newer = dump.find("0_Плата DI32"), next = dump.find("3_Плата DI32");
  ASSERT_LT(newer, next);
  std::string part = dump.substr(newer, next - newer);
  EXPECT_NE(part.find(". kept section, "), std::string::npos);
  EXPECT_EQ(part.find("debounce"), std::string::npos);
}

TEST(RawSections, OnlySourceTablesOfAKeptSectionTakeStoragePlaces) {
  // Rows stored by name (CPU-6358): a control-station port's table is an output table even
  // though it names its rows; another port's table of the same shape is a source.
  auto port = [](TBytes& r, std::uint16_t code, const char* row) {
    r.Sec(code).Ent(48, {1}).Ent(1, {1});
    r.Sec(212).Ent(48, {1}).Ent(15, {1, 0}).Ent(41, NameField(row)).End();
    r.End();
  };
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(2, {1}).Ent(3, {3}).End();
  r.Sec(100).Ent(48, {1}).End();
  port(r, 101, "Выход.Пр1");
  port(r, 133, "Источник.Пр1");
  TDocument d;
  d.extendedFormat = false;
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  ASSERT_EQ(d.ProcNode()->ChildCount(), 3);
  const TParams& tu = d.Storage().List(kSigTU);
  ASSERT_EQ(tu.Count(), 1);
  EXPECT_EQ(tu.At(0)->Name(), "Источник.Пр1");
}
