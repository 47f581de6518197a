// The I/O boards: numbers, captions and prefixes, rules between settings, every board through
// the image and old short-record sections written by hand.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "model/storage.h"
#include "signal_holders.h"

using namespace t32;
using namespace t32test;

namespace {
template <class T, class... A>
T* AddBoard(TDocument& d, A... args) {
  return static_cast<T*>(d.Tree().Add(d.Tree().Root(), std::make_unique<T>(args...))->Item());
}
std::vector<std::string> Captions(const TItem* item) {
  std::vector<std::string> out;
  for (TItem* c : item->ChildItems()) out.push_back(c->Caption());
  return out;
}
}  // namespace

TEST(Boards, FactoryMakesEveryBoardFromItsMenuTag) {
  struct Case {
    int tag;
    const char* cls;
    const char* caption;
    int children;
  } cases[] = {{1, "TMVS4", "0_Плата ПВС", 0}, {2, "TMPI4", "0_Плата ППИ", 4}, {3, "TMPI4", "0_Плата ППИ", 8},
               {9, "TMPI4", "0_Плата ППИ", 4}, {4, "TDI32", "0_Плата DI32", 1}, {5, "TAI16", "0_Плата AI16", 3},
               {7, "TUnio96", "0_Плата UNIO96", 4}, {15, "TDO32", "5_Плата DO32", 2}};
  for (const auto& c : cases) {
    TDocument d;
    TItemPlace place;
    auto item = DefaultFactory().MakeFromMenu(c.tag, &place);
    ASSERT_TRUE(item) << c.tag;
    EXPECT_EQ(place, TItemPlace::Board);
    TNode* n = d.Tree().Add(d.Tree().Root(), std::move(item));
    EXPECT_STREQ(n->Item()->ClassName(), c.cls);
    EXPECT_EQ(n->caption, c.caption);
    EXPECT_EQ(n->ChildCount(), c.children) << c.tag;
  }
  EXPECT_FALSE(DefaultFactory().Make(6, TItemPlace::Board));
}

TEST(Boards, SerialChannelTimesFollowSpeedAndFraming) {
  struct Case {
    std::uint32_t speed;
    std::uint8_t parity, stop;
    int ramp, gap;
  } cases[] = {{19200, 2, 1, 3, 2}, {600, 2, 1, 40, 60}, {9600, 0, 0, 3, 3}, {1200, 0, 0, 16, 25}, {115200, 1, 1, 3, 2}};
  for (const auto& c : cases) {
    TRS232 ch;
    ch.SetSpeed(c.speed);
    ch.SetParity(c.parity);
    ch.SetStopBits(c.stop);
    EXPECT_EQ(ch.rampUp, c.ramp) << c.speed;
    EXPECT_EQ(ch.gap, c.gap) << c.speed;
  }
  TRS232 ch;
  ch.SetSpeed(0);  // a broken speed from an image does not divide by zero
  EXPECT_EQ(ch.rampUp, 3);
}

