// The item tree: display order, binding ports to board channels, counts in the processor.
#include <gtest/gtest.h>

#include "model/config.h"
#include "model/controller.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/port_ip.h"

using namespace t32;

namespace {

class TBoard : public TBlock {
 public:
  TBoard() { name = "Б"; iconIndex = 5; }
  const char* ClassName() const override { return "TBoard"; }
  int SectionCode() const override { return 77; }
};

class TChannel : public TBlock {
 public:
  explicit TChannel(int addr) { name = "RS232"; number = static_cast<uint8_t>(addr); interfaces = kIfRS232; iconIndex = 2; }
  const char* ClassName() const override { return "TChannel"; }
  int SectionCode() const override { return 200; }
};

class TTestPort : public TPort {
 public:
  TTestPort() { name = "П"; number = 1; interfaces = kIfRS232 | kIfRS485; iconIndex = 2; }
  const char* ClassName() const override { return "TTestPort"; }
  int SectionCode() const override { return 101; }
};

struct Fixture {
  TRecordedMessages msgs;
  TDocument doc{&msgs};
  TNode* board = nullptr;
  TNode* ch1 = nullptr;
  TNode* ch2 = nullptr;
  TNode* port = nullptr;
  TNode* port2 = nullptr;
  Fixture() {
    board = doc.Tree().Add(doc.Tree().Root(), std::make_unique<TBoard>());
    ch1 = doc.Tree().Add(board, std::make_unique<TChannel>(21));
    ch2 = doc.Tree().Add(board, std::make_unique<TChannel>(22));
    port = doc.Tree().Add(doc.ProcNode(), std::make_unique<TTestPort>());
    port2 = doc.Tree().Add(doc.ProcNode(), std::make_unique<TTestPort>());
  }
  TPort* P(TNode* n) { return static_cast<TPort*>(n->Item()); }
  TBlock* B(TNode* n) { return static_cast<TBlock*>(n->Item()); }
};

}  // namespace

TEST(Tree, DisplayOrderAndCaptions) {
  Fixture f;
  auto order = f.doc.Tree().DisplayOrder();
  ASSERT_EQ(order.size(), 8u);
  EXPECT_EQ(order[3], f.port);  // processor's children come before the boards
  EXPECT_EQ(order[5], f.board);
  EXPECT_EQ(order[6], f.ch1);
  EXPECT_EQ(f.doc.Tree().AbsoluteIndex(f.ch2), 7);
  EXPECT_EQ(f.doc.Tree().NodeAt(5), f.board);
  EXPECT_EQ(f.board->caption, "0_Плата Б");
  EXPECT_EQ(f.port->caption, "1_Порт П");
  EXPECT_EQ(f.ch1->Level(), 2);
}

TEST(Tree, BindingOffersFreeChannelsAndRefusesTakenOnes) {
  Fixture f;
  auto list = f.P(f.port)->Interfaces();
  ASSERT_EQ(list.size(), 3u);  // empty entry + two channels
  EXPECT_EQ(list[0].block, nullptr);
  f.P(f.port)->SelectInterface(list, 1);
  EXPECT_EQ(f.P(f.port)->boundChannel, f.B(f.ch1));
  EXPECT_EQ(f.B(f.ch1)->boundPort, f.P(f.port));
  EXPECT_EQ(f.board->image, 5);  // a bound child channel shows the board's icon
  // The second port is not offered the taken channel, and forcing the bind fails.
  auto list2 = f.P(f.port2)->Interfaces();
  EXPECT_EQ(list2.size(), 2u);
  EXPECT_FALSE(f.B(f.ch1)->Bind(f.P(f.port2)));
  // Back to "not bound": the board's icon returns to 0.
  f.P(f.port)->SelectInterface(f.P(f.port)->Interfaces(), 0);
  EXPECT_EQ(f.B(f.ch1)->boundPort, nullptr);
  EXPECT_EQ(f.board->image, 0);
}

TEST(Tree, DeletingABoundBoardOrPortReleasesThePartner) {
  Fixture f;
  f.P(f.port)->SelectInterface(f.P(f.port)->Interfaces(), 2);
  ASSERT_EQ(f.B(f.ch2)->boundPort, f.P(f.port));
  f.doc.Tree().Delete(f.board);
  EXPECT_EQ(f.P(f.port)->boundChannel, nullptr);
  EXPECT_EQ(f.port->image, 0);

  Fixture g;
  g.P(g.port)->SelectInterface(g.P(g.port)->Interfaces(), 1);
  g.doc.Tree().Delete(g.port);
  EXPECT_EQ(g.B(g.ch1)->boundPort, nullptr);
}

TEST(Tree, ShowBoundSelectsThePartnerAndBindByAddressFindsIt) {
  Fixture f;
  f.P(f.port2)->BindByAddress(22);
  EXPECT_EQ(f.P(f.port2)->boundChannel, f.B(f.ch2));
  EXPECT_EQ(f.port2->image, 2);
  f.P(f.port2)->ShowBound();
  f.B(f.ch2)->ShowBound();
  ASSERT_EQ(f.msgs.selected.size(), 2u);
  EXPECT_EQ(f.msgs.selected[0], f.ch2);
  EXPECT_EQ(f.msgs.selected[1], f.port2);
  f.P(f.port)->BindByAddress(99);  // no such channel: stays unbound
  EXPECT_EQ(f.P(f.port)->boundChannel, nullptr);
}

TEST(Tree, ProcessorCountsBoardsAndPorts) {
  TDocument d;
  for (int i = 0; i < 3; ++i) d.Tree().Add(d.Tree().Root(), std::make_unique<TBoard>());
  for (int i = 0; i < 4; ++i) d.Tree().Add(d.ProcNode(), std::make_unique<TTestPort>());
  d.WriteRecords();
  TConfig& c = d.Config();
  c.Pos = TConfig::kDataStart;
  ASSERT_EQ(c.NextSection(), 0);
  uint8_t k2 = 0, k3 = 0;
  c.GetU8(2, k2);
  c.GetU8(3, k3);
  EXPECT_EQ(k2, 4);
  EXPECT_EQ(k3, 5);
}

TEST(Tree, MoveKeepsSubtreeAndRefusesCycles) {
  Fixture f;
  f.doc.Tree().Move(f.port2, f.doc.ProcNode(), 1);
  EXPECT_EQ(f.doc.ProcNode()->Child(1), f.port2);
  f.doc.Tree().Move(f.board, f.ch1, 0);  // into its own child: refused
  EXPECT_EQ(f.board->Parent(), f.doc.Tree().Root());
}

TEST(Controller, OverviewListsAddressesIrqsAndPorts) {
  Fixture f;
  f.B(f.board)->SetAddress(3);
  f.B(f.board)->irq = 5;
  f.P(f.port)->SelectInterface(f.P(f.port)->Interfaces(), 1);
  TController* c = f.doc.Controller();
  auto rows = c->AddressRows();
  EXPECT_EQ(rows[3].text, "Б  ");
  ASSERT_EQ(rows[3].items.size(), 1u);
  EXPECT_EQ(c->IrqRows()[2].text, "3_Б  ");
  auto ports = c->PortRows();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].channel, f.ch1->caption);
  EXPECT_EQ(ports[1].channelItem, nullptr);
}
