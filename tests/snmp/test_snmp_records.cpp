// The SNMP tool's BER values and the agent and tag records: golden octets, recorded agent
// answers, and stored records that lie about their own size.
#include <gtest/gtest.h>

#include <cstring>

#include "snmp/snmprecord.h"
#include "snmp_answers.h"

using namespace t32;
using namespace t32::snmp;
using snmptest::Bytes;

namespace {
Bytes TagOid(const TSnmpOid& oid, bool* ok = nullptr) {
  TSNMP_Tag t;
  std::memset(t.OidBytes, 0xEE, sizeof t.OidBytes);
  bool r = t.SetOid(oid);
  if (ok) *ok = r;
  return Bytes(t.OidBytes, t.OidBytes + t.OidLength);
}
Bytes Save(const TSNMP_device& d) {
  Bytes buf(4096);
  TMemStream s(buf.data(), buf.size());
  EXPECT_TRUE(d.SaveTo(s));
  buf.resize(static_cast<std::size_t>(s.MemPos()));
  return buf;
}
}  // namespace

// Identifiers as a polled tag stores them: contents octets, text, and the way back.
TEST(SnmpOid, GoldenContentsAndText) {
  struct {
    TSnmpOid oid;
    Bytes contents;
    const char* text;
  } cases[] = {
      {MakeSnmpOid({1, 3, 6, 1, 2, 1, 1, 1, 0}), {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00}, "1.3.6.1.2.1.1.1.0"},
      {MakeSnmpOid({1, 3, 200}), {0x2B, 0x81, 0x48}, "1.3.200"},
      {MakeSnmpOid({1, 3, 65535}), {0x2B, 0x83, 0xFF, 0x7F}, "1.3.65535"},
      // Enterprise numbers pass 65535 (and arcs may use all 32 bits).
      {MakeSnmpOid({1, 3, 6, 1, 4, 1, 193, 4294967295u}), {0x2B, 6, 1, 4, 1, 0x81, 0x41, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F},
       "1.3.6.1.4.1.193.4294967295"},
      {MakeSnmpOid({2, 100, 3}), {0x81, 0x34, 0x03}, "2.100.3"},
      {MakeSnmpOid({1}), {}, "1"},
      {TSnmpOid{}, {}, ""},
  };
  for (const auto& c : cases) {
    bool ok = false;
    EXPECT_EQ(TagOid(c.oid, &ok), c.contents) << c.text;
    EXPECT_TRUE(ok) << c.text;
    EXPECT_EQ(SnmpOidToString(c.oid), c.text);
    if (c.oid.Count() >= 2) {
      TSnmpOid back;
      ASSERT_TRUE(DecodeOidContents(c.contents.data(), c.contents.size(), back)) << c.text;
      EXPECT_EQ(back, c.oid) << c.text;
    }
  }
}

TEST(SnmpOid, TooLongForATagIsRefusedNotCut) {
  TSnmpOid oid = MakeSnmpOid({1, 3});
  for (int i = 0; i < 15; ++i) oid.Append(200);  // 1 + 15 * 2 = 31 octets: fits
  bool ok = false;
  EXPECT_EQ(TagOid(oid, &ok).size(), 31u);
  EXPECT_TRUE(ok);
  oid.Append(200);  // 33 octets
  EXPECT_TRUE(TagOid(oid, &ok).empty());
  EXPECT_FALSE(ok);
}

TEST(SnmpOid, DecodeRefusesBrokenContents) {
  const Bytes bad[] = {{0x2B, 0x86}, {0x2B, 0x90, 0x80, 0x80, 0x80, 0x80, 0x00}};  // cut short; arc beyond 32 bits
  for (const auto& b : bad) {
    TSnmpOid o = MakeSnmpOid({9});
    EXPECT_FALSE(DecodeOidContents(b.data(), b.size(), o));
    EXPECT_EQ(o, MakeSnmpOid({9}));  // left as it was
  }
  Bytes many(200, 0x01);  // 201 arcs: beyond what the catalogue keeps
  TSnmpOid o;
  EXPECT_FALSE(DecodeOidContents(many.data(), many.size(), o));
}