TEST(Boards, SerialBoardNumbersChannelsAndOffersThemToPorts) {
  TDocument d;
  auto* m = AddBoard<TMPI4>(d, 4);
  m->SetAddress(5);  // odd: rounded down
  EXPECT_EQ(m->number, 4);
  m->SetAddress(14);  // above 13: ignored
  EXPECT_EQ(m->number, 4);
  EXPECT_TRUE(m->addressSet.test(4) && m->addressSet.test(5) && m->addressSet.count() == 2);
  EXPECT_EQ(m->OccupiedText(), "4 - 5");
  EXPECT_EQ(Captions(m), (std::vector<std::string>{"COM_4.1 RS485", "COM_4.2 RS485", "COM_4.3 RS485", "COM_4.4 RS485"}));
  auto chans = m->Channels();
  chans[1]->SetInterface(0);
  EXPECT_EQ(chans[1]->Caption(), "COM_4.2 RS232");
  EXPECT_EQ(chans[1]->interfaces, kIfRS232);
  auto* mvs = AddBoard<TMVS4>(d);
  mvs->SetAddress(15);
  auto* di = AddBoard<TDI32>(d);
  (void)di;

  class TSerialPort : public TPort {
   public:
    TSerialPort() { name = "П"; number = 1; interfaces = kIfRS232 | kIfRS485 | kIfModem; }
    const char* ClassName() const override { return "TSerialPort"; }
    int SectionCode() const override { return 101; }
  };
  auto* port = static_cast<TPort*>(d.Tree().Add(d.ProcNode(), std::make_unique<TSerialPort>())->Item());
  auto list = port->Interfaces();
  std::vector<std::string> texts;
  for (auto& e : list) texts.push_back(e.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"", "COM_4.1 RS485", "COM_4.2 RS232", "COM_4.3 RS485", "COM_4.4 RS485",
                                             "15_Плата ПВС"}));
  port->SelectInterface(list, 2);
  EXPECT_EQ(chans[1]->BoundText(), "1_Порт П");
  EXPECT_TRUE(chans[1]->InterfaceChoosable());
  // Other boards see the serial board's pair of addresses and its interrupt as taken.
  auto used = AddressesOfOtherBoards(d, mvs);
  EXPECT_TRUE(used.test(4) && used.test(5) && used.test(0) && !used.test(15));
  EXPECT_TRUE(IrqsOfOtherBoards(d, nullptr).test(3));
}

TEST(Boards, AnalogPortsSizeTheirTables) {
  TDocument d;
  auto* ai = AddBoard<TAI16>(d);
  ai->SetAddress(4);
  TAI8* p1 = ai->Input(1);
  EXPECT_EQ(Captions(ai), (std::vector<std::string>{"Порт1_AI8", "Порт2_AI8", "Порт3_AO2"}));
  EXPECT_EQ(p1->ChannelCount(), 0);
  EXPECT_EQ(p1->Table(kSigTI), nullptr);
  p1->SetConnection(2);
  p1->SetMultiplexers(3);
  ASSERT_TRUE(p1->Table(kSigTI));
  EXPECT_EQ(p1->Table(kSigTI)->Count(), 48);
  EXPECT_EQ(p1->Table(kSigTI)->At(0)->Name(), "4_AI16.1_Порт.Пр1");
  EXPECT_EQ(p1->Table(kSigTI)->At(0)->valueWidth, 2);
  p1->SetConnection(1);
  p1->SetMultiplexers(0);
  EXPECT_EQ(p1->Table(kSigTI)->Count(), 8);
  ai->Output()->SetMode(1);
  ASSERT_TRUE(ai->Output()->Table(kSigTR));
  EXPECT_EQ(ai->Output()->Table(kSigTR)->At(1)->Name(), "4_AI16.3_Порт.Пр2");
  ai->SetAddress(6);  // the ports' tables follow the board's number
  EXPECT_EQ(p1->Table(kSigTI)->At(7)->Name(), "6_AI16.1_Порт.Пр8");
  EXPECT_EQ(ai->Output()->Table(kSigTR)->At(0)->Name(), "6_AI16.3_Порт.Пр1");
  EXPECT_EQ(d.Storage().List(kSigTI).Count(), 8);
  p1->SetConnection(0);
  EXPECT_EQ(p1->Table(kSigTI), nullptr);
  EXPECT_EQ(d.Storage().List(kSigTI).Count(), 0);
  EXPECT_EQ(p1->RangeRowHeader(1), "9 - 16");
}

