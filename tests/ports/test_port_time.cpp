// The time-setting and time-server ports: their sections by hand, the period in minutes, the
// protocol switch with its UDP port, the server address bytes and the processor binding.
#include <gtest/gtest.h>

#include "model/document.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "ports/image_sections.h"
#include "ports/port_menu.h"
#include "ports/port_time.h"
#include "ports/register.h"
#include "project/cfgfile.h"

using namespace t32;
using namespace t32test;

TEST(TimePorts, NewPortsWriteTheirDefaultsWithoutChannel) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  auto* gps = dynamic_cast<TPortGPS*>(AddPortFromMenu(d, 120)->Item());
  auto* sntp = dynamic_cast<TPortSNTP*>(AddPortFromMenu(d, 130)->Item());
  ASSERT_TRUE(gps && sntp);
  EXPECT_EQ(gps->Caption(), "1_Порт установки времени");
  EXPECT_EQ(sntp->Caption(), "2_Порт сервера времени");
  EXPECT_EQ(gps->node->image, 17);
  EXPECT_EQ(sntp->node->image, 17);
  EXPECT_EQ(gps->popup, TPopup::DeleteMenu);

  auto img = Written(d);
  std::size_t g = FindSectionCode(img, 120), s = FindSectionCode(img, 130);
  ASSERT_TRUE(g && s);
  EXPECT_EQ(EntryKeys(img, g), (std::vector<int>{48, 1, 120, 31, 27, 49, 24}));
  EXPECT_EQ(EntryAt(img, g, 120), Le16(123));
  EXPECT_EQ(EntryAt(img, g, 31), Le32(3600000));
  EXPECT_EQ(EntryAt(img, g, 27), std::vector<std::uint8_t>{0});
  EXPECT_EQ(EntryAt(img, g, 49), Le32(0));  // no server the engineer did not choose
  EXPECT_EQ(EntryAt(img, g, 24), std::vector<std::uint8_t>{3});
  EXPECT_EQ(EntryKeys(img, s), (std::vector<int>{48, 1, 130, 24}));
  EXPECT_EQ(EntryAt(img, s, 130), Le16(123));
  EXPECT_EQ(EntryAt(img, s, 24), std::vector<std::uint8_t>{3});

  // Bound to the processor: the save has no port without a channel to complain about.
  std::vector<std::uint8_t> file;
  ASSERT_TRUE(BuildImage(d, TBuildOptions{}, file));
  EXPECT_TRUE(msgs.errors.empty());
}

TEST(TimePorts, EditorRules) {
  TPortGPS p;
  struct Case {
    std::uint32_t minutes, storedMs;
  } cases[] = {{15, 900000}, {0, 0}, {65535, 65535u * 60000u}, {70000, 65535u * 60000u}};
  for (const auto& c : cases) {
    p.SetPeriodMinutes(c.minutes);
    EXPECT_EQ(p.period, c.storedMs) << c.minutes;
    EXPECT_EQ(p.PeriodMinutes(), std::min<std::uint32_t>(c.minutes, 65535));
  }
  p.ChooseProtocol(TPortGPS::kNmea);
  EXPECT_EQ(p.udpPort, 10110);
  EXPECT_FALSE(p.ServerEnabled());
  p.ChooseProtocol(TPortGPS::kSntp);
  EXPECT_EQ(p.udpPort, 123);
  EXPECT_TRUE(p.ServerEnabled());
}

TEST(TimePorts, HandMadeSectionsReadAndWriteBackIdentical) {
  TBytes r = ProcessorAndIp(3);
  // 10.0.0.1 from left to right: the first octet is the most significant byte.
  r.Sec(120).Ent(48, {1}).Ent(1, {4}).Ent(120, Le16(2000)).Ent(31, Le32(900000)).Ent(27, {1});
  r.Ent(49, {0x01, 0x00, 0x00, 0x0A}).Ent(24, {5}).End();
  r.Sec(130).Ent(48, {1}).Ent(1, {6}).Ent(130, Le16(1123)).Ent(24, {0}).End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(Read(d, r));
  ASSERT_EQ(d.ProcNode()->ChildCount(), 3);
  auto* gps = dynamic_cast<TPortGPS*>(d.ProcNode()->Child(1)->Item());
  auto* sntp = dynamic_cast<TPortSNTP*>(d.ProcNode()->Child(2)->Item());
  ASSERT_TRUE(gps && sntp);
  EXPECT_EQ(gps->number, 4);
  EXPECT_EQ(gps->udpPort, 2000);  // kept although NMEA's usual port is another
  EXPECT_EQ(gps->PeriodMinutes(), 15u);
  EXPECT_EQ(gps->protocol, TPortGPS::kNmea);
  EXPECT_EQ(gps->server, 0x0A000001u);
  EXPECT_EQ(gps->timeZone, 5);
  EXPECT_EQ(sntp->number, 6);
  EXPECT_EQ(sntp->udpPort, 1123);
  EXPECT_EQ(sntp->timeZone, 0);
  EXPECT_TRUE(msgs.errors.empty());

  auto img = Written(d);
  auto in = r.Image();
  EXPECT_EQ(SectionBytes(img, 120), SectionBytes(in, 120));
  EXPECT_EQ(SectionBytes(img, 130), SectionBytes(in, 130));
}

TEST(TimePorts, NewerLayoutKeepsDefaultsAndItsSection) {
  TBytes r = ProcessorAndIp(2);
  r.Sec(120).Ent(48, {2}).Ent(1, {4}).Ent(120, Le16(2000)).End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(Read(d, r));
  auto* gps = dynamic_cast<TPortGPS*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(gps, nullptr);
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия установки времени", kKeptSectionsMessage}));
  EXPECT_EQ(gps->udpPort, 123);
  EXPECT_TRUE(gps->ReadOnly());
}
