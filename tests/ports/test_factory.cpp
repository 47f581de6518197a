// The factory makes children by parent class: one section code can name different classes
// under different parents, in the image and in the JSON form.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/boards.h"
#include "model/config.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/port_ip.h"
#include "ports/register.h"
#include "project/json.h"

using namespace t32;

namespace {

// Two stand-ins with section code 202: a workstation under the IP port and a device under a
// polling port.
struct TStubPC : TItem {
  std::uint8_t mark = 0;
  TStubPC() { name = "ПЭВМ"; }
  const char* ClassName() const override { return "TStubPC"; }
  int SectionCode() const override { return 202; }
  void Fields(TFieldVisitor& v) override { v.U8({"mark", 5}, mark); }
};
struct TStubRTU : TItem {
  std::uint16_t speed = 0;
  TStubRTU() { name = "Устройство"; }
  const char* ClassName() const override { return "TStubRTU"; }
  int SectionCode() const override { return 202; }
  void Fields(TFieldVisitor& v) override { v.U16({"speed", 6}, speed); }
};
struct TStubPolling : TPort {
  TStubPolling() {
    name = "Опрос";
    number = 3;
  }
  const char* ClassName() const override { return "TStubPolling"; }
  int SectionCode() const override { return 150; }
  void LoadFromImage(TConfig& c) override {
    if (!EnterSection(c, 150)) return;
    TChildReader rd(c);
    while (rd.Peek() == 202) {
      TNode* n = node->Tree()->Add(node, Doc()->Factory().MakeChild(ClassName(), 202));
      rd.Load(n->Item());
    }
  }
};

TItemFactory StubFactory() {
  TItemFactory f = PortsFactory();
  f.RegisterChild("TPortIP", 202, [] { return std::make_unique<TStubPC>(); });
  f.RegisterChild("TStubPolling", 202, [] { return std::make_unique<TStubRTU>(); });
  f.Register(150, TItemPlace::Port, [] { return std::make_unique<TStubPolling>(); });
  return f;
}

}  // namespace

TEST(Factory, ChildrenByParentInImageAndJson) {
  TItemFactory f = StubFactory();
  EXPECT_EQ(f.MakeChild("TPortIP", 202)->ClassName(), std::string("TStubPC"));
  EXPECT_EQ(f.MakeChild("TStubPolling", 202)->ClassName(), std::string("TStubRTU"));
  EXPECT_EQ(f.MakeChild("TPortPU", 202), nullptr);

  TRecordedMessages msgs;
  TDocument a(&msgs, &f);
  auto pc = std::make_unique<TStubPC>();
  pc->mark = 7;
  a.Tree().Add(a.PortIPNode(), std::move(pc));
  TNode* poll = a.Tree().Add(a.ProcNode(), std::make_unique<TStubPolling>());
  auto rtu = std::make_unique<TStubRTU>();
  rtu->speed = 9600;
  a.Tree().Add(poll, std::move(rtu));
  a.AfterEdit();
  std::int32_t end = a.WriteRecords();
  std::vector<std::uint8_t> img(a.Config().Image().begin(), a.Config().Image().begin() + end);

  TDocument b(&msgs, &f);
  ASSERT_TRUE(b.Config().SetImage(img));
  b.ReadRecords(false);
  // The status table of the workstations comes first.
  ASSERT_EQ(b.PortIPNode()->ChildCount(), 2);
  auto* pc2 = dynamic_cast<TStubPC*>(b.PortIPNode()->Child(1)->Item());
  ASSERT_NE(pc2, nullptr);
  EXPECT_EQ(pc2->mark, 7);
  ASSERT_EQ(b.ProcNode()->ChildCount(), 2);
  auto* rtu2 = dynamic_cast<TStubRTU*>(b.ProcNode()->Child(1)->Child(0)->Item());
  ASSERT_NE(rtu2, nullptr);
  EXPECT_EQ(rtu2->speed, 9600);

  // The JSON form names each 202 section by the class its parent makes.
  auto j = nlohmann::json::parse(ExportJson(a, TCpu::Cpu927));
  std::map<std::string, std::string> idOf;
  for (const auto& s : j["sections"])
    for (const auto& c : s.value("children", nlohmann::json::array()))
      if (c["section"] == 202)
        for (const auto& e : c["entries"])
          if (e["key"] != 48) idOf[c["class"]] = e["id"];
  EXPECT_EQ(idOf["TStubPC"], "mark");
  EXPECT_EQ(idOf["TStubRTU"], "speed");
}
