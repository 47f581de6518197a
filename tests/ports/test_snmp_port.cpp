// SNMP polling port and its agents: signal names from tags, the ТИ and link-status tables,
// duplication and renumbering, sections 134 and 232 written by hand, save/reopen/save and
// damaged agent records.
#include <gtest/gtest.h>

#include <cstring>

#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "ports/image_sections.h"
#include "ports/port_menu.h"
#include "ports/port_snmp.h"
#include "ports/register.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {

struct TSnmpDoc {
  TRecordedMessages msgs;
  TDocument d{&msgs, &PortsFactory()};
  TPortSNMP* Port() { return dynamic_cast<TPortSNMP*>(AddPortFromMenu(d, 134)->Item()); }
};

std::vector<std::string> Names(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->DefaultName());
  return out;
}

std::vector<TSnmpTagPick> Picks(const std::vector<std::string>& names) {
  std::vector<TSnmpTagPick> p;
  for (std::size_t i = 0; i < names.size(); ++i)
    p.push_back({names[i], snmp::MakeSnmpOid({1, 3, 6, 1, 2, 1, 2, 2, 1, 10, static_cast<std::uint32_t>(i + 1)})});
  return p;
}

// A tag entry as the record holds it: name length, name, identifier length, identifier.
void PutTag(std::vector<std::uint8_t>& rec, const std::string& name, const std::vector<std::uint8_t>& oid) {
  rec.push_back(static_cast<std::uint8_t>(name.size()));
  rec.insert(rec.end(), name.begin(), name.end());
  rec.push_back(static_cast<std::uint8_t>(oid.size()));
  rec.insert(rec.end(), oid.begin(), oid.end());
}

std::vector<std::uint8_t> RecordHead(std::array<std::uint8_t, 4> ip, std::int32_t count) {
  std::vector<std::uint8_t> r = {0, 0, ip[0], ip[1], ip[2], ip[3], 0xA1, 0x00, 0x03, 0x00, 0x0A, 0x00};
  for (int i = 0; i < 4; ++i) r.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(count) >> (8 * i)));
  return r;
}

void AgentSection(TBytes& r, const std::string& place, const std::vector<std::uint8_t>& rec, std::uint8_t version = 1,
                  std::uint32_t announced = 0xFFFFFFFF) {
  r.Sec(232).Ent(48, {version}).Ent(77, t32test::NameField(place));
  r.Ent(60, t32test::Le32(announced == 0xFFFFFFFF ? static_cast<std::uint32_t>(rec.size()) : announced)).Ent(102, rec);
}

// Port 3 with one agent at 10.0.0.7 ("Шкаф"), an empty record: the agent has no ТИ table.
TBytes PortWithEmptyAgent(std::uint8_t portVersion = 1) {
  TBytes r = t32test::ProcessorAndIp(2);
  r.Sec(134).Ent(48, {portVersion}).Ent(1, {3}).Ent(72, {1}).Ent(24, t32test::Le16(250)).Ent(57, t32test::Le16(900));
  r.Ent(20, {1});
  t32test::SourceTable(r, 211, {"3_Порт.связь_7_RTU_Шкаф"});
  AgentSection(r, "Шкаф", RecordHead({10, 0, 0, 7}, 0));
  r.End();  // agent
  r.End();  // port
  return r;
}

}  // namespace

// --- rebuilding an agent --------------------------------------------------------------------
TEST(SnmpAgent, TagNamesBecomeUniqueSignalNames) {
  struct Case {
    std::vector<std::string> tags, rows;
  } cases[] = {
      {{"if.x", "if_x"}, {"if_x", "if_x_повтор1"}},
      {{"ifInOctets[1]", "ifInOctets[1]", "ifInOctets[1]"}, {"ifInOctets[1]", "ifInOctets[1]_повтор1", "ifInOctets[1]_повтор2"}},
      // A made name that is itself taken gets a further suffix instead of a duplicate row.
      {{"a_повтор1", "a", "a"}, {"a_повтор1", "a", "a_повтор2"}},
      {{"a", "a", "a_повтор1"}, {"a", "a_повтор1", "a_повтор1_повтор2"}},
  };
  for (const Case& c : cases) {
    TSnmpDoc m;
    TSNMP* a = m.Port()->AddAgent();
    ASSERT_TRUE(a->SetTags(Picks(c.tags)));
    a->UpdateStatusTable();
    std::vector<std::string> want;
    for (const auto& s : c.rows) want.push_back("1_Порт.0_RTU." + s);
    EXPECT_EQ(Names(a->TiTable()), want) << c.tags[0];
  }
}