TEST(SnmpBer, IntegersAndTheirLimits) {
  struct {
    Bytes element;
    bool valid;
    std::int64_t value;
  } cases[] = {
      {{0x02, 0x01, 0xFF}, true, -1},
      {{0x02, 0x02, 0x00, 0x96}, true, 150},
      {{0x02, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0}, true, INT64_MIN},
      {{0x02, 0x09, 0, 1, 2, 3, 4, 5, 6, 7, 8}, false, 7},
      {{0x02, 0x05, 0x01}, false, 7},  // length beyond the bytes present
  };
  for (const auto& c : cases) {
    TASNInteger i(kUniversal, 2);
    i.Value = 7;
    std::size_t used = 0;
    EXPECT_EQ(i.Decode(c.element.data(), c.element.size(), used), c.valid);
    EXPECT_EQ(i.Value, c.value);
  }
  // Minimal encoding on the way out.
  Bytes buf(16);
  for (auto [v, want] : {std::pair<std::int64_t, Bytes>{0, {0x02, 0x01, 0x00}}, {128, {0x02, 0x02, 0x00, 0x80}},
                         {-129, {0x02, 0x02, 0xFF, 0x7F}}}) {
    TASNInteger i(kUniversal, 2);
    i.Value = v;
    SnmpBeginEncode(buf.data(), buf.size());
    ASSERT_TRUE(i.Encode());
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>(SnmpEncodedLength())), want) << v;
  }
}

// Agents send their numbers and addresses with application tags; a component of the plain
// type claims them. An element of no known kind, or an empty one, marks the next component.
TEST(SnmpBer, ApplicationTagsAndExceptionMarks) {
  struct {
    std::uint8_t tag;
    bool asInteger;
  } cases[] = {{0x40, false}, {0x41, true}, {0x42, true}, {0x43, true}, {0x44, false}, {0x46, true}};
  for (const auto& c : cases) {
    Bytes in{c.tag, 0x04, 0x7F, 0x00, 0x00, 0x01};
    TASNSequence seq(kUniversal, 16);
    auto* i = seq.Add<TASNInteger>(kUniversal, 2);
    auto* s = seq.Add<TASNOctetString>(kUniversal, 4);
    ASSERT_TRUE(seq.DecodeContents(in.data(), in.size()));
    EXPECT_EQ(i->Valid, c.asInteger) << int(c.tag);
    EXPECT_EQ(s->Valid, !c.asInteger) << int(c.tag);
    if (c.asInteger) {
      EXPECT_EQ(i->Value, 0x7F000001);
    } else {
      EXPECT_EQ(s->Octets(), (Bytes{0x7F, 0, 0, 1}));
    }
  }
  // Application tag 5 is not in the map: it claims nothing and marks the next component.
  struct {
    Bytes in;
    std::int32_t markedTag;
  } marks[] = {{{0x02, 0x01, 0x05, 0x80, 0x00, 0x02, 0x01, 0x07}, 0x80},
               {{0x02, 0x01, 0x05, 0x82, 0x00, 0x02, 0x01, 0x07}, 0x82},
               {{0x02, 0x01, 0x05, 0x45, 0x01, 0x00, 0x02, 0x01, 0x07}, 0x45},
               {{0x02, 0x01, 0x05, 0x05, 0x00, 0x02, 0x01, 0x07}, 0x05}};
  for (const auto& m : marks) {
    TASNSequence seq(kUniversal, 16);
    auto* a = seq.Add<TASNInteger>(kUniversal, 2);
    auto* b = seq.Add<TASNInteger>(kUniversal, 2);
    auto* c = seq.Add<TASNInteger>(kUniversal, 2);
    ASSERT_TRUE(seq.DecodeContents(m.in.data(), m.in.size()));
    EXPECT_TRUE(a->Valid);
    EXPECT_EQ(a->Value, 5);
    EXPECT_FALSE(b->Valid);
    EXPECT_EQ(b->TagNumber, m.markedTag);
    EXPECT_TRUE(c->Valid);
    EXPECT_EQ(c->Value, 7);
  }
}

