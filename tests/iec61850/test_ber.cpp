// BER values: golden encodings and hostile input.
#include <gtest/gtest.h>

#include "iec61850/ber.h"
#include "iec61850/mmsmodel.h"

using namespace t32;

namespace {
std::vector<std::uint8_t> Enc(const TASNobject& o) {
  TBerEncoder e;
  EXPECT_TRUE(o.Encode(e));
  return {e.Data(), e.Data() + e.EncodedLength()};
}
using B = std::vector<std::uint8_t>;
}  // namespace

TEST(Ber, IdentifierAndLengthForms) {
  EXPECT_EQ(Enc(TASNnull(kUniversal, 30)), (B{0x1E, 0x00}));
  EXPECT_EQ(Enc(TASNnull(kUniversal, 31)), (B{0x1F, 0x1F, 0x00}));
  EXPECT_EQ(Enc(TASNnull(kContext, 200)), (B{0x9F, 0x81, 0x48, 0x00}));
  std::vector<std::uint8_t> c255(255, 0xAA), c256(256, 0xBB);
  auto e255 = Enc(TASNOctetString(kUniversal, 255, c255.data(), 4));
  EXPECT_EQ((B{e255[0], e255[1], e255[2]}), (B{0x04, 0x81, 0xFF}));
  auto e256 = Enc(TASNOctetString(kUniversal, 256, c256.data(), 4));
  EXPECT_EQ((B{e256[0], e256[1], e256[2], e256[3]}), (B{0x04, 0x82, 0x01, 0x00}));
}

TEST(Ber, IntegersRoundTripMinimal) {
  struct {
    std::int64_t v;
    B contents;
  } cases[] = {{0, {0x00}}, {128, {0x00, 0x80}}, {-128, {0x80}}, {-129, {0xFF, 0x7F}}, {65000, {0x00, 0xFD, 0xE8}}};
  for (auto& c : cases) {
    auto e = Enc(TASNInteger(kUniversal, c.v, 2));
    EXPECT_EQ(B(e.begin() + 2, e.end()), c.contents) << c.v;
    TASNInteger d(kUniversal, 99, 2);
    std::size_t used = 0;
    ASSERT_TRUE(d.Decode(e.data(), e.size(), used));
    EXPECT_EQ(d.Value(), c.v);
    EXPECT_EQ(used, e.size());
  }
  // Unsigned: a top bit set is a large value, not a negative one.
  const std::uint8_t u[] = {0x86, 0x04, 0xB2, 0xD0, 0x5E, 0x00};
  TASNUnsigned uv(kContext, 0, 6);
  std::size_t used;
  ASSERT_TRUE(uv.Decode(u, sizeof u, used));
  EXPECT_EQ(uv.Value(), 3000000000LL);
}