TEST(Boards, UniversalPortsFollowModesAndTheirNeighbour) {
  TDocument d;
  auto* u = AddBoard<TUnio96>(d);
  u->SetAddress(2);
  TUnio24* p1 = u->Port(1);
  TUnio24* p2 = u->Port(2);
  p1->SetLinkedPort(2);
  p1->SetMode(6);
  EXPECT_EQ(p1->Tables().size(), 0u);
  EXPECT_EQ(p1->interfaces, kIfTS);
  p2->SetMode(4);
  ASSERT_TRUE(p1->Table(kSigTS));
  EXPECT_EQ(p1->Table(kSigTS)->At(0)->Name(), "2_UNIO96.1_UNIO24.Сбой ТУ");
  EXPECT_EQ(p1->Table(kSigTS)->At(1)->Name(), "2_UNIO96.1_UNIO24.Работа ТУ");
  EXPECT_EQ(p2->Table(kSigTU)->Count(), 8);
  EXPECT_EQ(p2->Table(kSigTU)->At(0)->Name(), "2_UNIO96.2_Порт.Пр1");
  EXPECT_TRUE(p2->TuTimeEnabled());
  p2->SetMode(1);  // the controlled port no longer gives commands: the control signals go
  EXPECT_EQ(p1->Tables().size(), 0u);
  EXPECT_EQ(p2->Table(kSigTU), nullptr);
  EXPECT_EQ(p2->Table(kSigTS)->Count(), 24);
  // A port without a table is written as unused.
  d.WriteRecords();
  EXPECT_EQ(p1->mode, 0);
  // Tree edits restore exactly four ports numbered 1 to 4.
  d.Tree().Delete(u->Port(3)->node);
  d.Tree().Move(u->Port(4)->node, u->node, 0);
  d.AfterEdit();
  ASSERT_EQ(u->Ports().size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(u->Ports()[static_cast<std::size_t>(i)]->number, i + 1);
  EXPECT_EQ(Captions(u)[0], "Порт1_UNIO24");
}

TEST(Boards, RenumberedUniversalBoardKeepsTheControlSignalNames) {
  TItemFactory f = HolderFactory();
  TDocument a(nullptr, &f);
  auto* u = AddBoard<TUnio96>(a);
  u->SetAddress(2);
  u->Port(2)->SetMode(4);
  u->Port(1)->SetLinkedPort(2);
  u->Port(1)->SetMode(6);
  u->SetAddress(3);
  TParams* ts = u->Port(1)->Table(kSigTS);
  ASSERT_TRUE(ts);
  ASSERT_EQ(ts->Count(), 2);
  const char* want[] = {"3_UNIO96.1_UNIO24.Сбой ТУ", "3_UNIO96.1_UNIO24.Работа ТУ"};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(ts->At(i)->Name(), want[i]);
    EXPECT_EQ(ts->At(i)->DefaultName(), want[i]);
  }
  EXPECT_EQ(u->Port(2)->Table(kSigTU)->At(0)->Name(), "3_UNIO96.2_Порт.Пр1");
  // Read back, they are the board's own names, not user renames.
  a.WriteRecords();
  TDocument b(nullptr, &f);
  ASSERT_TRUE(b.Config().SetImage(a.Config().Image()));
  b.ReadRecords(false);
  auto* ub = static_cast<TUnio96*>(b.Tree().Root()->Child(1)->Item());
  TParams* tsb = ub->Port(1)->Table(kSigTS);
  ASSERT_TRUE(tsb);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(tsb->At(i)->Name(), want[i]);
    EXPECT_FALSE(tsb->At(i)->Renamed());
  }
}