TEST(SnmpBer, HostileHeadersNeverReadPast) {
  const Bytes bad[] = {{}, {0x30}, {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, {0x30, 0x80, 0x00, 0x00},
                       {0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}, {0x30, 0x05, 0x02, 0x01}};
  for (const auto& b : bad) {
    TSNMPresponse r;
    std::size_t used;
    EXPECT_FALSE(r.Decode(b.data(), b.size(), used));
    TSNMPdata d;
    EXPECT_TRUE(d.Decode(b.data(), b.size(), used));  // takes anything, references nothing wrong
    EXPECT_LE(d.ContentLength(), b.size());
  }
}

// Answers of a real agent (Debian's snmpd), recorded with the commands in the fixture.
TEST(SnmpBer, RecordedAgentAnswersDecode) {
  auto answers = snmptest::ReadHexBlocks(std::string(T32_FIXTURES) + "/snmp/agent_answers.hex");
  ASSERT_EQ(answers.size(), 2u);

  auto a = snmptest::DecodeAnswer(answers[0], {true, true, true});
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.version, 1);  // v2c
  EXPECT_EQ(a.community, "public");
  EXPECT_EQ(a.pduTag, 0x82);  // GetResponse
  EXPECT_EQ(a.errorStatus, 0);
  ASSERT_EQ(a.varbinds.size(), 3u);
  EXPECT_EQ(SnmpOidToString(a.varbinds[0].oid), "1.3.6.1.2.1.1.3.0");
  EXPECT_TRUE(a.varbinds[0].valid);
  EXPECT_EQ(a.varbinds[0].integer, 150);  // TimeTicks (0x43)
  EXPECT_EQ(SnmpOidToString(a.varbinds[1].oid), "1.3.6.1.2.1.2.2.1.10.1");
  EXPECT_EQ(a.varbinds[1].integer, 4647);  // Counter32 (0x41)
  EXPECT_EQ(SnmpOidToString(a.varbinds[2].oid), "1.3.6.1.2.1.1.99.0");
  EXPECT_FALSE(a.varbinds[2].valid);       // noSuchObject (0x80 00) stood there
  EXPECT_EQ(a.varbinds[2].tagNumber, 0x80);

  auto b = snmptest::DecodeAnswer(answers[1], {true, false, true});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.varbinds[0].integer, 10000000);  // Gauge32 (0x42)
  EXPECT_EQ(b.varbinds[1].octets, (Bytes{127, 0, 0, 1}));  // IpAddress (0x40)
  EXPECT_EQ(SnmpOidToString(b.varbinds[1].oid), "1.3.6.1.2.1.4.20.1.1.127.0.0.1");
  EXPECT_FALSE(b.varbinds[2].valid);  // noSuchInstance
  EXPECT_EQ(b.varbinds[2].tagNumber, 0x81);
}

TEST(SnmpRecord, EmptyAgentIsSixteenOctets) {
  TSNMP_device d;
  std::uint8_t addr[4] = {192, 168, 1, 7};
  std::memcpy(d.Address, addr, 4);
  EXPECT_EQ(Save(d), (Bytes{0x00, 0x00, 192, 168, 1, 7, 0xA1, 0x00, 0x03, 0x00, 0x0A, 0x00, 0, 0, 0, 0}));
}

