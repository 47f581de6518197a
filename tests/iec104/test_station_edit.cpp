// The station editor's rules as model operations: one table of edits on a small station.
#include <gtest/gtest.h>

#include <functional>

#include "iec104/station.h"
#include "model/messages.h"

using namespace t32;

namespace {

struct Fixture {
  TWS_104 st;
  TRecordedMessages m;
  TGroup* ti;     // ТИ objects A@10 (scale 2.5), B@11, C@12, D@13, E@41
  TGroup* ts;     // ТС, empty
  TGroup* none;   // no kind
  TObjectClipboard clip;
  Fixture() {
    st.messages = &m;
    ti = Group("ТИ", kKindTI);
    ts = Group("ТС", kKindTS);
    none = Group("нет", 0);
    const char* names[] = {"A", "B", "C", "D", "E"};
    const int addrs[] = {10, 11, 12, 13, 41};
    for (int i = 0; i < 5; ++i) {
      auto o = CreateObject(kKindTI, names[i]);
      o->address = addrs[i];
      if (i == 0) static_cast<TTIitem&>(*o).scale = 2.5f;
      ti->AddObject(std::move(o));
    }
  }
  TGroup* Group(const char* name, std::int32_t kind) {
    auto g = std::make_unique<TGroup>(3);
    g->name = name;
    g->record.kind = kind;
    g->record.sendType = 9;
    return st.AddChild(std::move(g));
  }
};

// "KIND:name@address" per object; measurement objects add their scale when it is not 1.
std::string Rows(const TConfigItem& n) {
  std::string r;
  for (const auto& o : n.Objects()) {
    if (!r.empty()) r += ' ';
    r += std::string(KindShortName(o->kind)) + ":" + o->name + "@" + std::to_string(o->address);
    if (o->Family() == TFamily::kMeasure && static_cast<const TTIitem&>(*o).scale != 1.0f)
      r += "*" + std::to_string(static_cast<const TTIitem&>(*o).scale).substr(0, 3);
    if (o->tick) r += "+";
  }
  return r;
}

std::string Groups(const TConfigItem& n) {
  std::string r;
  for (const auto& g : n.Children())
    r += (r.empty() ? "" : " ") + g->name + "@" + std::to_string(g->record.baseAddress) + "[" + Rows(*g) + "]";
  return r;
}

std::string Errors(const TRecordedMessages& m) {
  std::string r;
  for (const auto& e : m.errors) r += (r.empty() ? "" : " | ") + e;
  return r;
}

}  // namespace