TEST(Boards, CommandBoardModesRenameEveryCommand) {
  TDocument d;
  auto* o = AddBoard<TDO32>(d);
  o->SetAddress(9);
  EXPECT_EQ(o->number, 5);
  EXPECT_TRUE(o->addressSet.test(1) && o->addressSet.test(5));
  TParams* tu = o->Table(kSigTU);
  ASSERT_EQ(tu->Count(), 15);
  EXPECT_EQ(o->Table(kSigTS)->At(1)->Name(), "5_DO32.Работа ТУ");
  tu->RenameRow(0, "Насос");
  o->SetMode(1);  // 15 → 28 commands: emptied first, no user name survives
  EXPECT_EQ(tu->Count(), 28);
  EXPECT_EQ(tu->At(0)->Name(), "5_DO32.Пр1");
  tu->RenameRow(0, "Насос");
  o->SetMode(2);
  ASSERT_EQ(tu->Count(), 112);
  EXPECT_EQ(tu->At(0)->Name(), "5_DO32.Гр1_Пр1");
  EXPECT_EQ(tu->At(17)->Name(), "5_DO32.Гр2_Пр2");
  EXPECT_EQ(tu->At(111)->Name(), "5_DO32.Гр7_Пр16");
  o->SetMode(4);  // 96 rows
  tu->RenameRow(3, "Задвижка");
  o->SetMode(3);  // same count: names are kept
  EXPECT_EQ(tu->Count(), 96);
  EXPECT_EQ(tu->At(3)->Name(), "5_DO32.Задвижка");
}

TEST(Boards, EveryBoardSurvivesWriteAndRead) {
  TDocument a;
  auto* mvs = AddBoard<TMVS4>(a);
  mvs->SetAddress(12);
  mvs->modulation = 0;
  mvs->freq0 = 1300;
  mvs->freq1 = 2100;
  mvs->speed = 1200;
  mvs->startSignal = 50;
  mvs->offDelay = 7;
  mvs->noiseCut = 33;
  mvs->pulse1 = 40;
  mvs->pulse2 = 80;
  auto* mpi = AddBoard<TMPI4>(a, 8);
  mpi->SetAddress(2);
  mpi->irq = 5;
  auto ch = mpi->Channels();
  ch[7]->SetInterface(0);
  ch[7]->SetSpeed(19200);
  ch[7]->SetParity(2);
  ch[6]->tcpPort = 4001;
  ch[6]->offDelay = 9;
  auto* di = AddBoard<TDI32>(a);
  di->SetAddress(3);
  di->SetDebounce(0);
  di->Table(kSigTS)->RenameRow(4, "Ввод");
  di->Table(kSigTS)->At(6)->inversion = 4;
  di->Table(kSigTS)->SetPairKind(8, 1);
  auto* ai = AddBoard<TAI16>(a);
  ai->SetAddress(7);
  ai->filterTime = 120;
  ai->Input(2)->SetConnection(2);
  ai->Input(2)->SetMultiplexers(1);
  ai->Input(2)->zeroOffset = -12;
  ai->Input(2)->ranges[5] = 1;
  ai->Input(2)->Table(kSigTI)->AcceptTI(3, 0.25f, -4, "");
  ai->Input(2)->Table(kSigTI)->RenameRow(3, "Ток");
  ai->Output()->SetMode(1);
  ai->Output()->riseTime = {100, 2000};
  auto* un = AddBoard<TUnio96>(a);
  un->SetAddress(9);
  un->debounce = 3;
  un->Port(1)->SetLinkedPort(3);
  un->Port(1)->SetMode(6);
  un->Port(3)->SetMode(7);
  un->Port(3)->tuTime = 5000;
  un->Port(4)->SetMode(1);
  un->Port(1)->Table(kSigTS)->RenameRow(1, "Исправность");
  un->Port(3)->Table(kSigTU)->RenameRow(21, "Последняя");
  auto* dout = AddBoard<TDO32>(a);
  dout->SetMode(2);
  dout->tuTime = 700;
  dout->Table(kSigTU)->RenameRow(100, "Гр7_Дальняя");
  a.WriteRecords();

  TRecordedMessages msgs;
  TDocument b(&msgs);
  ASSERT_TRUE(b.Config().SetImage(a.Config().Image()));
  b.ReadRecords(false);
  EXPECT_TRUE(msgs.errors.empty());
  EXPECT_EQ(b.Dump(), a.Dump());
  // A few values the dump shows, checked directly.
  auto* mpi2 = static_cast<TMPI4*>(b.Tree().Root()->Child(2)->Item());
  EXPECT_EQ(mpi2->ChannelCount(), 8);
  EXPECT_EQ(mpi2->Channels()[7]->Caption(), "COM_2.8 RS232");
  EXPECT_EQ(mpi2->Channels()[7]->rampUp, 3);
  auto* un2 = static_cast<TUnio96*>(b.Tree().Root()->Child(5)->Item());
  EXPECT_EQ(un2->Port(1)->Table(kSigTS)->At(1)->Name(), "9_UNIO96.1_UNIO24.Исправность");
  auto* ai2 = static_cast<TAI16*>(b.Tree().Root()->Child(4)->Item());
  EXPECT_EQ(ai2->Input(2)->zeroOffset, -12);
  EXPECT_NE(b.Dump().find(". zeroOffset = -12\n"), std::string::npos);  // with its sign in the dump
  EXPECT_FLOAT_EQ(ai2->Input(2)->Table(kSigTI)->At(3)->offset, -4);
  // The universal port writes layout version 2 and reads it back without complaint.
  std::size_t at = FindSectionCode(a.Config().Image(), 201);
  EXPECT_EQ(a.Config().Image()[at + 16], 2);
}

