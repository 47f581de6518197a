// ISO upper layers: golden PDUs and the acceptance rules of each layer.
#include <gtest/gtest.h>

#include "iec61850/acse.h"
#include "iec61850/mmsclient.h"

using namespace t32;
using B = std::vector<std::uint8_t>;

namespace {

// A COTP object whose socket is replaced by a capture of the TPKTs it sends.
class TCapture : public TCOTPObject {
 public:
  TCapture() { SetState(kConnected); }
  bool Transmit(const std::uint8_t* d, std::size_t n) override {
    sent.emplace_back(d, d + n);
    return true;
  }
  void Connect() { SetCotpState(kCotpConnected); }
  void DeliverTPDU(const std::uint8_t* d, std::size_t n) override {
    tpdus.emplace_back(d, d + n);
    TCOTPObject::DeliverTPDU(d, n);
  }
  bool DeliverTSDU(const std::uint8_t*& d, std::size_t& n) override {
    tsdus.emplace_back(d, d + n);
    return false;
  }
  std::vector<B> sent, tpdus, tsdus;
};

}  // namespace

TEST(Cotp, ConnectionRequestWithDefaultSelectors) {
  EXPECT_EQ(cotp::BuildCR(1, 1, 1024),
            (B{0x11, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC1, 0x02, 0x00, 0x01, 0xC2, 0x02, 0x00, 0x01, 0xC0, 0x01, 0x0A}));
  EXPECT_EQ(cotp::BuildCR(1, 1, 1000).back(), 0x07);  // a size not in the table
}

TEST(Cotp, ConnectionConfirmParameters) {
  struct {
    B cc;
    bool ok;
    std::uint8_t code;
  } cases[] = {
      {{0x09, 0xD0, 0, 1, 0, 2, 0, 0xC0, 1, 0x0D}, true, 0x0D},
      {{0x09, 0xD0, 0, 1, 0, 2, 0, 0xC0, 1, 0x08}, true, 0x08},
      {{0x06, 0xD0, 0, 1, 0, 2, 0}, false, 0},                      // no size parameter
      {{0x09, 0xD0, 0, 1, 0, 2, 0, 0xC0, 1, 0x0E}, false, 0},       // size code out of range
      {{0x09, 0xD0, 0, 1, 0, 2, 0, 0xC0, 9, 0x0A}, false, 0},       // parameter runs past LI
      {{0x20, 0xD0, 0, 1, 0, 2, 0, 0xC0, 1, 0x0A}, false, 0},       // LI beyond the unit
  };
  for (auto& c : cases) {
    std::uint8_t code = 0;
    EXPECT_EQ(cotp::ParseCC(c.cc.data(), c.cc.size(), code), c.ok);
    if (c.ok) {
      EXPECT_EQ(code, c.code);
    }
  }
}

TEST(Cotp, DataUnitsAreCutAtTheNegotiatedSize) {
  TCapture c;
  c.Connect();
  B tsdu(1021, 0x55);
  ASSERT_TRUE(c.Send(tsdu.data(), tsdu.size()));
  ASSERT_EQ(c.sent.size(), 1u);
  EXPECT_EQ(c.sent[0][6], 0x80);  // EOT on the only DT
  c.sent.clear();
  tsdu.push_back(0x66);
  ASSERT_TRUE(c.Send(tsdu.data(), tsdu.size()));
  ASSERT_EQ(c.sent.size(), 2u);
  EXPECT_EQ(c.sent[0][6], 0x00);
  EXPECT_EQ(c.sent[1][6], 0x80);
  EXPECT_EQ(c.sent[1].size(), 4u + 3u + 1u);
}

TEST(Tpkt, ReassemblyAcrossSegments) {
  TCapture c;
  c.Connect();
  B two = {3, 0, 0, 8, 2, 0xF0, 0x80, 0x11, 3, 0, 0, 8, 2, 0xF0, 0x80, 0x22};
  c.Receive(two.data(), two.size());
  EXPECT_EQ(c.tpdus.size(), 2u);
  EXPECT_EQ(c.tsdus.size(), 2u);
  B one = {3, 0, 0, 9, 2, 0xF0, 0x80, 0xAB, 0xCD};
  c.Receive(one.data(), 2);
  c.Receive(one.data() + 2, 3);
  EXPECT_EQ(c.tpdus.size(), 2u);
  c.Receive(one.data() + 5, 4);
  ASSERT_EQ(c.tsdus.size(), 3u);
  EXPECT_EQ(c.tsdus[2], (B{0xAB, 0xCD}));
}

TEST(Tpkt, BrokenFramingEndsTheConnection) {
  TCapture c;
  c.Connect();
  B bad = {4, 0, 0, 8, 2, 0xF0, 0x80, 0x11};
  c.Receive(bad.data(), bad.size());
  EXPECT_EQ(c.RxErrorCode(), TPKTObject::kRxBadHeader);
  EXPECT_NE(c.State(), TTCPObject::kConnected);
  TCapture d;
  d.Connect();
  B huge = {3, 0, 0xFF, 0xFF};
  d.Receive(huge.data(), huge.size());
  EXPECT_EQ(d.RxErrorCode(), TPKTObject::kRxTooLong);
  EXPECT_EQ(d.PendingBytes(), 0u);
}

