// Every board through the configuration file and through the JSON form.
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;

namespace {

// One board of every class at its own address, each with a renamed first row and a changed
// setting, so that a lost key or row shows.
void Fill(TDocument& d) {
  const int codes[] = {1, 9, 3, 4, 5, 7, 15};
  int addr = 0;
  for (int code : codes) {
    TNode* n = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(code, TItemPlace::Board));
    auto* b = static_cast<TBoard*>(n->Item());
    b->SetAddress(addr++);
    b->irq = static_cast<uint8_t>(3 + addr % 5);
    for (TParams* t : b->Tables())
      if (t->Count() > 0) t->At(0)->SetName(b->Prefix() + ".Вход_" + std::to_string(code));
    if (auto* di = dynamic_cast<TDI32*>(b)) di->SetDebounce(3);
    for (TItem* ch : b->ChildItems())
      if (auto* rs = dynamic_cast<TRS232*>(ch)) rs->SetSpeed(38400);
  }
  // Per-row settings of the tables, wherever they sit (the AI8 modules hold the ТИ tables,
  // once a connection is chosen).
  d.Tree().ForEach([](TNode* n) {
    if (auto* ai8 = dynamic_cast<TAI8*>(n->Item())) {
      ai8->connection = 1;
      ai8->multiplexers = 1;
      ai8->RebuildTable();
    }
  });
  d.Tree().ForEach([](TNode* n) {
    auto* t = dynamic_cast<TParams*>(n->Item());
    if (!t || !t->IsSource() || t->Count() == 0) return;
    if (t->Type() == kSigTI) {  // as the ТИ dialog sets them: a scaled value is 4 bytes wide
      t->At(0)->gain = 0.025f;
      t->At(0)->offset = -4;
      t->At(0)->valueWidth = 4;
    }
    if (t->Type() == kSigTS) t->At(0)->inversion = 4;
  });
  d.AfterEdit();
}

std::vector<uint8_t> Records(TDocument& d) {
  d.WriteRecords();
  return d.Config().Image();
}

}  // namespace

TEST(BoardFiles, EveryBoardSurvivesFileAndJson) {
  for (TCpu cpu : {TCpu::Cpu927, TCpu::Cpu6358}) {
    TRecordedMessages ma;
    TDocument a(&ma);
    Fill(a);
    TBuildOptions o;
    o.cpu = cpu;
    std::vector<uint8_t> img;
    ASSERT_TRUE(BuildImage(a, o, img));
    TRecordedMessages mb;
    TDocument b(&mb);
    TCpu got = cpu;
    ASSERT_TRUE(ParseImage(b, img, false, &got));
    EXPECT_EQ(b.Dump(), a.Dump());
    EXPECT_TRUE(mb.errors.empty()) << mb.errors.front();

    std::string json = ExportJson(a, cpu);
    TDocument c;
    std::string err;
    ASSERT_TRUE(ImportJson(c, json, &got, &err)) << err;
    EXPECT_EQ(got, cpu);
    a.extendedFormat = c.extendedFormat = cpu == TCpu::Cpu927;
    EXPECT_EQ(Records(c), Records(a));
    EXPECT_EQ(c.Dump(), a.Dump());
    // The JSON names the classes and the settings it knows.
    EXPECT_NE(json.find("\"class\": \"TUnio96\""), std::string::npos);
    EXPECT_NE(json.find(".Вход_4"), std::string::npos);
    EXPECT_NE(json.find("\"id\": \"gains\""), std::string::npos);
    EXPECT_NE(json.find("\"f32s\""), std::string::npos);
    EXPECT_NE(json.find("\"id\": \"flags\""), std::string::npos);
  }
}