TEST(Boards, NewerVersionsKeepDefaults) {
  // A UNIO24 section of version 3 and a DI32 of version 2: messages, defaults kept.
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(2, {3}).Ent(3, {1}).End();
  r.Sec(7).Ent(48, {1}).Ent(1, {2});
  r.Sec(201).Ent(48, {3}).Ent(8, {1}).End();
  r.Sec(201).Ent(48, {2}).Ent(8, {4}).End();
  r.End();
  r.Sec(4).Ent(48, {2}).Ent(1, {3}).End();
  r.Sec(100).Ent(48, {1}).End();
  TRecordedMessages msgs;
  TDocument d(&msgs);
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  EXPECT_EQ(msgs.errors,
            (std::vector<std::string>{"Новая версия UNIO24", "Новая версия DI32", kKeptSectionsMessage}));
  auto* u = static_cast<TUnio96*>(d.Tree().Root()->Child(1)->Item());
  EXPECT_EQ(u->Port(1)->mode, 0);
  EXPECT_EQ(u->Port(2)->mode, 4);
  auto* di = static_cast<TDI32*>(d.Tree().Root()->Child(2)->Item());
  EXPECT_EQ(di->number, 0);
  EXPECT_EQ(di->Table(kSigTS)->At(0)->Name(), "0_DI32.Пр1");
  // Both newer sections go back as they came, the port's inside its board's section.
  EXPECT_TRUE(u->Port(1)->ReadOnly());
  EXPECT_FALSE(u->Port(2)->ReadOnly());
  EXPECT_TRUE(di->Table(kSigTS)->ReadOnly());
  const auto in = r.Image();
  d.WriteRecords();
  const auto& out = d.Config().Image();
  for (int code : {201, 4}) {
    std::size_t from = code == 201 ? FindSectionCode(in, 201) : FindSectionCode(in, 4);
    std::size_t len = in[from + 4];
    std::vector<std::uint8_t> want(in.begin() + from, in.begin() + from + len);
    EXPECT_NE(std::search(out.begin(), out.end(), want.begin(), want.end()), out.end()) << code;
  }
}