TEST(StationEdit, EditorRules) {
  struct Case {
    const char* what;
    std::function<std::string(Fixture&)> act;
    std::string want;
  } cases[] = {
      {"clone A: пар.%%, 3, counter 5 step 2, address 10 step 4",
       [](Fixture& f) {
         TCloneParams p = TWS_104::DefaultObjectClone(*f.ti->Objects()[0]);
         EXPECT_EQ(p.nameTemplate, "пар.%%");
         EXPECT_EQ(p.addressStart, 10);
         p.count = 3, p.counterStart = 5, p.counterStep = 2, p.addressStep = 4;
         EXPECT_EQ(f.st.CloneObjects(*f.ti, 0, p), 3);
         return Rows(*f.ti);
       },
       "TI:A@10*2.5 TI:B@11 TI:C@12 TI:D@13 TI:E@41 TI:пар.5@10*2.5 TI:пар.7@14*2.5 TI:пар.9@18*2.5"},
      {"paste ТИ objects into a ТС group",
       [](Fixture& f) {
         f.st.CopyObjects(*f.ti, {1, 0}, f.clip);
         EXPECT_EQ(f.st.PasteObjects(*f.ts, f.clip), 2);
         return Rows(*f.ts) + " " + f.ts->Objects()[0]->ClassName();
       },
       "TS:A@10 TS:B@11 TTSitem"},
      {"add to an empty group, then to one ending at 41",
       [](Fixture& f) {
         auto a = f.st.NewObject(*f.ts);
         auto b = f.st.NewObject(*f.ti);
         EXPECT_EQ(f.st.NewObject(*f.none), nullptr);
         std::string r = a->name + "@" + std::to_string(a->address) + " " + b->ClassName() + "@" +
                         std::to_string(b->address);
         f.st.AppendObject(*f.ti, std::move(b));
         return r + " " + std::to_string(f.ti->Objects().back()->owner == f.ti);
       },
       "Tag0001@0 TTIitem@42 1"},
      {"default names skip names in use",
       [](Fixture& f) {
         f.ts->AddObject(CreateObject(kKindTS, "Tag0001"));
         f.st.AddChild(std::make_unique<TGroup>(3))->name = "группа0001";
         auto g = f.st.NewGroup(f.st);
         return f.st.NewObject(*f.ts)->name + " " + g->name + " " + std::to_string(g->level);
       },
       "Tag0002 группа0002 3"},
      {"the station and its built-in objects are not removed",
       [](Fixture& f) {
         EXPECT_FALSE(f.st.RemoveGroup(nullptr));
         EXPECT_EQ(f.st.RemoveObjects(f.st, {0, 1}), 0);
         EXPECT_EQ(f.st.CutObjects(f.st, {0, 1}, f.clip), 0);
         EXPECT_FALSE(f.st.MoveObject(f.st, 1, 0));
         EXPECT_TRUE(f.st.RemoveGroup(f.none));
         return Rows(f.st) + " " + std::to_string(f.clip.size()) + " " + std::to_string(f.st.Children().size());
       },
       "TS32:состояние связи@0+ TR:опрос@0+ 0 2"},
      {"drag row 2 onto row 5",
       [](Fixture& f) {
         f.st.MoveObject(*f.ti, 1, 4);
         return Rows(*f.ti);
       },
       "TI:A@10*2.5 TI:C@12 TI:D@13 TI:E@41 TI:B@11"},
      {"drag row 5 onto row 2",
       [](Fixture& f) {
         f.st.MoveObject(*f.ti, 4, 1);
         return Rows(*f.ti);
       },
       "TI:A@10*2.5 TI:E@41 TI:B@11 TI:C@12 TI:D@13"},
      {"drop below the last row",
       [](Fixture& f) {
         f.st.MoveObject(*f.ti, 0, 99);
         return Rows(*f.ti);
       },
       "TI:B@11 TI:C@12 TI:D@13 TI:E@41 TI:A@10*2.5"},
      {"cut, then paste at the end",
       [](Fixture& f) {
         EXPECT_EQ(f.st.CutObjects(*f.ti, {2, 1, 2, 17}, f.clip), 2);
         std::string cut = Rows(*f.ti);
         f.st.PasteObjects(*f.ti, f.clip);
         return cut + " / " + Rows(*f.ti);
       },
       "TI:A@10*2.5 TI:D@13 TI:E@41 / TI:A@10*2.5 TI:D@13 TI:E@41 TI:B@11 TI:C@12"},
      {"nothing is pasted into the station or a group without a kind",
       [](Fixture& f) {
         f.st.CopyObjects(*f.ti, {0}, f.clip);
         return std::to_string(f.st.PasteObjects(f.st, f.clip)) + std::to_string(f.st.PasteObjects(*f.none, f.clip)) +
                " " + Rows(f.st);
       },
       "00 TS32:состояние связи@0+ TR:опрос@0+"},
      {"untick all keeps the built-in objects ticked",
       [](Fixture& f) {
         f.st.TickAll();
         f.st.UntickAll();
         f.st.TickRows(*f.ti, {1}, true);
         f.st.TickRows(f.st, {0}, false);
         return Rows(f.st) + " " + Rows(*f.ti);
       },
       "TS32:состояние связи@0+ TR:опрос@0+ TI:A@10*2.5 TI:B@11+ TI:C@12 TI:D@13 TI:E@41"},
      {"clone past 1 MiB is refused",
       [](Fixture& f) {
         TCloneParams p = TWS_104::DefaultObjectClone(*f.ti->Objects()[0]);
         p.count = 60000;
         p.addressStep = 0;
         p.nameTemplate = "длинное имя параметра %%";
         EXPECT_EQ(f.st.CloneObjects(*f.ti, 0, p), 0);
         p.count = 1LL << 40;
         EXPECT_EQ(f.st.CloneObjects(*f.ti, 0, p), 0);
         return Errors(f.m) + " " + std::to_string(f.ti->Objects().size());
       },
       std::string(kStationTooLarge) + " | " + kStationTooLarge + " 5"},
      {"clone addresses past the address range are refused",
       [](Fixture& f) {
         TCloneParams p = TWS_104::DefaultObjectClone(*f.ti->Objects()[0]);
         p.count = 2;
         p.addressStart = 16777215;
         EXPECT_EQ(f.st.CloneObjects(*f.ti, 0, p), 0);
         p.addressStart = 0;
         p.addressStep = 1LL << 62;
         EXPECT_EQ(f.st.CloneObjects(*f.ti, 0, p), 0);
         return Errors(f.m) + " " + std::to_string(f.ti->Objects().size());
       },
       "Адреса должны быть в пределах 0..16777215: операция отменена | Адреса должны быть в пределах 0..16777215: "
       "операция отменена 5"},
      {"clone a group: record and name, not its content",
       [](Fixture& f) {
         TCloneParams p = TWS_104::DefaultGroupClone();
         EXPECT_EQ(p.nameTemplate, "Гр.%%");
         p.count = 2;
         p.addressStart = 100;
         p.addressStep = 50;
         EXPECT_EQ(f.st.CloneGroup(*f.ti, p), 2);
         return Groups(f.st) + " " + std::to_string(f.st.Children().back()->record.kind);
       },
       "ТИ@0[TI:A@10*2.5 TI:B@11 TI:C@12 TI:D@13 TI:E@41] ТС@0[] нет@0[] Гр.1@100[] Гр.2@150[] 1009"},
      {"groups nest at most 64 deep",
       [](Fixture& f) {
         TConfigItem* p = f.ts;
         for (int d = 2; d <= 64; ++d) p = f.st.AppendGroup(*p, f.st.NewGroup(*p));
         EXPECT_EQ(p->Depth(), 64);
         EXPECT_EQ(f.st.AppendGroup(*p, f.st.NewGroup(*p)), nullptr);
         // A subtree is measured whole: two levels do not fit under depth 63.
         auto two = f.st.NewGroup(*p->Parent());
         two->AddChild(std::make_unique<TGroup>(3));
         EXPECT_EQ(f.st.AppendGroup(*p->Parent(), std::move(two)), nullptr);
         return Errors(f.m);
       },
       "Вложенность групп не может быть больше 64: операция отменена | Вложенность групп не может быть больше 64: "
       "операция отменена"},
      {"a kind change converts the objects, then resets the send type",
       [](Fixture& f) {
         EXPECT_FALSE(f.st.SetGroupKind(*f.ti, 0));
         EXPECT_EQ(f.ti->record.sendType, 9);
         EXPECT_TRUE(f.st.SetGroupKind(*f.ti, kKindCounter));
         return Rows(*f.ti) + " " + std::to_string(f.ti->record.sendType) + " " + f.ti->Objects()[0]->ClassName();
       },
       "ТII:A@10*2.5 ТII:B@11 ТII:C@12 ТII:D@13 ТII:E@41 0 TCounterItem"},
  };
  for (const Case& c : cases) {
    Fixture f;
    EXPECT_EQ(c.act(f), c.want) << c.what;
  }
}