TEST(SnmpAgent, TablesFollowTagsAddressAndPlace) {
  TSnmpDoc m;
  TPortSNMP* port = m.Port();
  port->SetPortNumber(3);
  EXPECT_EQ(port->Caption(), "3_Порт SNMP");
  EXPECT_EQ(port->node->image, 0);
  TSNMP* a = port->AddAgent();
  EXPECT_EQ(a->Caption(), "0_RTU");  // 192.168.1.0
  EXPECT_EQ(a->TiTable(), nullptr);
  EXPECT_EQ(a->node->image, 0);
  EXPECT_EQ(port->node->image, 2);
  const std::uint8_t ip[4] = {10, 0, 0, 7};
  a->SetAddress(ip);
  EXPECT_EQ(a->Caption(), "7_RTU");  // at once, before any rebuild
  a->SetPlace("Шкаф");
  ASSERT_TRUE(a->SetTags(Picks({"sysUpTime"})));
  a->UpdateStatusTable();
  ASSERT_NE(a->TiTable(), nullptr);
  EXPECT_EQ(a->node->Child(0)->Item(), a->TiTable());  // first child
  EXPECT_EQ(a->node->image, 28);
  EXPECT_EQ(Names(a->TiTable()), (std::vector<std::string>{"3_Порт.7_RTU.sysUpTime"}));
  EXPECT_EQ(a->TiTable()->At(0)->valueWidth, 4);
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"3_Порт.связь_7_RTU_Шкаф"}));

  // The last tag gone: the table goes too.
  ASSERT_TRUE(a->SetTags({}));
  a->UpdateStatusTable();
  EXPECT_EQ(a->TiTable(), nullptr);
  EXPECT_EQ(a->node->image, 0);

  // Renumbering the port renames the agent's signals and the link rows.
  ASSERT_TRUE(a->SetTags(Picks({"x"})));
  a->UpdateStatusTable();
  port->SetPortNumber(5);
  EXPECT_EQ(Names(a->TiTable()), (std::vector<std::string>{"5_Порт.7_RTU.x"}));
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"5_Порт.связь_7_RTU_Шкаф"}));
}

TEST(SnmpAgent, DuplicateCopiesRecordAndRowsButNotThePlace) {
  TSnmpDoc m;
  TPortSNMP* port = m.Port();
  TSNMP* a = port->AddAgent();
  const std::uint8_t ip[4] = {10, 1, 2, 9};
  a->SetAddress(ip);
  a->dev.Port = 1161;
  a->SetPlace("Щит");
  ASSERT_TRUE(a->SetTags(Picks({"a", "b"})));
  a->UpdateStatusTable();
  a->TiTable()->At(1)->gain = 2.5f;
  a->TiTable()->At(1)->group = "Г1";
  port->DuplicateChild(a);
  ASSERT_EQ(port->Devices().size(), 2u);
  auto* b = dynamic_cast<TSNMP*>(port->Devices()[1]);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Caption(), "9_RTU");
  EXPECT_EQ(b->place, "");
  EXPECT_EQ(b->dev.Port, 1161);
  EXPECT_EQ(b->Record(), a->Record());
  ASSERT_NE(b->TiTable(), nullptr);
  EXPECT_EQ(b->TiTable()->At(1)->gain, 2.5f);
  EXPECT_EQ(b->TiTable()->At(1)->group, "Г1");
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"1_Порт.связь_9_RTU_Щит", "1_Порт.связь_9_RTU"}));
}