TEST(SnmpRecord, TagsRoundTripInTheirLayout) {
  TSNMP_device d;
  d.Port = 16161;
  auto& t1 = d.Tags.Add();
  t1.Name = "sysUpTime";
  ASSERT_TRUE(t1.SetOid(MakeSnmpOid({1, 3, 6, 1, 2, 1, 1, 3, 0})));
  auto& t2 = d.Tags.Add();
  t2.Name = std::string(63, 'x');
  ASSERT_TRUE(t2.SetOid(MakeSnmpOid({1, 3})));
  Bytes b = Save(d);
  ASSERT_EQ(b.size(), 16u + (1 + 9 + 1 + 8) + (1 + 63 + 1 + 1));
  EXPECT_EQ((Bytes(b.begin() + 6, b.begin() + 16)), (Bytes{0x21, 0x3F, 3, 0, 10, 0, 2, 0, 0, 0}));
  EXPECT_EQ((Bytes(b.begin() + 16, b.begin() + 35)),
            (Bytes{9, 's', 'y', 's', 'U', 'p', 'T', 'i', 'm', 'e', 8, 0x2B, 6, 1, 2, 1, 1, 3, 0}));

  TSNMP_device back;
  TMemStream s(static_cast<const void*>(b.data()), b.size());
  ASSERT_TRUE(back.LoadFrom(s));
  EXPECT_EQ(s.MemPos(), static_cast<std::int32_t>(b.size()));
  EXPECT_EQ(back.Port, 16161);
  ASSERT_EQ(back.Tags.Count(), 2u);
  TSnmpOid oid;
  ASSERT_TRUE(back.Tags.Items[0]->GetOid(oid));
  EXPECT_EQ(SnmpOidToString(oid), "1.3.6.1.2.1.1.3.0");
  EXPECT_EQ(back.Tags.Items[1]->Name, std::string(63, 'x'));

  // A name the record cannot hold is refused on saving rather than written to fail later.
  t2.Name += "y";
  Bytes buf(4096);
  TMemStream w(buf.data(), buf.size());
  EXPECT_FALSE(d.SaveTo(w));
}

// Stored records that lie: each load fails, keeps the tags before the fault, and never reads
// past the stored block.
TEST(SnmpRecord, CorruptRecordsFailKeepingWhatWasRead) {
  const Bytes head{0, 0, 10, 0, 0, 1, 0xA1, 0, 3, 0, 10, 0};
  const Bytes goodTag{1, 'a', 2, 0x2B, 6};
  struct {
    const char* what;
    Bytes countAndTags;
    std::size_t kept;
  } cases[] = {
      {"name of 64", [&] { Bytes b{2, 0, 0, 0}; b.insert(b.end(), goodTag.begin(), goodTag.end()); b.push_back(64);
                           b.insert(b.end(), 64, 'n'); b.push_back(0); return b; }(), 1},
      {"OidLength 33", [&] { Bytes b{2, 0, 0, 0}; b.insert(b.end(), goodTag.begin(), goodTag.end()); b.insert(b.end(), {1, 'b', 33});
                             b.insert(b.end(), 33, 1); return b; }(), 1},
      {"count beyond the bytes", Bytes{0xFF, 0xFF, 0xFF, 0x7F, 1, 'a', 0}, 0},
      {"negative count", Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 0},
      {"cut inside the identifier", [&] { Bytes b{2, 0, 0, 0}; b.insert(b.end(), goodTag.begin(), goodTag.end());
                                          b.insert(b.end(), {1, 'b', 8, 0x2B}); return b; }(), 1},
      {"cut inside the head", Bytes{}, 0},
  };
  for (const auto& c : cases) {
    Bytes b = head;
    if (c.countAndTags.empty()) b.resize(7);
    b.insert(b.end(), c.countAndTags.begin(), c.countAndTags.end());
    TSNMP_device d;
    TMemStream s(static_cast<const void*>(b.data()), b.size());
    EXPECT_FALSE(d.LoadFrom(s)) << c.what;
    EXPECT_EQ(d.Tags.Count(), c.kept) << c.what;
    EXPECT_LE(static_cast<std::size_t>(s.MemPos()), b.size()) << c.what;
  }
}

// Identifiers longer than the inline part keep every arc through copies and moves.
TEST(SnmpOid, LongIdentifiersSurviveCopiesAndMoves) {
  TSnmpOid a;
  for (std::uint32_t i = 0; i < TSnmpOid::kMaxArcs; ++i) ASSERT_TRUE(a.Append(i * 1000));
  EXPECT_FALSE(a.Append(1));  // the catalogue keeps at most kMaxArcs
  TSnmpOid b = a, c;
  c = b;
  TSnmpOid d = std::move(b);
  EXPECT_EQ(b.Count(), 0u);
  EXPECT_EQ(c, a);
  EXPECT_EQ(d, a);
  EXPECT_EQ(d[127], 127000u);
  c = MakeSnmpOid({1, 3});
  EXPECT_EQ(SnmpOidToString(c), "1.3");
  b = std::move(c);
  EXPECT_EQ(SnmpOidToString(b), "1.3");
}
