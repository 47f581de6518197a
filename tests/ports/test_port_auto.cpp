// The automation port: names imported from the automation tools' list (file order, repeats),
// the export of the input lists into an existing file, its section by hand and bad counts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/image_sections.h"
#include "ports/port_auto.h"
#include "ports/port_menu.h"
#include "ports/register.h"

using namespace t32;
using namespace t32test;

namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("t32auto." + std::to_string(::getpid()) + "." + std::to_string(rand()));
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const char* name) const { return (path / name).string(); }
};

TPortAuto* AddAuto(TDocument& d) {
  TNode* n = AddPortFromMenu(d, 117);
  return n ? dynamic_cast<TPortAuto*>(n->Item()) : nullptr;
}

std::vector<std::string> RowNames(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->Name());
  return out;
}

}  // namespace

TEST(AutomationPort, ImportKeepsFileOrderAndDropsRepeatedCommands) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortAuto* p = AddAuto(d);
  ASSERT_NE(p, nullptr);
  std::string text = Utf8ToCp1251(
      "; made by the automation tools\r\n"
      "[TS_out]\r\n2=Авария\r\n1=Пуск\r\n1=Авария\r\n"
      "[other]\r\nx=y\r\n"
      "[tu_OUT]\r\n 5 = Вкл Q1 \r\n6=Откл Q1\r\n7=Вкл Q1\r\n");
  std::string err;
  ASSERT_TRUE(p->ImportText(text, &err)) << err;
  EXPECT_EQ(p->tsNames, (std::vector<std::string>{"Авария", "Пуск", "Авария"}));
  EXPECT_EQ(p->tuNames, (std::vector<std::string>{"Вкл Q1", "Откл Q1"}));
  ASSERT_EQ(p->node->ChildCount(), 2);
  auto* ts = dynamic_cast<TParams*>(p->node->Child(0)->Item());
  auto* tu = dynamic_cast<TParams*>(p->node->Child(1)->Item());
  ASSERT_TRUE(ts && tu);
  EXPECT_EQ(ts->Type(), kSigTS);
  EXPECT_EQ(RowNames(ts), p->tsNames);
  EXPECT_EQ(RowNames(tu), p->tuNames);
  EXPECT_EQ(d.Storage().List(kSigTU).Count(), 2);

  // The automation program owns the names.
  ts->RenameRow(0, "Другое");
  EXPECT_EQ(ts->At(0)->Name(), "Авария");

  // Neither section: a message, and nothing changes.
  EXPECT_FALSE(p->ImportText("[TS_in]\r\n0=x\r\n", &err));
  EXPECT_EQ(err, "В файле нет разделов TS_out и TU_out: списки не изменены");
  EXPECT_EQ(RowNames(ts), (std::vector<std::string>{"Авария", "Пуск", "Авария"}));

  // Only ТУ commands: the ТС table goes.
  ASSERT_TRUE(p->ImportText("[TU_out]\r\n1=A\r\n", &err));
  ASSERT_EQ(p->node->ChildCount(), 1);
  EXPECT_EQ(p->Table(kSigTS), nullptr);
}

TEST(AutomationPort, ExportReplacesTheInputSectionsOnly) {
  TempDir tmp;
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TNode* board = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board));  // 32 ТС
  dynamic_cast<TBlock*>(board->Item())->SetAddress(1);
  d.AfterEdit();
  TPortAuto* p = AddAuto(d);
  std::string err;
  ASSERT_TRUE(p->ImportText(Utf8ToCp1251("[TS_out]\r\n1=Авария\r\n"), &err));

  const std::string path = tmp / "auto.ini";
  const std::string before = Utf8ToCp1251(
      "[Main]\r\nA=1\r\nA=2\r\n[TS_in]\r\n0=старое\r\n[TS_out]\r\n1=Авария\r\n[ti_in]\r\n0=старое\r\n; конец\r\n");
  ASSERT_TRUE(WriteFileAtomic(path, before, &err));
  ASSERT_TRUE(p->ExportInputs(path, &err)) << err;
  std::string after;
  ASSERT_TRUE(ReadWholeFile(path, after, &err));
  after = Cp1251ToUtf8(after);
  // Other sections stay as they were, repeated keys included.
  EXPECT_EQ(after.rfind("[Main]\r\nA=1\r\nA=2\r\n[TS_out]\r\n1=Авария\r\n[TS_in]\r\n", 0), 0u) << after;
  EXPECT_EQ(after.find("старое"), std::string::npos);
  EXPECT_EQ(after.find("; конец"), std::string::npos);  // it belonged to the replaced section
  // Keys are storage indexes: the board's 32 ТС come first, the automation's row is 32.
  bool found = false;
  auto names = IniSectionValues(Utf8ToCp1251(after), "TS_in", &found);
  ASSERT_TRUE(found);
  ASSERT_EQ(names.size(), 33u);
  EXPECT_NE(after.find("\r\n32=Авария\r\n"), std::string::npos);
  EXPECT_NE(after.find("[TU_in]\r\n[TI_in]\r\n[TR_in]\r\n"), std::string::npos);

  // A file that cannot be written leaves an error and no change.
  EXPECT_FALSE(p->ExportInputs((tmp / "missing") + std::string("/x.ini"), &err));
  EXPECT_FALSE(err.empty());
}

TEST(AutomationPort, HandMadeSectionReadsAndWritesBackIdentical) {
  TBytes r = ProcessorAndIp(2);
  r.Sec(117).Ent(48, {1}).Ent(1, {3}).Ent(4, {1}).Ent(13, Le32(2)).Ent(15, Le32(1));
  SourceTable(r, 211, {"Авт1", "Авт2"});
  SourceTable(r, 212, {"Команда"});
  r.End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(Read(d, r));
  EXPECT_TRUE(msgs.errors.empty());
  auto* p = dynamic_cast<TPortAuto*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->autoCheck, 1);
  EXPECT_EQ(p->tsNames, (std::vector<std::string>{"Авт1", "Авт2"}));
  EXPECT_EQ(p->tuNames, std::vector<std::string>{"Команда"});
  // A later rebuild keeps the names and the rows.
  const TParam* row = p->Table(kSigTS)->At(1);
  p->UpdateStatusTable();
  EXPECT_EQ(p->Table(kSigTS)->At(1), row);
  EXPECT_EQ(RowNames(p->Table(kSigTS)), p->tsNames);
  EXPECT_EQ(SectionBytes(Written(d), 117), SectionBytes(r.Image(), 117));
}

TEST(AutomationPort, HugeStoredCountsAreCutWithAMessage) {
  TBytes r = ProcessorAndIp(2);
  r.Sec(117).Ent(48, {1}).Ent(1, {1}).Ent(13, Le32(0xFFFFFFFF)).Ent(15, Le32(0)).End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(Read(d, r));
  auto* p = dynamic_cast<TPortAuto*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(msgs.errors, std::vector<std::string>{"В порту 1_Порт Автоматики записано 4294967295 имён ТС, прочитаны первые 8192"});
  EXPECT_EQ(p->tsNames.size(), static_cast<std::size_t>(kMaxRows));
  EXPECT_EQ(p->Table(kSigTU), nullptr);
}
