// The control-station port: its section (old and new forms), protocol addresses, the channel
// protocol it puts into its channel, the save checks, file/JSON round trips, the INI export and
// the port menu rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "model/boards.h"
#include "model/controller.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/rawsection.h"
#include "model/factory.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "model/storage.h"
#include "model/signal_holders.h"
#include "ports/port_menu.h"
#include "ports/port_pu.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("t32ports." + std::to_string(::getpid()) + "." + std::to_string(rand()));
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const char* name) const { return (path / name).string(); }
};

TPortPU* AddPU(TDocument& d) {
  TNode* n = AddPortFromMenu(d, 101);
  return n ? dynamic_cast<TPortPU*>(n->Item()) : nullptr;
}

TBlock* AddBoard(TDocument& d, int code, int address) {
  TNode* n = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(code, TItemPlace::Board));
  auto* b = dynamic_cast<TBlock*>(n->Item());
  b->SetAddress(address);
  d.AfterEdit();
  return b;
}

// Bytes of the records the document writes (head excluded).
std::vector<std::uint8_t> Records(TDocument& d) {
  std::int32_t end = d.WriteRecords();
  const auto& img = d.Config().Image();
  return {img.begin() + TConfig::kDataStart, img.begin() + end};
}

std::vector<std::uint8_t> U16(std::uint16_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }

// Value bytes of entry `key` in the section at `at` (first level only), or empty.
std::vector<std::uint8_t> EntryValue(const std::vector<std::uint8_t>& img, std::size_t at, int key) {
  std::size_t p = at + 8;
  while (p + 8 <= img.size() && img[p] == 0xF2 && img[p + 1] == 0xFF) {
    std::size_t len = img[p + 4] | (img[p + 5] << 8) | (img[p + 6] << 16) | (std::size_t(img[p + 7]) << 24);
    if ((img[p + 2] | (img[p + 3] << 8)) == key) return {img.begin() + p + 8, img.begin() + p + len};
    p += len;
  }
  return {};
}

}  // namespace

// A section written before the format tables existed: one byte per signal type.
TEST(PortPU, OldFormByHandLoadsConvertedAndSavesStably) {
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(1, U16(7)).Ent(2, {1}).Ent(3, {2}).End();
  r.Sec(100).Ent(48, {1}).End();
  r.Sec(101).Ent(48, {1}).Ent(77, t32test::NameField("Диспетчерская")).Ent(1, {3}).Ent(27, {2});
  r.Ent(35, {7}).Ent(36, {0}).Ent(73, {3}).Ent(34, U16(0)).Ent(102, {4}).Ent(72, U16(0)).Ent(24, {0}).Ent(78, U16(4));
  r.Sec(211).Ent(48, {1}).Ent(13, U16(0)).End();
  r.Sec(212).Ent(48, {1}).Ent(15, U16(0)).End();
  r.End();

  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  ASSERT_EQ(d.ProcNode()->ChildCount(), 2);
  auto* pu = dynamic_cast<TPortPU*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(pu, nullptr);
  EXPECT_EQ(pu->place, "Диспетчерская");
  EXPECT_EQ(pu->number, 3);
  EXPECT_EQ(pu->Caption(), "3_Порт ПУ");
  EXPECT_EQ(pu->tsFormats[3], 1);   // older ТС 7 means 1
  EXPECT_EQ(pu->tiFormats[0], 8);   // older ТИ 0: eight a message, no cyclic output
  EXPECT_EQ(pu->tiFormats[2], 0);
  EXPECT_EQ(pu->tiiFormats[0], 4);  // 3 is no choice: 4
  EXPECT_EQ(pu->linkAddress, 7);    // no key 109: the station address
  EXPECT_EQ(pu->asduAddress, 7);
  EXPECT_EQ(pu->lisnaChAddress, 7);
  EXPECT_EQ(pu->permissions, 4);
  EXPECT_EQ(pu->retransmitter, 0);
  EXPECT_TRUE(msgs.errors.empty());

  std::vector<std::uint8_t> first = Records(d);
  std::size_t at = t32test::FindSectionCode(d.Config().Image(), 101);
  ASSERT_NE(at, 0u);
  EXPECT_EQ(t32test::EntryKeys(d.Config().Image(), at),
            (std::vector<int>{48, 77, 1, 27, 35, 36, 73, 45, 46, 107, 34, 102, 72, 5, 109, 108, 24, 78}));
  EXPECT_EQ(EntryValue(d.Config().Image(), at, 35), std::vector<std::uint8_t>{1});
  EXPECT_EQ(EntryValue(d.Config().Image(), at, 36), std::vector<std::uint8_t>{0});
  EXPECT_EQ(EntryValue(d.Config().Image(), at, 73), std::vector<std::uint8_t>{4});
  EXPECT_EQ(EntryValue(d.Config().Image(), at, 109), std::vector<std::uint8_t>{7});

  TDocument again(&msgs, &PortsFactory());
  std::vector<std::uint8_t> img(TConfig::kDataStart, 0);
  img.insert(img.end(), first.begin(), first.end());
  ASSERT_TRUE(again.Config().SetImage(img));
  again.ReadRecords(false);
  EXPECT_EQ(Records(again), first);
  EXPECT_EQ(again.Dump(), d.Dump());
}