TEST(SnmpAgent, TagLimitsRefuseOrSkipWithAMessage) {
  TSnmpDoc m;
  TSNMP* a = m.Port()->AddAgent();
  ASSERT_TRUE(a->SetTags(Picks({"keep"})));
  std::vector<TSnmpTagPick> many(TSNMP::kMaxTags + 1, TSnmpTagPick{"t", snmp::MakeSnmpOid({1, 3, 6})});
  EXPECT_FALSE(a->SetTags(many));
  EXPECT_EQ(a->dev.Tags.Count(), 1u);  // unchanged
  EXPECT_EQ(m.msgs.errors.size(), 1u);

  // Twenty arcs of 65535 need far more than 32 octets.
  snmp::TSnmpOid longOid = snmp::MakeSnmpOid({1, 3});
  for (int i = 0; i < 18; ++i) longOid.Append(65535);
  m.msgs.errors.clear();
  std::string longName(80, 'n');
  ASSERT_TRUE(a->SetTags({{"big", longOid}, {longName, snmp::MakeSnmpOid({1, 3, 6, 1})}}));
  ASSERT_EQ(a->dev.Tags.Count(), 1u);
  EXPECT_EQ(a->dev.Tags.Items[0]->Name, std::string(63, 'n'));
  ASSERT_EQ(m.msgs.errors.size(), 1u);
  EXPECT_NE(m.msgs.errors[0].find("big"), std::string::npos);
}

// --- image ------------------------------------------------------------------------------------
TEST(SnmpImage, HandMadePortReadsAndWritesBackIdentically) {
  TSnmpDoc m;
  TBytes r = PortWithEmptyAgent();
  ASSERT_TRUE(t32test::Read(m.d, r));
  EXPECT_TRUE(m.msgs.errors.empty());
  auto* port = dynamic_cast<TPortSNMP*>(m.d.ProcNode()->Child(1)->Item());
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->number, 3);
  EXPECT_EQ(port->pollPeriod, 250);  // kept as read: no editor
  EXPECT_EQ(port->replyWait, 900);
  ASSERT_EQ(port->Devices().size(), 1u);
  auto* a = dynamic_cast<TSNMP*>(port->Devices()[0]);
  EXPECT_EQ(a->Caption(), "7_RTU");
  EXPECT_EQ(a->place, "Шкаф");
  EXPECT_EQ(a->TiTable(), nullptr);
  std::vector<std::uint8_t> img = t32test::Written(m.d);
  EXPECT_EQ(t32test::SectionBytes(img, 134), t32test::SectionBytes(r.Image(), 134));
  std::size_t at = t32test::FindSectionCode(img, 134);
  EXPECT_EQ(t32test::EntryKeys(img, at), (std::vector<int>{48, 1, 72, 24, 57, 20}));
  EXPECT_EQ(t32test::EntryKeys(img, t32test::FindSectionCode(img, 232, at)), (std::vector<int>{48, 77, 60, 102}));
}

TEST(SnmpImage, AgentWithTwoTagsByHandThenSaveReopenSave) {
  std::vector<std::uint8_t> rec = RecordHead({192, 168, 5, 20}, 2);
  PutTag(rec, "sysDescr", {0x2B, 6, 1, 2, 1, 1, 1, 0});
  PutTag(rec, "ifInOctets[2]", {0x2B, 6, 1, 2, 1, 2, 2, 1, 10, 2});
  TBytes r = t32test::ProcessorAndIp(2);
  r.Sec(134).Ent(48, {1}).Ent(1, {1}).Ent(72, {1}).Ent(24, t32test::Le16(200)).Ent(57, t32test::Le16(500)).Ent(20, {1});
  AgentSection(r, "", rec);
  r.End();
  r.End();
  TSnmpDoc m;
  ASSERT_TRUE(t32test::Read(m.d, r));
  EXPECT_TRUE(m.msgs.errors.empty());
  auto* port = dynamic_cast<TPortSNMP*>(m.d.ProcNode()->Child(1)->Item());
  ASSERT_NE(port, nullptr);
  auto* a = dynamic_cast<TSNMP*>(port->Devices().at(0));
  ASSERT_EQ(a->dev.Tags.Count(), 2u);
  snmp::TSnmpOid oid;
  ASSERT_TRUE(a->dev.Tags.Items[1]->GetOid(oid));
  EXPECT_EQ(snmp::SnmpOidToString(oid), "1.3.6.1.2.1.2.2.1.10.2");
  EXPECT_EQ(Names(a->TiTable()), (std::vector<std::string>{"1_Порт.20_RTU.sysDescr", "1_Порт.20_RTU.ifInOctets[2]"}));
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"1_Порт.связь_20_RTU"}));
  EXPECT_EQ(a->Record(), rec);

  a->TiTable()->At(0)->gain = 0.5f;
  std::vector<std::uint8_t> first = t32test::Written(m.d);
  std::string dump = m.d.Dump();
  EXPECT_NE(dump.find("tag ifInOctets[2] = 1.3.6.1.2.1.2.2.1.10.2"), std::string::npos);
  TSnmpDoc again;
  ASSERT_TRUE(again.d.Config().SetImage(first));
  again.d.ReadRecords(false);
  EXPECT_TRUE(again.msgs.errors.empty());
  EXPECT_EQ(t32test::Written(again.d), first);
  EXPECT_EQ(again.d.Dump(), dump);
}