TEST(Session, AcceptLengthMustMatchTheUnit) {
  B ok = {0x0E, 0x0A, 0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02, 0xC1, 0x00};
  const std::uint8_t* user;
  std::size_t n;
  EXPECT_TRUE(session::ParseAccept(ok.data(), ok.size(), user, n));
  B badLi = ok;
  badLi[1] = 0x0B;
  EXPECT_FALSE(session::ParseAccept(badLi.data(), badLi.size(), user, n));
  B overrun = {0x0E, 0x04, 0xC1, 0x09, 0x01, 0x02};
  EXPECT_FALSE(session::ParseAccept(overrun.data(), overrun.size(), user, n));
}

TEST(Presentation, AcceptanceNeedsTwoAcceptedContexts) {
  auto cpa = [](std::vector<int> results) {
    B items;
    for (int r : results) items.insert(items.end(), {0x30, 0x07, 0x80, 0x01, std::uint8_t(r), 0x81, 0x02, 0x51, 0x01});
    B user = {0x61, 0x07, 0x30, 0x05, 0x02, 0x01, 0x01, 0xA0, 0x00};
    B normal = {0xA5, std::uint8_t(items.size())};
    normal.insert(normal.end(), items.begin(), items.end());
    normal.insert(normal.end(), user.begin(), user.end());
    B out = {0x31, std::uint8_t(normal.size() + 7), 0xA0, 0x03, 0x80, 0x01, 0x01, 0xA2, std::uint8_t(normal.size())};
    out.insert(out.end(), normal.begin(), normal.end());
    return out;
  };
  std::int64_t ctx;
  const std::uint8_t* user;
  std::size_t n;
  auto ok = cpa({0, 0});
  EXPECT_TRUE(presentation::ParseCPA(ok.data(), ok.size(), ctx, user, n));
  EXPECT_EQ(ctx, 1);
  auto three = cpa({0, 0, 0});
  EXPECT_FALSE(presentation::ParseCPA(three.data(), three.size(), ctx, user, n));
  auto refused = cpa({0, 1});
  EXPECT_FALSE(presentation::ParseCPA(refused.data(), refused.size(), ctx, user, n));
}

TEST(Acse, AareContextAndResult) {
  auto aare = [](std::uint8_t lastArc, std::uint8_t result) {
    return B{0x61, 0x18, 0xA1, 0x07, 0x06, 0x05, 0x28, 0xCA, 0x22, 0x02, lastArc, 0xA2, 0x03, 0x02, 0x01, result,
             0xBE, 0x08, 0x28, 0x06, 0x02, 0x01, 0x03, 0xA0, 0x01, 0xFF};
  };
  acse::TAare a;
  auto good = aare(3, 0);
  ASSERT_TRUE(acse::ParseAARE(good.data(), good.size(), a));
  EXPECT_TRUE(a.context == acse::MmsContextName());
  EXPECT_EQ(a.result, 0);
  ASSERT_EQ(a.userLength, 1u);
  auto other = aare(1, 0);
  ASSERT_TRUE(acse::ParseAARE(other.data(), other.size(), a));
  EXPECT_FALSE(a.context == acse::MmsContextName());
  auto rejected = aare(3, 1);
  ASSERT_TRUE(acse::ParseAARE(rejected.data(), rejected.size(), a));
  EXPECT_EQ(a.result, 1);
}

TEST(Acse, AarqAroundTheInitiateRequestIsTheGoldenEncoding) {
  // Initiate request with the client's defaults: local detail 65000, 1 and 5 outstanding,
  // nesting 8, version 1, CBB str1 str2 vnam vtpy vlis, services as proposed.
  const B initiate = {0xA8, 0x26, 0x80, 0x03, 0x00, 0xFD, 0xE8, 0x81, 0x01, 0x01, 0x82, 0x01, 0x05, 0x83, 0x01, 0x08,
                      0xA4, 0x16, 0x80, 0x01, 0x01, 0x81, 0x03, 0x05, 0xE3, 0x00, 0x82, 0x0C, 0x03, 0xCF, 0x1C, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE3, 0x00};
  TMMSobject client;
  B got;
  ASSERT_TRUE(client.EncodeInitiateRequest(got));
  EXPECT_EQ(got, initiate);

  B aarq = {0x60, 0x70,
            0x80, 0x02, 0x07, 0x80,                                // protocol version 1
            0xA1, 0x07, 0x06, 0x05, 0x28, 0xCA, 0x22, 0x02, 0x03,  // 1.0.9506.2.3
            0xA2, 0x06, 0x06, 0x04, 0x29, 0xCE, 0x0F, 0x0A,        // called AP title 1.1.9999.10
            0xA3, 0x03, 0x02, 0x01, 0x0C, 0xA4, 0x03, 0x02, 0x01, 0x0B, 0xA5, 0x03, 0x02, 0x01, 0x0B,
            0xA6, 0x06, 0x06, 0x04, 0x29, 0xCE, 0x0F, 0x0A,        // calling AP title
            0xA7, 0x03, 0x02, 0x01, 0x0C, 0xA8, 0x03, 0x02, 0x01, 0x0B, 0xA9, 0x03, 0x02, 0x01, 0x0B,
            0xBE, 0x33, 0x28, 0x31, 0x06, 0x02, 0x51, 0x01, 0x02, 0x01, 0x03, 0xA0, 0x28};
  aarq.insert(aarq.end(), initiate.begin(), initiate.end());
  B built;
  ASSERT_TRUE(acse::BuildAARQ(TAcseParams{}, initiate.data(), initiate.size(), built));
  ASSERT_EQ(built.size(), aarq.size());
  for (std::size_t i = 0; i < aarq.size(); ++i) ASSERT_EQ(built[i], aarq[i]) << "octet " << i;
}