TEST(PortPU, NewerLayoutIsKeptAsItStoodAndTheNextPortReads) {
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(2, {1}).Ent(3, {3}).End();
  r.Sec(100).Ent(48, {1}).End();
  r.Sec(101).Ent(48, {2}).Ent(1, {9}).Ent(27, {0}).Sec(211).Ent(48, {1}).Ent(13, U16(1)).End().End();
  r.Sec(101).Ent(48, {1}).Ent(1, {4}).Ent(27, {5}).End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия ПУ", kKeptSectionsMessage}));
  ASSERT_EQ(d.ProcNode()->ChildCount(), 3);
  auto* a = dynamic_cast<TPortPU*>(d.ProcNode()->Child(1)->Item());
  auto* b = dynamic_cast<TPortPU*>(d.ProcNode()->Child(2)->Item());
  EXPECT_EQ(a->protocol, TPortPU::kIec101);
  EXPECT_EQ(a->Table(kSigTS)->Count(), 0);
  EXPECT_TRUE(a->ReadOnly());  // its section goes back as it stood
  EXPECT_EQ(b->number, 4);  // the next port reads normally
  EXPECT_EQ(b->protocol, TPortPU::kLisnaCh);
}

TEST(PortPU, AddressCases) {
  TDocument d(nullptr, &PortsFactory());
  TPortPU* pu = AddPU(d);
  ASSERT_NE(pu, nullptr);
  // Widths of the ТИ rows: points 1, 2, 4, 2, 2, 1.
  const std::uint8_t widths[] = {2, 4, 8, 4, 4, 0};
  for (std::uint8_t w : widths) {
    auto p = pu->Table(kSigTI)->NewParam();
    p->valueWidth = w;
    pu->Table(kSigTI)->Append(p);
  }
  for (int t : {kSigTS, kSigTU, kSigTII, kSigTR, kSigMTS})
    for (int i = 0; i < 70; ++i) pu->Table(t)->NewEmptyRow(i);

  struct Case {
    int protocol, kind, row;
    std::uint16_t kp;
    const char* text;
  } cases[] = {
      {TPortPU::kLisnaV, kSigTS, 25, (1 << 2) | (1 << 5), "А5 Г1 П6"},
      {TPortPU::kLisnaV, kSigTS, 5, (1 << 2) | (1 << 5), "А2 Г1 П6"},
      {TPortPU::kLisnaV, kSigTS, 45, (1 << 2) | (1 << 5), ""},  // a third КП is not ticked
      {TPortPU::kLisnaV, kSigTU, 17, (1 << 1) | (1 << 10), "А10 Г1 П2"},
      {TPortPU::kLisnaV, kSigTI, 0, 2, ""},
      {TPortPU::kLisnaCh, kSigTS, 61, 0, "Пр62"},
      {TPortPU::kLisnaCh, kSigTS, 62, 0, ""},
      {TPortPU::kLisnaCh, kSigTU, 17, 0, "Гр2 Пр2"},
      {TPortPU::kLisnaM, kSigTS, 40, 0, "Пр41"},
      {TPortPU::kLisnaM, kSigTI, 9, 0, "Гр2 Пр2"},
      {TPortPU::kLisnaM, kSigTII, 0, 0, ""},
      {TPortPU::kSirius, kSigTS, 0, 0, "Гр1 Пр8"},
      {TPortPU::kSirius, kSigTS, 9, 0, "Гр2 Пр7"},
      {TPortPU::kVikont, kSigTU, 9, 0, "Гр2 Пр2"},
      {TPortPU::kSirius, kSigTII, 3, 0, "Гр2 Пр2"},
      {TPortPU::kSirius, kSigTR, 8, 0, "Гр2 Пр1"},
      {TPortPU::kSirius, kSigMTS, 0, 0, ""},
      {TPortPU::kSirius, kSigTI, 0, 0, "Гр1 Пр1"},
      {TPortPU::kSirius, kSigTI, 1, 0, "Гр1 Пр2"},
      {TPortPU::kSirius, kSigTI, 2, 0, "Гр1 Пр4"},
      {TPortPU::kSirius, kSigTI, 3, 0, "Ошибка!!!"},  // would end on point 9
      {TPortPU::kSirius, kSigTI, 4, 0, "Гр2 Пр1"},    // and the walk goes on in group 2
      {TPortPU::kVikont, kSigTI, 5, 0, "Гр2 Пр3"},
      {TPortPU::kIec101, kSigTI, 5, 0, "16389"},
      {TPortPU::kIec101, kSigTS, 0, 0, "8192"},
      {TPortPU::kIec101, kSigMTS, 1, 0, "49153"},
  };
  for (const Case& c : cases) {
    pu->SetProtocol(c.protocol);
    pu->kpAddressSet = c.kp;
    EXPECT_EQ(pu->SignalAddressText(c.row, c.kind), c.text) << c.protocol << "/" << c.kind << "/" << c.row;
    // The whole-table form gives the same texts as row by row.
    auto all = pu->SignalAddressTexts(c.kind, std::max(pu->Table(c.kind)->Count(), c.row + 1));
    EXPECT_EQ(all[static_cast<std::size_t>(c.row)], c.text);
  }
}