TEST(SnmpImage, NewerLayoutStopsWithMessage) {
  {
    TSnmpDoc m;
    ASSERT_TRUE(t32test::Read(m.d, PortWithEmptyAgent(2)));
    ASSERT_FALSE(m.msgs.errors.empty());
    EXPECT_EQ(m.msgs.errors[0], "Новая версия SNMP");
  }
  TBytes r;
  AgentSection(r, "", RecordHead({1, 2, 3, 4}, 0), 2);
  r.End();
  TConfig c;
  ASSERT_TRUE(c.SetImage(r.Image()));
  c.Pos = TConfig::kDataStart;
  TSnmpDoc m;
  TSNMP* a = m.Port()->AddAgent();
  a->LoadFromImage(c);
  ASSERT_EQ(m.msgs.errors.size(), 1u);
  EXPECT_EQ(m.msgs.errors[0], "Новая версия RTU");
  EXPECT_EQ(a->Caption(), "0_RTU");
}

TEST(SnmpImage, DamagedRecordsGiveAMessageAndKeepWhatWasRead) {
  auto good = [] {
    std::vector<std::uint8_t> rec = RecordHead({10, 0, 0, 3}, 2);
    PutTag(rec, "ok", {0x2B, 6, 1});
    return rec;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> rec;
    std::uint32_t announced;
    std::size_t tagsKept;
  };
  std::vector<Case> cases;
  {
    auto rec = good();
    PutTag(rec, "bad", std::vector<std::uint8_t>(200, 1));  // OidLength 200
    cases.push_back({"oid length 200", rec, 0xFFFFFFFF, 1});
  }
  {
    auto rec = RecordHead({10, 0, 0, 3}, -1);
    cases.push_back({"count -1", rec, 0xFFFFFFFF, 0});
  }
  {
    auto rec = RecordHead({10, 0, 0, 3}, 1000000);
    PutTag(rec, "ok", {0x2B, 6, 1});
    cases.push_back({"count 10^6", rec, 0xFFFFFFFF, 0});  // refused before any tag is read
  }
  {
    auto rec = good();
    PutTag(rec, std::string(64, 'x'), {0x2B});
    cases.push_back({"name of 64", rec, 0xFFFFFFFF, 1});
  }
  {
    auto rec = good();
    PutTag(rec, "cut", {0x2B, 6, 1});
    cases.push_back({"length key beyond the entry", rec, 5000000, 2});
    cases.push_back({"length key short of the entry", rec, 16 + 7, 1});
  }
  for (const Case& k : cases) {
    TBytes r = t32test::ProcessorAndIp(2);
    r.Sec(134).Ent(48, {1}).Ent(1, {1}).Ent(72, {1}).Ent(24, t32test::Le16(200)).Ent(57, t32test::Le16(500)).Ent(20, {1});
    AgentSection(r, "", k.rec, 1, k.announced);
    r.End();
    r.End();
    TSnmpDoc m;
    ASSERT_TRUE(t32test::Read(m.d, r));
    auto* port = dynamic_cast<TPortSNMP*>(m.d.ProcNode()->Child(1)->Item());
    ASSERT_NE(port, nullptr) << k.what;
    auto* a = dynamic_cast<TSNMP*>(port->Devices().at(0));
    EXPECT_EQ(a->Caption(), "3_RTU") << k.what;
    EXPECT_EQ(a->dev.Tags.Count(), k.tagsKept) << k.what;
    if (k.tagsKept == 2) {
      EXPECT_TRUE(m.msgs.errors.empty()) << k.what;
    } else {
      ASSERT_EQ(m.msgs.errors.size(), 1u) << k.what;
      EXPECT_NE(m.msgs.errors[0].find("10.0.0.3"), std::string::npos) << k.what;
    }
  }
}