TEST(StationEdit, PathNamesCaptionAndTickedList) {
  TWS_104 st;
  EXPECT_EQ(st.Caption(), "0.0.0.0");
  st.main.remoteIp = {192, 168, 1, 7};
  EXPECT_EQ(st.Caption(), "192.168.1.7");
  st.name = "ПС";
  EXPECT_EQ(st.Caption(), "ПС");
  TGroup* a = st.AddChild(std::make_unique<TGroup>(3));
  a->name = "Подстанция";
  TGroup* b = a->AddChild(std::make_unique<TGroup>(3));
  b->name = "Вводы";
  b->record.baseAddress = 1000;
  b->record.kind = kKindTS;
  TPProcItem* q1 = b->AddObject(CreateObject(kKindTS, "Q1"));
  q1->address = 5;
  q1->tick = 1;
  a->record.kind = kKindTS;
  a->AddObject(CreateObject(kKindTS, "A1"))->tick = 1;
  a->AddObject(CreateObject(kKindTS, "A2"));
  std::vector<std::pair<std::string, TPProcItem*>> list{{"stale", nullptr}};
  st.ListTicked(list);
  std::string got;
  for (const auto& [path, obj] : list) got += path + "=" + TWS_104::AddressText(*obj) + ";";
  EXPECT_EQ(got, "состояние связи=0 [0000h];опрос=0 [0000h];Подстанция.A1=0 [0000h];Подстанция.Вводы.Q1=5 [03edh];");
}