TEST(PortPU, ChannelProtocolFollowsTheBoundModemAndLeavesWithIt) {
  TDocument d(nullptr, &PortsFactory());
  auto* modem = dynamic_cast<TMVS4*>(AddBoard(d, 1, 2));
  ASSERT_NE(modem, nullptr);
  const std::string plain = modem->FrameLayout().freq0Caption;
  TPortPU* pu = AddPU(d);
  auto list = pu->Interfaces();
  ASSERT_EQ(list.size(), 2u);
  pu->SelectInterface(list, 1);
  EXPECT_EQ(pu->boundChannel, modem);
  EXPECT_EQ(pu->node->image, 13);
  EXPECT_EQ(modem->channelProtocol, 4);  // IEC 101
  EXPECT_FALSE(pu->Incompatible());
  pu->SetProtocol(TPortPU::kLisnaCh);
  EXPECT_EQ(modem->channelProtocol, 10);
  EXPECT_EQ(modem->FrameLayout().freq0Caption, "Частота ТС, Гц");
  pu->SetProtocol(TPortPU::kLisnaM);
  EXPECT_EQ(modem->channelProtocol, 12);
  pu->SelectInterface(pu->Interfaces(), 0);  // unbound: the modem is plain again
  EXPECT_EQ(modem->channelProtocol, 0);
  EXPECT_EQ(modem->FrameLayout().freq0Caption, plain);
  pu->SelectInterface(pu->Interfaces(), 1);
  EXPECT_EQ(modem->channelProtocol, 12);
  d.Tree().Delete(pu->node);  // deleting the port frees the channel the same way
  EXPECT_EQ(modem->channelProtocol, 0);
  EXPECT_EQ(modem->boundPort, nullptr);
}

