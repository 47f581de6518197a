// The memory stream and the address conversions beside it.
#include <gtest/gtest.h>

#include <cstring>

#include "model/memstream.h"

using namespace t32;

TEST(MemStream, PutsAndGetsWithinBounds) {
  uint8_t buf[16] = {};
  TMemStream w(buf, sizeof buf);
  EXPECT_EQ(w.MemPos(), 0);
  uint32_t v = 0x11223344;
  EXPECT_TRUE(w.Put(v));
  EXPECT_TRUE(w.PutShortString(""));
  EXPECT_EQ(w.MemPos(), 5);
  EXPECT_TRUE(w.PutShortString("abc"));
  EXPECT_EQ(buf[0], 0x44);
  TMemStream r(static_cast<const void*>(buf), 9);
  uint32_t back = 0;
  std::string s = "x";
  EXPECT_TRUE(r.Get(back));
  EXPECT_TRUE(r.GetShortString(s));
  EXPECT_EQ(s, "");
  EXPECT_TRUE(r.GetShortString(s));
  EXPECT_EQ(s, "abc");
  EXPECT_EQ(back, v);
}

TEST(MemStream, RefusesToCrossTheBuffer) {
  uint8_t buf[4] = {};
  TMemStream w(buf, sizeof buf);
  uint64_t big = 1;
  EXPECT_FALSE(w.Put(big));
  EXPECT_TRUE(w.Failed());
  EXPECT_EQ(w.MemPos(), 0);
  uint8_t one = 1;
  EXPECT_FALSE(w.Put(one));  // stays failed: the caller stops
  // A stored length larger than what is left fails instead of reading outside.
  uint8_t data[3] = {200, 'a', 'b'};
  TMemStream r(static_cast<const void*>(data), sizeof data);
  std::string s;
  EXPECT_FALSE(r.GetShortString(s));
}

TEST(MemStream, ShortStringLongerThanCapacityFailsAfterLengthByte) {
  uint8_t data[11] = {10, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  TMemStream r(static_cast<const void*>(data), sizeof data);
  std::string s = "keep";
  EXPECT_FALSE(r.GetShortString(s, 8));
  EXPECT_EQ(s, "keep");
  EXPECT_EQ(r.MemPos(), 1);
}

TEST(MemStream, IpConversions) {
  uint8_t o[4];
  ASSERT_TRUE(IpTextToOctets("192.168.001.010", o));
  EXPECT_EQ(o[0], 192);
  EXPECT_EQ(o[1], 168);
  EXPECT_EQ(o[2], 1);
  EXPECT_EQ(o[3], 10);
  ASSERT_TRUE(IpTextToOctets(" 10 . 0 .0. 1 ", o));
  EXPECT_EQ(OctetsToIpText(o), "10.0.0.1");
  // Not an address: refused, never wrapped into another host's address.
  for (const char* bad : {"10.0.x.1", "10.0.1", "192.168.1.300", "127.0.0.258", "256.0.0.1", "1.2.3.4294967296"}) {
    std::memset(o, 7, 4);
    EXPECT_FALSE(IpTextToOctets(bad, o)) << bad;
    EXPECT_EQ(o[0], 0) << bad;
    bool ok = true;
    IpTextToU32(bad, &ok);
    EXPECT_FALSE(ok) << bad;
  }
  ASSERT_TRUE(IpTextToOctets("255.255.255.255", o));
  EXPECT_EQ(o[3], 255);
  EXPECT_EQ(U32ToIpText(0xC0A80101), "192.168.1.1");
  EXPECT_EQ(IpTextToU32("255.255.255.0"), 0xFFFFFF00u);
  uint8_t hex[3] = {0x0A, 0xFF, 0x00};
  EXPECT_EQ(OctetsToHexText(hex, 3), "0A FF 00 ");
}