// --- JSON ---------------------------------------------------------------------------------------
TEST(SnmpJson, AgentRecordAsPartsRoundTripsAndEditsReachTheImage) {
  TSnmpDoc m;
  TPortSNMP* port = m.Port();
  TSNMP* a = port->AddAgent();
  ASSERT_TRUE(a->SetTags(Picks({"ifInOctets[1]", "Счётчик"})));
  a->UpdateStatusTable();
  TSNMP* b = port->AddAgent();
  // Identifier octets that end inside an arc cannot be shown as text: that record stays hex.
  snmp::TSNMP_Tag& odd = b->dev.Tags.Add();
  odd.Name = "odd";
  odd.OidBytes[0] = 0x2B;
  odd.OidBytes[1] = 0x86;
  odd.OidLength = 2;
  b->UpdateStatusTable();
  std::string json = ExportJson(m.d, TCpu::Cpu927);
  std::vector<std::uint8_t> first = t32test::Written(m.d);
  std::string dump = m.d.Dump();
  EXPECT_NE(json.find("\"oid\": \"1.3.6.1.2.1.2.2.1.10.1\""), std::string::npos);
  EXPECT_NE(json.find("\"name\": \"Счётчик\""), std::string::npos);
  EXPECT_NE(json.find("\"hex\": \"00 00 C0 A8 01 00"), std::string::npos);

  TSnmpDoc again;
  TCpu cpu{};
  std::string err;
  ASSERT_TRUE(ImportJson(again.d, json, &cpu, &err)) << err;
  again.d.extendedFormat = m.d.extendedFormat;
  std::vector<std::uint8_t> second = t32test::Written(again.d);
  EXPECT_EQ(second, first);
  EXPECT_EQ(again.d.Dump(), dump);

  // An edited OID (longer than before) reaches the image, and the length entry follows.
  std::string edited = json;
  std::size_t at = edited.find("1.3.6.1.2.1.2.2.1.10.1");
  edited.replace(at, 22, "1.3.6.1.4.1.2021.10.1.3.1");
  TSnmpDoc third;
  ASSERT_TRUE(ImportJson(third.d, edited, &cpu, &err)) << err;
  EXPECT_TRUE(third.msgs.errors.empty());
  auto* p3 = dynamic_cast<TPortSNMP*>(third.d.ProcNode()->Child(1)->Item());
  ASSERT_NE(p3, nullptr);
  auto* a3 = dynamic_cast<TSNMP*>(p3->Devices().at(0));
  ASSERT_EQ(a3->dev.Tags.Count(), 2u);
  snmp::TSnmpOid oid;
  ASSERT_TRUE(a3->dev.Tags.Items[0]->GetOid(oid));
  EXPECT_EQ(snmp::SnmpOidToString(oid), "1.3.6.1.4.1.2021.10.1.3.1");

  // A bad OID is refused with the key named.
  std::string bad = json;
  bad.replace(bad.find("1.3.6.1.2.1.2.2.1.10.1"), 22, "1..3");
  TSnmpDoc fourth;
  EXPECT_FALSE(ImportJson(fourth.d, bad, &cpu, &err));
  EXPECT_NE(err.find("OID"), std::string::npos);
}