TEST(PortPU, Key30BindsOnlyAChannelOfAcceptedKind) {
  TDocument d(nullptr, &PortsFactory());
  AddBoard(d, 4, 2);                 // a DI32 at 2 comes first and must not take the port
  TBlock* modem = AddBoard(d, 1, 2);  // the modem at 2
  TPortPU* pu = AddPU(d);
  pu->SelectInterface(pu->Interfaces(), 1);
  ASSERT_EQ(pu->boundChannel, modem);
  pu->SetProtocol(TPortPU::kLisnaV);
  std::vector<std::uint8_t> rec = Records(d);
  std::vector<std::uint8_t> img(TConfig::kDataStart, 0);
  img.insert(img.end(), rec.begin(), rec.end());

  TDocument back(nullptr, &PortsFactory());
  ASSERT_TRUE(back.Config().SetImage(img));
  back.ReadRecords(false);
  auto* pu2 = dynamic_cast<TPortPU*>(back.ProcNode()->Child(1)->Item());
  ASSERT_NE(pu2->boundChannel, nullptr);
  EXPECT_EQ(pu2->boundChannel->ClassName(), std::string("TMVS4"));
  EXPECT_EQ(pu2->node->image, 13);
  EXPECT_EQ(pu2->boundChannel->channelProtocol, 11);
  // A port bound to the processor writes no key 30.
  back.Config().BeginWrite();
  std::int32_t before = back.Config().Pos;
  back.PortIP()->PutBinding(back.Config());
  EXPECT_EQ(back.Config().Pos, before);
  EXPECT_TRUE(back.PortIP()->BoundToProcessor());
}

TEST(PortPU, SaveChecks) {
  TempDir dir;
  {
    TRecordedMessages msgs;
    TDocument d(&msgs, &PortsFactory());
    TPortPU* a = AddPU(d);
    TPortPU* b = AddPU(d);
    EXPECT_EQ(a->number, 1);
    EXPECT_EQ(b->number, 2);  // the lowest free number, not a fixed 1
    b->number = 1;
    std::string path = dir / "dup.cfg";
    EXPECT_FALSE(SaveConfigFile(d, path, TCpu::Cpu927));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_NE(std::find(msgs.errors.begin(), msgs.errors.end(),
                        "Обнаружены порты с одинаковым адресом. Сохранение прервано."),
              msgs.errors.end());
  }
  {
    TRecordedMessages msgs;
    TDocument d(&msgs, &PortsFactory());
    AddPU(d);
    std::string path = dir / "unbound.cfg";
    EXPECT_TRUE(SaveConfigFile(d, path, TCpu::Cpu6358));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(msgs.errors, std::vector<std::string>{"Не все порты связаны с платами."});
  }
}

namespace {
// A PU with every setting off its default, bound to a serial channel, with rows of every
// output table taken from two boards.
TPortPU* FillPU(TDocument& d) {
  AddBoard(d, 4, 0);   // DI32: ТС
  AddBoard(d, 5, 1);   // AI16: ТИ, ТР once configured
  AddBoard(d, 9, 2);   // serial board
  TPortPU* pu = AddPU(d);
  auto list = pu->Interfaces();
  pu->SelectInterface(list, static_cast<int>(list.size()) - 1);
  pu->place = "ПУ района";
  pu->SetProtocol(TPortPU::kIec101);  // key 109 holds the link address; the Лисна-М one is not stored
  pu->retransmitter = 1;
  pu->sourcePort = 5;
  pu->tsFormats = {16, 30, 0, 30, 21, 0};
  pu->tiFormats = {24, 13, 0, 36, 22, 0};
  pu->tiiFormats = {8, 0, 0, 0, 23, 0};
  pu->requestCode = 0xBEEF;
  pu->tsBufferLength = 17;
  pu->kpAddressSet = 0x0246;
  pu->transmitDelay = 200;
  pu->lisnaChAddress = 9;
  pu->linkAddress = 250;
  pu->asduAddress = 99;
  pu->permissions = 6;
  TStorage& st = d.Storage();
  pu->Table(kSigTS)->AddFromList(st.List(kSigTS), true);
  pu->Table(kSigTS)->At(3)->SetName("0_DI32.Ввод");
  pu->Table(kSigTS)->NewEmptyRow(5);
  d.AfterEdit();
  return pu;
}
}  // namespace