TEST(Ber, IntegerRejectsNineOctetsAndKeepsEmpty) {
  const std::uint8_t nine[] = {0x02, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TASNInteger i(kUniversal, 5, 2);
  std::size_t used;
  EXPECT_FALSE(i.Decode(nine, sizeof nine, used));
  EXPECT_EQ(i.Value(), 5);
  const std::uint8_t empty[] = {0x02, 0x00};
  EXPECT_TRUE(i.Decode(empty, sizeof empty, used));
  EXPECT_EQ(i.Value(), 5);
}

TEST(Ber, BitStringsAndObjectIdentifiers) {
  const std::uint8_t one[] = {0x80};
  EXPECT_EQ(Enc(TASNBitString(kContext, 1, one, 0)), (B{0x80, 0x02, 0x07, 0x80}));
  EXPECT_EQ(Enc(TASNObjectIdentifier(kUniversal, MakeOid({1, 0, 9506, 2, 3}), 6)),
            (B{0x06, 0x05, 0x28, 0xCA, 0x22, 0x02, 0x03}));
  EXPECT_EQ(Enc(TASNObjectIdentifier(kUniversal, MakeOid({2, 2, 1, 0, 1}), 6)),
            (B{0x06, 0x04, 0x52, 0x01, 0x00, 0x01}));
  const std::uint8_t oid[] = {0x06, 0x05, 0x28, 0xCA, 0x22, 0x02, 0x03};
  TASNObjectIdentifier d(kUniversal, {}, 6);
  std::size_t used;
  ASSERT_TRUE(d.Decode(oid, sizeof oid, used));
  EXPECT_EQ(OidToString(d.Arcs()), "1.0.9506.2.3");
  EXPECT_EQ(OidToString(StringToOid("1,1,9999.x.10")), "1.1.9999.0.10");
  // 13 bits received: bit count and the value shifted by the unused count.
  const std::uint8_t bs[] = {0x84, 0x03, 0x03, 0xA5, 0x28};
  TASNBitString b(kContext, 0, nullptr, 4);
  ASSERT_TRUE(b.Decode(bs, sizeof bs, used));
  EXPECT_EQ(b.BitCount(), 13);
  EXPECT_EQ(LastDecoded().integer, 0xA528 >> 3);
}

TEST(Ber, SequenceMatchesInOrderAndSetTakesAny) {
  // SEQUENCE { INTEGER 1, INTEGER 2, INTEGER 3 } into two INTEGER components: the third is skipped.
  const std::uint8_t seq[] = {0x30, 0x09, 0x02, 0x01, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x03};
  TASNSequence s(kUniversal, 16);
  auto* a = s.Add<TASNInteger>(kUniversal, 0, 2);
  auto* b = s.Add<TASNInteger>(kUniversal, 0, 2);
  std::size_t used;
  ASSERT_TRUE(s.Decode(seq, sizeof seq, used));
  EXPECT_EQ(a->Value(), 1);
  EXPECT_EQ(b->Value(), 2);
  // A plain structure with a -1 component takes every element not claimed before it.
  TASNStructured set(kUniversal, 16);
  auto* first = set.Add<TASNInteger>(kUniversal, 0, 2);
  auto* any = set.Add<TASNdata>(kUniversal, -1);
  const std::uint8_t mixed[] = {0x30, 0x06, 0x02, 0x01, 0x07, 0x04, 0x01, 0x55};
  ASSERT_TRUE(set.Decode(mixed, sizeof mixed, used));
  EXPECT_EQ(first->Value(), 7);
  EXPECT_EQ(any->SeenTag, 4);
  ASSERT_EQ(any->ContentLength(), 1u);
  EXPECT_EQ(any->ContentData()[0], 0x55);
}

TEST(Ber, GeneralizedTimeValidation) {
  struct {
    const char* text;
    bool valid;
    const char* shown;
  } cases[] = {
      {"20240131235959Z", true, "31.01.24 23-59-59.000"},
      {"20241301000000Z", false, nullptr},
      {"20240229120000.25Z", true, "29.02.24 12-00-00.250"},
      {"20230229120000Z", false, nullptr},
      {"20240101000000-0300", true, "01.01.24 00-00-00.000"},
      {"20240101000000-03", false, nullptr},
      {"2024013123", false, nullptr},
  };
  for (auto& c : cases) {
    TASNGeneralizedTime t(kUniversal, 24);
    std::string s = c.text;
    bool ok = t.DecodeContents(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    EXPECT_EQ(ok, c.valid) << c.text;
    if (ok && c.shown) {
      EXPECT_EQ(DateTimeText(t.DateTime()), c.shown) << c.text;
    }
  }
}

TEST(Ber, HostileInputIsRefusedWithoutOverread) {
  struct {
    const char* what;
    B bytes;
  } cases[] = {
      {"length beyond buffer", {0x30, 0x10, 0x02, 0x01}},
      {"long length beyond buffer", {0x30, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 0x00}},
      {"indefinite length", {0x30, 0x80, 0x00, 0x00}},
      {"five length octets", {0x04, 0x85, 0, 0, 0, 0, 1, 0}},
      {"truncated high tag", {0x1F, 0x81}},
      {"child beyond parent", {0x30, 0x03, 0x02, 0x05, 0x01}},
      {"lone identifier", {0x30}},
  };
  for (auto& c : cases) {
    TASNSequence s(kUniversal, 16);
    s.Add<TASNInteger>(kUniversal, 0, 2);
    std::size_t used = 0;
    EXPECT_FALSE(s.Decode(c.bytes.data(), c.bytes.size(), used)) << c.what;
  }
  // Absurd nesting: 5,000 structures inside each other stop at the depth limit.
  B deep;
  for (int i = 0; i < 5000; ++i) {
    std::size_t n = deep.size();
    B head = {0xA2};
    if (n < 128) head.push_back(std::uint8_t(n));
    else if (n < 65536) head.insert(head.end(), {0x82, std::uint8_t(n >> 8), std::uint8_t(n)});
    else head.insert(head.end(), {0x83, std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
    deep.insert(deep.begin(), head.begin(), head.end());
  }
  std::vector<TMMSDataContainer> fifo;
  EXPECT_FALSE(DecodeMmsData(deep.data(), deep.size(), fifo, 0));
  EXPECT_LE(fifo.size(), std::size_t(kMaxBerDepth + 1));
}