TEST(Boards, OldShortRecordImages) {
  auto u16 = [](std::uint16_t v) { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; };
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(1, {7, 0}).SEnt(2, {6}).SEnt(3, {1}).SEnd();
  // Modem: number 11, frequency modulation, phase keys in the old order.
  r.SSec(1).SEnt(48, {1}).SEnt(1, {11}).SEnt(8, {0}).SEnt(22, u16(1500)).SEnt(23, u16(2500)).SEnt(6, u16(600))
      .SEnt(60, {25}).SEnt(24, u16(30)).SEnt(25, {4}).SEnt(26, {44}).SEnd();
  // Serial board at 6 (four channels; the second RS-232 at 1200, 2 stop bits, no TCP port).
  r.SSec(9).SEnt(48, {1}).SEnt(1, {6}).SEnt(9, {4});
  r.SSec(200).SEnt(48, {1}).SEnt(5, {0}).SEnt(6, {0x80, 0x25, 0, 0}).SEnd();
  r.SSec(200).SEnt(48, {1}).SEnt(6, {0xB0, 0x04, 0, 0}).SEnt(7, {1}).SEnt(8, {0}).SEnt(40, {0xFF}).SEnt(39, {9})
      .SEnt(24, {5}).SEnt(25, {6}).SEnd();
  r.SSec(99).SEnd();  // a foreign section in the third channel's place
  r.SSec(200).SEnt(48, {1}).SEnt(7, {2}).SEnd();
  r.SEnd();
  // DI32 at 3, debounce in 4 bytes, base 2: names go to legacy ТС 8..39.
  r.SSec(4).SEnt(48, {1}).SEnt(1, {3}).SEnt(17, {1, 9, 9, 9}).SEnt(10, {2}).SEnd();
  // AI16 at 4: port 1 single-ended with 1 multiplexer at base 1, port 2 differential at base 5;
  // AO2 at base 3.
  std::vector<std::uint8_t> ranges(512, 0);
  ranges[0] = 2;
  ranges[256 + 1] = 1;
  r.SSec(5).SEnt(48, {1}).SEnt(1, {4}).SEnt(18, {60}).SEnt(46, {1, 0, 1, 4, 5, 1, 0, 1})
      .SEnt(42, {0xF6, 0xFF, 3, 0}).SEnt(21, ranges).SEnt(52, {10, 0, 20, 0}).SEnt(51, {3}).SEnd();
  // UNIO96 at 8: port 1 old mode 5 (now 4: 8 ТУ), port 2 old mode 7 (now 6) controlling port 1,
  // port 3 mode 1 with controlled port 0 (becomes 1); port 4 missing.
  r.SSec(7).SEnt(48, {1}).SEnt(1, {8}).SEnt(17, {1}).SEnt(19, u16(3000));
  r.SSec(201).SEnt(48, {2}).SEnt(8, {5}).SEnt(72, {1}).SEnt(10, {4}).SEnd();
  r.SSec(201).SEnt(48, {1}).SEnt(8, {7}).SEnt(72, {1}).SEnt(10, {6}).SEnd();
  r.SSec(201).SEnt(48, {1}).SEnt(8, {1}).SEnt(72, {0}).SEnt(10, {7}).SEnd();
  r.SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();

  TRecordedMessages msgs;
  TDocument d(&msgs);
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  ASSERT_TRUE(d.Config().LooksShort());
  d.ReadRecords(true);
  EXPECT_TRUE(msgs.errors.empty());
  TNode* root = d.Tree().Root();
  ASSERT_EQ(root->ChildCount(), 6);

  auto* mvs = static_cast<TMVS4*>(root->Child(1)->Item());
  EXPECT_EQ(mvs->number, 11);
  EXPECT_EQ(mvs->modulation, 0);
  EXPECT_EQ(mvs->freq0, 1500);
  EXPECT_EQ(mvs->freq1, 2500);
  EXPECT_EQ(mvs->speed, 600);
  EXPECT_EQ(mvs->pulse1, 25);
  EXPECT_EQ(mvs->startSignal, 30);
  EXPECT_EQ(mvs->offDelay, 4);
  EXPECT_EQ(mvs->noiseCut, 44);

  auto* mpi = static_cast<TMPI4*>(root->Child(2)->Item());
  EXPECT_EQ(mpi->number, 6);
  EXPECT_EQ(mpi->irq, 4);
  auto ch = mpi->Channels();
  EXPECT_EQ(ch[0]->speed, 9600u);
  EXPECT_EQ(ch[0]->Caption(), "COM_6.1 RS485");  // the board numbers its channels
  EXPECT_EQ(ch[1]->speed, 1200u);
  EXPECT_EQ(ch[1]->parity, 1);
  EXPECT_EQ(ch[1]->Caption(), "COM_6.2 RS232");
  EXPECT_EQ(ch[1]->stopBits, 1);  // bit 0 only
  EXPECT_EQ(ch[1]->gap, 9);
  EXPECT_EQ(ch[1]->rampUp, 5);
  EXPECT_EQ(ch[1]->offDelay, 6);
  EXPECT_EQ(ch[2]->parity, 0);  // foreign section: defaults
  EXPECT_EQ(ch[3]->parity, 2);

  auto* di = static_cast<TDI32*>(root->Child(3)->Item());
  EXPECT_EQ(di->number, 3);
  EXPECT_EQ(di->debounce, 1);
  TStorage& st = d.Storage();
  EXPECT_EQ(st.LegacyName(kSigTS, 8), "3_DI32.Пр1");
  EXPECT_EQ(st.LegacyName(kSigTS, 39), "3_DI32.Пр32");

  auto* ai = static_cast<TAI16*>(root->Child(4)->Item());
  EXPECT_EQ(ai->filterTime, 60);
  EXPECT_EQ(ai->Input(1)->connection, 1);
  EXPECT_EQ(ai->Input(1)->multiplexers, 1);
  EXPECT_EQ(ai->Input(1)->zeroOffset, -10);
  EXPECT_EQ(ai->Input(1)->ranges[0], 2);
  EXPECT_EQ(ai->Input(2)->connection, 2);
  EXPECT_EQ(ai->Input(2)->ChannelCount(), 4);
  EXPECT_EQ(ai->Input(2)->zeroOffset, 3);
  EXPECT_EQ(ai->Input(2)->ranges[1], 1);
  EXPECT_EQ(ai->Output()->mode, 1);
  EXPECT_EQ(ai->Output()->riseTime[1], 20);
  EXPECT_EQ(st.LegacyName(kSigTI, 0), "4_AI16.1_Порт.Пр1");
  EXPECT_EQ(st.LegacyName(kSigTI, 31), "4_AI16.1_Порт.Пр32");
  EXPECT_EQ(st.LegacyName(kSigTI, 32), "4_AI16.2_Порт.Пр1");
  EXPECT_EQ(st.LegacyWidth(32), 2);
  EXPECT_EQ(st.LegacyName(kSigTR, 17), "4_AI16.3_Порт.Пр2");

  auto* un = static_cast<TUnio96*>(root->Child(5)->Item());
  EXPECT_EQ(un->number, 8);
  EXPECT_EQ(un->tuTime, 3000);
  EXPECT_EQ(un->Port(1)->mode, 4);
  EXPECT_EQ(un->Port(1)->tuTime, 3000);
  EXPECT_EQ(un->Port(2)->mode, 6);
  EXPECT_EQ(un->Port(3)->mode, 1);
  EXPECT_EQ(un->Port(3)->linkedPort, 1);
  EXPECT_EQ(un->Port(4)->mode, 0);
  ASSERT_TRUE(un->Port(2)->Table(kSigTS));
  EXPECT_EQ(st.LegacyName(kSigTU, 24), "8_UNIO96.1_Порт.Пр1");
  EXPECT_EQ(st.LegacyName(kSigTS, 40), "8_UNIO96.2_UNIO24.Сбой ТУ");
  EXPECT_EQ(st.LegacyName(kSigTS, 48), "8_UNIO96.3_Порт.Пр1");
  EXPECT_EQ(st.LegacyCount(kSigTS), 72);
}