TEST(PortPU, FileAndJsonRoundTrip) {
  TempDir dir;
  for (TCpu cpu : {TCpu::Cpu927, TCpu::Cpu6358}) {
    TRecordedMessages msgs;
    TDocument a(&msgs, &PortsFactory());
    TPortPU* pu = FillPU(a);
    ASSERT_NE(pu->boundChannel, nullptr);
    std::string path = dir / "pu.cfg";
    ASSERT_TRUE(SaveConfigFile(a, path, cpu));
    EXPECT_TRUE(msgs.errors.empty());
    TDocument b(&msgs, &PortsFactory());
    TCpu got = cpu;
    ASSERT_TRUE(OpenConfigFile(b, path, &got));
    EXPECT_EQ(b.Dump(), a.Dump());
    auto* pb = dynamic_cast<TPortPU*>(b.ProcNode()->Child(1)->Item());
    EXPECT_EQ(pb->Table(kSigTS)->At(3)->Name(), "0_DI32.Ввод");
    EXPECT_EQ(pb->Table(kSigTS)->Ref(0), b.Storage().List(kSigTS).Ref(0));  // the source's own row

    std::string json = ExportJson(a, cpu);
    auto j = nlohmann::json::parse(json);
    for (const auto& s : j["sections"]) {
      if (s["section"] != 101) continue;
      EXPECT_EQ(s["class"], "TPortPU");
      for (const auto& e : s["entries"]) EXPECT_TRUE(e.contains("id")) << e.dump();
      for (const auto& c : s["children"]) {
        EXPECT_TRUE(c.contains("class")) << c.dump();
        for (const auto& e : c["entries"]) EXPECT_TRUE(e.contains("id")) << e.dump();
      }
    }
    TDocument c(&msgs, &PortsFactory());
    TCpu jc;
    std::string err;
    ASSERT_TRUE(ImportJson(c, json, &jc, &err)) << err;
    EXPECT_EQ(c.Dump(), a.Dump());
  }
}

TEST(PortPU, ShortImageTakesTheLegacyNames) {
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(1, {7, 0}).SEnt(2, {2}).SEnt(3, {2}).SEnd();
  r.SSec(4).SEnt(48, {1}).SEnt(1, {3}).SEnt(17, {3, 0, 0, 0}).SEnt(10, {1}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();
  r.SSec(101).SEnt(48, {1}).SEnt(1, {4}).SEnt(27, {0}).SEnt(36, {1}).SEnd();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(true);
  ASSERT_EQ(d.ProcNode()->ChildCount(), 2);
  auto* pu = dynamic_cast<TPortPU*>(d.ProcNode()->Child(1)->Item());
  EXPECT_EQ(pu->number, 4);
  EXPECT_EQ(pu->protocol, TPortPU::kSirius);
  EXPECT_EQ(pu->tiFormats[0], 1);
  ASSERT_EQ(pu->Table(kSigTS)->Count(), 32);
  EXPECT_EQ(pu->Table(kSigTS)->Ref(0), d.Storage().List(kSigTS).Ref(0));
  EXPECT_FALSE(pu->Table(kSigTS)->At(31)->unresolved);
  EXPECT_EQ(pu->Table(kSigTU)->Count(), 0);
}

TEST(PortPU, IniExport) {
  TempDir dir;
  TDocument d(nullptr, &PortsFactory());
  AddBoard(d, 4, 0);
  TPortPU* pu = AddPU(d);
  pu->Table(kSigTS)->AddFromList(d.Storage().List(kSigTS), true);
  pu->Table(kSigTS)->At(1)->SetName("0_DI32.Ячейка 5.Вкл");
  auto mts = pu->Table(kSigMTS)->NewParam();
  mts->SetName("Журнал");  // no dot: section "MTS."
  pu->Table(kSigMTS)->Append(mts);
  for (std::uint8_t w : {8, 10, 2}) {
    auto p = pu->Table(kSigTI)->NewParam();
    p->valueWidth = w;
    p->SetName("ТИ.Канал" + std::to_string(w));
    pu->Table(kSigTI)->Append(p);
  }
  int skipped = -1;
  std::string text = Cp1251ToUtf8(pu->IniText(&skipped));
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(text.rfind("[TS.0_DI32]\r\n8192=Пр1\r\n8194=Пр3\r\n", 0), 0u) << text.substr(0, 80);
  EXPECT_NE(text.find("[TS.0_DI32.Ячейка 5]\r\n8193=Вкл\r\n"), std::string::npos);
  // Sections follow the order ТС, МТС, ТУ, ТИ, ТИИ, ТР.
  EXPECT_LT(text.find("[MTS.]\r\n49152=Журнал"), text.find("[TI.ТИ]\r\n16384=Канал8\r\n16385=Канал10\r\n16386=Канал2"));

  // Under "Сириус" the 10-byte ТИ row does not fit the rest of group 1, and МТС rows have no
  // address: both are left out.
  pu->SetProtocol(TPortPU::kSirius);
  text = Cp1251ToUtf8(pu->IniText(&skipped));
  EXPECT_EQ(skipped, 2);
  EXPECT_EQ(text.find("[MTS."), std::string::npos);
  EXPECT_NE(text.find("[TI.ТИ]\r\nГр1 Пр1=Канал8\r\nГр2 Пр1=Канал2\r\n"), std::string::npos);
  EXPECT_EQ(TOutputPort::SkippedText(1), "Не выгружено строк без адреса: 1");

  std::string path = dir / "pu.ini";
  ASSERT_TRUE(WriteFileAtomic(path, "old"));
  std::string err;
  ASSERT_TRUE(pu->ExportIni(path, &err));
  std::string back;
  ASSERT_TRUE(ReadWholeFile(path, back));
  EXPECT_EQ(back, pu->IniText());
  std::string bad = dir / "no/such/folder/pu.ini";
  EXPECT_FALSE(pu->ExportIni(bad, &err));
  EXPECT_EQ(err.rfind("Ошибка записи файла " + bad, 0), 0u) << err;
}

TEST(PortMenu, EntryRules) {
  TItemFactory f = PortsFactory();
  f.Register(131, TItemPlace::Port, [] { return std::make_unique<TPortPU>(); }, 131);  // a stand-in
  f.Register(129, TItemPlace::Port, [] { return std::make_unique<TPortPU>(); }, 129);
  TDocument d(nullptr, &f);
  EXPECT_TRUE(PortEntryEnabled(d, 101, false));
  EXPECT_FALSE(PortEntryEnabled(d, 104, true));   // hidden entry, no class in this build
  EXPECT_FALSE(PortEntryEnabled(d, 129, false));  // CPU-927 only
  EXPECT_TRUE(PortEntryEnabled(d, 129, true));
  EXPECT_TRUE(PortEntryEnabled(d, 131, false));
  // One logic port per controller.
  struct TLogic : TPortPU {
    int SectionCode() const override { return 131; }
  };
  d.Tree().Add(d.ProcNode(), std::make_unique<TLogic>());
  EXPECT_FALSE(PortEntryEnabled(d, 131, false));
  EXPECT_TRUE(PortEntryEnabled(d, 101, false));
  // Numbers: the lowest free one; the IP port's 255 does not count.
  EXPECT_EQ(LowestFreePortNumber(d), 2);
  for (int i = 0; i < 45; ++i) AddPortFromMenu(d, 101);
  EXPECT_EQ(d.ProcNode()->Child(40)->Item()->number, 40);
  EXPECT_EQ(LowestFreePortNumber(d), 1);
  EXPECT_EQ(AddPortFromMenu(d, 104), nullptr);
}

TEST(PortPU, TimeTaggedTiAndUpdatePeriod) {
  TDocument d(nullptr, &PortsFactory());
  d.Proc()->stationAddress = 0x23;
  TPortPU* pu = AddPU(d);
  EXPECT_EQ(pu->linkAddress, 0x23);  // a new port starts from the station address
  EXPECT_EQ(pu->lisnaMAddress, 3);
  for (int i = 0; i < 20; ++i) pu->Table(kSigTI)->NewEmptyRow(i);
  pu->tiFormats[0] = 24;
  pu->LimitTiPerMessage();
  EXPECT_EQ(pu->tiFormats[0], 24);  // no time tags: 24 stays
  for (std::size_t byte : {1u, 2u, 3u}) {
    pu->tiFormats = {24, 11, 11, 0, 22, 0};
    pu->tiFormats[byte] = byte == 3 ? 36 : 35;
    pu->LimitTiPerMessage();
    EXPECT_EQ(pu->tiFormats[0], 16) << byte;
  }
  pu->tiFormats = {8, 11, 11, 0, 22, 0};
  EXPECT_EQ(pu->TiPeriodText(), "3 запросов");  // 20 rows, 8 a message, rounded up
  pu->tiFormats[2] = 0;                          // no cyclic output
  EXPECT_EQ(pu->TiPeriodText(), "определяется периодом \"Опроса группы 2\"");
  // Older bytes follow the formats.
  pu->tiFormats = {1, 11, 13, 0, 22, 0};
  pu->tsFormats[3] = 30;
  pu->tiiFormats[0] = 8;
  pu->DeriveOlderBytes();
  EXPECT_EQ(pu->oldTs, 30);
  EXPECT_EQ(pu->oldTi, 1);
  EXPECT_EQ(pu->oldTii, 8);
}
