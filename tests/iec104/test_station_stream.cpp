// The station's serialised form against bytes written out by hand: what is read, what is
// written back, older layouts, and streams that must fail without changing the station.
#include <gtest/gtest.h>

#include <chrono>

#include "bytes.h"
#include "iec104/station.h"

using namespace t32;

namespace {

TBytes Header(const std::string& name, const std::string& alias) {
  TBytes b;
  b.u32(3).u32(3).str(name).str(alias);
  return b;
}

TBytes Object(std::int32_t kind, const std::string& name, unsigned flag, unsigned tick, std::int32_t addr) {
  TBytes b;
  b.i32(kind).str(name).u16(2).u8(flag).u8(tick).i32(addr);
  return b;
}

// Distinct values in every field: reserve record version 7, one object of each kind, a subgroup.
TBytes Fixture() {
  TBytes b = Header("Станция №1", "ст1");
  b.channel(4, {10, 1, 2, 3}, 6, 11, 16, 12, 31, 13, 9, {192, 168, 5, 7});
  b.channel(7, {10, 9, 8, 7}, 21, 22, 23, 24, 25, 26, 27, {172, 16, 0, 1});
  b.u16(0x1234).u8(1).u8(0).i32(77).u16(88).u8(1).u8(0).u8(1).u16(0x0506).u8(1);      // settings
  b.u16(2405).u16(0xBEEF).i32(99).u16(3).u16(4).u16(2406).raw({1, 2, 3, 4, 5, 6});  // extra
  b.u32(0).u32(1);
  b.append(Header("Группа А", "alias A"));
  b.i32(1000).i32(1009).u8(1).u8(5).u16(600).i32(31).i32(36).raw({0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                                                                   0xA8, 0xA9, 0xAA, 0xAB});
  b.u32(15);
  b.append(Object(1001, "ts", 0x11, 1, 1));
  b.append(Object(1004, "ts2", 0, 0, 2));
  b.append(Object(1005, "vti", 0, 1, 3));
  b.append(Object(1002, "ts32", 0, 0, 4));
  b.append(Object(1003, "mts", 0, 1, 5)).u32(7).u32(0xF0F0);
  b.append(Object(1009, "ti", 0, 0, 6)).f32(0.5f).f32(-2.25f).u32(1);
  b.append(Object(1015, "тии", 0, 1, 7)).f32(10.0f).f32(0.0f).u32(0);
  b.append(Object(1049, "tu1", 0, 0, 8)).u32(1);
  b.append(Object(1046, "tu2", 0, 1, 9)).u32(3);
  b.append(Object(1048, "tr", 0, 0, 10)).u32(1);
  b.append(Object(1047, "rtu", 0, 1, 11));
  b.append(Object(1050, "port", 0, 0, 12));
  b.append(Object(1051, "file", 0, 1, 13)).u16(65535).u16(500).str("C:\\файл.txt");
  b.append(Object(1052, "log", 0, 0, 14)).raw({0xEE, 0xDD, 4, 1}).f32(1.5f).f32(0.25f).raw({0x99, 0x98, 0x97, 0x96});
  b.append(Object(1000, "plain", 0, 1, 15));
  b.u32(1);
  b.append(Header("Подгруппа", ""));
  b.i32(2000).i32(1001).u8(0).u8(0).u16(0).i32(0).i32(1).raw({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  b.u32(1).append(Object(1001, "Q1", 0, 1, 5));
  b.u32(0);
  return b;
}

bool Read(TWS_104& st, const std::vector<std::uint8_t>& bytes, TStreamError* err = nullptr) {
  TMemStream s(static_cast<const void*>(bytes.data()), bytes.size());
  return st.ReadFrom(s, err);
}

}  // namespace

TEST(StationStream, EmptyStationBytes) {
  TBytes want = Header("", "");
  want.channel(4, {0, 0, 0, 0}, 5, 10, 15, 10, 30, 12, 8, {0, 0, 0, 0});
  want.channel(0, {0, 0, 0, 0}, 5, 10, 15, 10, 30, 12, 8, {0, 0, 0, 0});
  for (int i = 0; i < 16 + 20; ++i) want.u8(0);
  want.u32(0).u32(0);
  TWS_104 st;
  EXPECT_EQ(st.SerialisedSize(), want.b.size());
  EXPECT_EQ(st.Serialise(), want.b);
}

TEST(StationStream, FixtureReadsIntoEveryFieldAndWritesBack) {
  const TBytes fx = Fixture();
  TWS_104 st;
  TStreamError err;
  ASSERT_TRUE(Read(st, fx.b, &err)) << err.Message();
  ASSERT_EQ(st.Children().size(), 1u);
  const TGroup& g = *st.Children()[0];
  ASSERT_EQ(g.Objects().size(), 15u);
  ASSERT_EQ(g.Children().size(), 1u);
  const TGroup& sub = *g.Children()[0];
  auto obj = [&](int i) -> const TPProcItem& { return *g.Objects()[i]; };
  const auto& mts = dynamic_cast<const TMultiTSitem&>(obj(4));
  const auto& ti = dynamic_cast<const TTIitem&>(obj(5));
  const auto& cnt = dynamic_cast<const TCounterItem&>(obj(6));
  const auto& file = dynamic_cast<const TFileItem&>(obj(12));
  const auto& log = dynamic_cast<const TRZAlogitem&>(obj(13));
  struct Row { const char* what; long long got, want; } rows[] = {
      {"main.version", st.main.version, 4}, {"main.local[0]", st.main.localIp[0], 10}, {"main.local[3]", st.main.localIp[3], 3},
      {"main.t0", st.main.t0, 6}, {"main.retry", st.main.reconnect, 11}, {"main.t1", st.main.t1, 16},
      {"main.t2", st.main.t2, 12}, {"main.t3", st.main.t3, 31}, {"main.k", st.main.k, 13}, {"main.w", st.main.w, 9},
      {"main.remote[0]", st.main.remoteIp[0], 192}, {"main.remote[3]", st.main.remoteIp[3], 7},
      {"reserve.version", st.reserve.version, 7}, {"reserve.local[1]", st.reserve.localIp[1], 9},
      {"reserve.t0", st.reserve.t0, 21}, {"reserve.retry", st.reserve.reconnect, 22}, {"reserve.t1", st.reserve.t1, 23},
      {"reserve.t2", st.reserve.t2, 24}, {"reserve.t3", st.reserve.t3, 25}, {"reserve.k", st.reserve.k, 26},
      {"reserve.w", st.reserve.w, 27}, {"reserve.remote[0]", st.reserve.remoteIp[0], 172},
      {"asdu", st.settings.commonAddress, 0x1234}, {"commandsWithTime", st.settings.commandsWithTime, 1},
      {"setPointsWithTime", st.settings.setPointsWithTime, 0}, {"gi", st.settings.giInterval, 77},
      {"sync", st.settings.syncInterval, 88}, {"noSync", st.settings.noSyncOnConnect, 1},
      {"extraCS", st.settings.extraChecksum, 0}, {"noGi", st.settings.noGiOnConnect, 1},
      {"linkLoss", st.settings.linkLossDelay, 0x0506}, {"switchedOff", st.settings.switchedOff, 1},
      {"mainPort", st.extra.mainPort, 2405}, {"held1", st.extra.held1, 0xBEEF}, {"askTO", st.extra.askTimeout, 99},
      {"toReserve", st.extra.toReserveAfter, 3}, {"retryMain", st.extra.retryMainEvery, 4},
      {"reservePort", st.extra.reservePort, 2406}, {"held2[5]", st.extra.held2[5], 6},
      {"activePort", st.activePort, 2405}, {"active.t1", st.active.t1, 16},
      {"g.base", g.record.baseAddress, 1000}, {"g.kind", g.record.kind, 1009}, {"g.askCmd", g.record.askCommand, 1},
      {"g.askSel", g.record.askSelector, 5}, {"g.period", g.record.askPeriod, 600},
      {"g.asdu", g.record.commonAddress, 31}, {"g.send", g.record.sendType, 36}, {"g.held[11]", g.record.held[11], 0xAB},
      {"ts.flag", obj(0).flag, 0x11}, {"ts.tick", obj(0).tick, 1}, {"ts.addr", obj(0).address, 1},
      {"ts2.kind", obj(1).kind, 1004}, {"plain.kind", obj(14).kind, 1000}, {"plain.addr", obj(14).address, 15},
      {"mts.len", mts.dataLength, 7}, {"mts.mask", mts.dataMask, 0xF0F0}, {"ti.options", ti.options, 1},
      {"ti.offset*4", static_cast<long long>(ti.offset * 4), -9}, {"cnt.scale", static_cast<long long>(cnt.scale), 10},
      {"tu1.options", dynamic_cast<const TTU1posItem&>(obj(7)).options, 1},
      {"tu2.options", dynamic_cast<const TTUItem&>(obj(8)).options, 3},
      {"tr.options", dynamic_cast<const TTRItem&>(obj(9)).options, 1},
      {"file.id", file.fileId, 65535}, {"file.delay", file.delay, 500},
      {"log.held0", log.element[0], 0xEE}, {"log.size", log.Size(), 4}, {"log.type", log.DataType(), 1},
      {"log.offset*2", static_cast<long long>(log.Offset() * 2), 3}, {"log.scale*4", static_cast<long long>(log.Scale() * 4), 1},
      {"log.byte15", log.element[15], 0x96},
      {"sub.base", sub.record.baseAddress, 2000}, {"sub.kind", sub.record.kind, 1001}, {"sub.send", sub.record.sendType, 1},
      {"sub.objects", static_cast<long long>(sub.Objects().size()), 1}, {"sub.level", sub.level, 3},
  };
  for (const Row& r : rows) EXPECT_EQ(r.got, r.want) << r.what;
  EXPECT_EQ(st.name, "Станция №1");
  EXPECT_EQ(st.alias, "ст1");
  EXPECT_EQ(g.name, "Группа А");
  EXPECT_EQ(g.alias, "alias A");
  EXPECT_EQ(obj(6).name, "тии");
  EXPECT_EQ(file.fileName, "C:\\файл.txt");
  EXPECT_EQ(sub.PathName(), "Группа А.Подгруппа");
  const char* classes[] = {"TTSitem", "TTS2Item", "TVTIitem", "TTS32item", "TMultiTSitem", "TTIitem", "TCounterItem",
                           "TTU1posItem", "TTUItem", "TTRItem", "TRTUitem", "TPortItem", "TFileItem", "TRZAlogitem",
                           "TPProcItem"};
  for (int i = 0; i < 15; ++i) EXPECT_STREQ(obj(i).ClassName(), classes[i]);
  // The built-in objects are recreated, ticked, after the read.
  ASSERT_EQ(st.Objects().size(), 2u);
  EXPECT_EQ(st.Objects()[0]->name, "состояние связи");
  EXPECT_EQ(st.Objects()[1]->kind, 1048);
  EXPECT_EQ(st.Objects()[1]->tick, 1);
  EXPECT_EQ(st.Serialise(), fx.b);
  EXPECT_EQ(st.SerialisedSize(), fx.b.size());
}

TEST(StationStream, OlderMainVersionsReadWithDefaults) {
  for (int v = 1; v <= 3; ++v) {
    TBytes b = Header("s", "");
    b.channel(v, {1, 2, 3, 4}, 7, 8, 9, 10, 11, 1, 2, {5, 6, 7, 8});
    if (v > 1) b.u16(0x2222).u8(1).u8(1).i32(5).u16(6).u8(0).u8(1).u8(0).u16(7).u8(0);
    if (v > 2) b.u16(2500).u16(0).i32(9).u16(1).u16(2).u16(3).raw({0, 0, 0, 0, 0, 0});
    b.u32(0).u32(1).append(Header("g", "")).i32(0).i32(1009).u8(0).u8(0).u16(0).i32(0).i32(0);
    for (int i = 0; i < 12; ++i) b.u8(0);
    // A version 1 ТИ object has no options; the next object must still be read in step.
    b.u32(2).i32(1009).str("old").u16(1).u8(0).u8(1).i32(3).f32(2.0f).f32(1.0f);
    b.append(Object(1009, "new", 0, 0, 4)).f32(1.0f).f32(0.0f).u32(1);
    b.u32(0);
    TWS_104 st;
    TStreamError err;
    ASSERT_TRUE(Read(st, b.b, &err)) << "version " << v << ": " << err.Message();
    EXPECT_EQ(st.main.t0, 7);
    EXPECT_EQ(st.reserve, TChannel104{}) << v;
    EXPECT_EQ(st.settings.commonAddress, v > 1 ? 0x2222 : 0) << v;
    EXPECT_EQ(st.settings.linkLossDelay, v > 1 ? 7 : 0) << v;
    EXPECT_EQ(st.extra.mainPort, v > 2 ? 2500 : 0) << v;
    EXPECT_EQ(st.extra.reservePort, v > 2 ? 3 : 0) << v;
    const TGroup& g = *st.Children()[0];
    ASSERT_EQ(g.Objects().size(), 2u);
    const auto& old = dynamic_cast<const TTIitem&>(*g.Objects()[0]);
    EXPECT_EQ(old.scale, 2.0f);
    EXPECT_EQ(old.offset, 1.0f);
    EXPECT_EQ(old.options, 0u);
    EXPECT_EQ(dynamic_cast<const TTIitem&>(*g.Objects()[1]).options, 1u);
    EXPECT_EQ(g.Objects()[1]->name, "new");
  }
}

TEST(StationStream, HostileStreamsFailCleanlyAndChangeNothing) {
  const TBytes fx = Fixture();
  TWS_104 st;
  ASSERT_TRUE(Read(st, fx.b));
  const std::vector<std::uint8_t> before = st.Serialise();

  // The fixture cut at every length.
  for (std::size_t n = 0; n < fx.b.size(); ++n) {
    std::vector<std::uint8_t> cut(fx.b.begin(), fx.b.begin() + static_cast<std::ptrdiff_t>(n));
    TStreamError err;
    ASSERT_FALSE(Read(st, cut, &err)) << n;
    EXPECT_LE(err.position, n);
  }
  EXPECT_EQ(st.Serialise(), before);

  // Station: version, header, name (10 characters), alias (3), records, object and group counts;
  // group: version, header, name (8), alias (7), record, object count.
  const std::size_t firstKind = 4 + 4 + 11 + 4 + 116 + 4 + 4 + 4 + 4 + 9 + 8 + 32 + 4;
  TBytes badKind = fx;
  badKind.b[firstKind] = 2000 & 0xFF;
  badKind.b[firstKind + 1] = 2000 >> 8;
  TBytes longString = Header("s", "");
  longString.b.resize(8);
  longString.u8(200).raw({'a', 'b', 'c'});
  TBytes manyObjects = Header("", "");
  manyObjects.channel(4, {0, 0, 0, 0}, 5, 10, 15, 10, 30, 12, 8, {0, 0, 0, 0});
  manyObjects.channel(0, {0, 0, 0, 0}, 5, 10, 15, 10, 30, 12, 8, {0, 0, 0, 0});
  for (int i = 0; i < 36; ++i) manyObjects.u8(0);
  TBytes manyGroups = manyObjects;
  manyGroups.u32(0).u32(0xFFFFFFFF);
  manyObjects.u32(1).u32(0).append(Header("g", "")).i32(0).i32(1001).u8(0).u8(0).u16(0).i32(0).i32(0);
  for (int i = 0; i < 12; ++i) manyObjects.u8(0);
  manyObjects.u32(0xFFFFFFFF);
  // Each group holds the next one, 100,000 deep.
  TBytes nested = manyGroups;
  nested.b.resize(nested.b.size() - 4);
  nested.u32(1);
  for (int i = 0; i < 100000; ++i) {
    nested.append(Header("g", "")).i32(0).i32(1001).u8(0).u8(0).u16(0).i32(0).i32(0);
    for (int k = 0; k < 12; ++k) nested.u8(0);
    nested.u32(0).u32(1);
  }
  TBytes version4 = fx;
  version4.b[0] = 4;

  struct Case { const char* what; const TBytes& bytes; std::size_t position; const char* message; } cases[] = {
      {"kind 2000", badKind, firstKind, "неизвестный тип объекта 2000"},
      {"string past the end", longString, 8, "данные оборваны"},
      {"station objects", manyObjects, 126, "у станции не может быть своих объектов (1)"},
      {"0xFFFFFFFF groups", manyGroups, 130, "групп (4294967295) больше, чем вмещают оставшиеся данные"},
      {"100,000 nested groups", nested, 0, "вложенность групп больше 64"},
      {"version 4", version4, 0, "версия 4 не поддерживается"},
  };
  for (const Case& c : cases) {
    auto t0 = std::chrono::steady_clock::now();
    TStreamError err;
    EXPECT_FALSE(Read(st, c.bytes.b, &err)) << c.what;
    EXPECT_EQ(err.what, c.message) << c.what;
    if (c.position) {
      EXPECT_EQ(err.position, c.position) << c.what;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.what;
    EXPECT_EQ(st.Serialise(), before) << c.what;
  }
  // Objects counted past the data: the count is refused before anything is made.
  TBytes objectsPastEnd = fx;
  const std::size_t countAt = firstKind - 4;
  objectsPastEnd.b[countAt] = objectsPastEnd.b[countAt + 1] = objectsPastEnd.b[countAt + 2] = objectsPastEnd.b[countAt + 3] = 0xFF;
  TStreamError err;
  EXPECT_FALSE(Read(st, objectsPastEnd.b, &err));
  EXPECT_EQ(err.what, "объектов (4294967295) больше, чем вмещают оставшиеся данные");
  EXPECT_EQ(err.position, countAt);
  EXPECT_NE(err.Message().find("(байт " + std::to_string(countAt) + ")"), std::string::npos);
}

TEST(StationStream, GroupsRoundTripOnTheirOwnAndBuiltInsAreNotWritten) {
  TWS_104 st;
  st.TickAll();
  EXPECT_EQ(st.Serialise().size(), 134u);  // the two built-in objects are not in the block
  auto g = std::make_unique<TGroup>(3);
  g->name = "g";
  g->record.kind = kKindTI;
  auto ti = CreateObject(kKindTI, "x");
  static_cast<TTIitem&>(*ti).scale = 0.001f;
  g->AddObject(std::move(ti));
  g->AddChild(std::make_unique<TGroup>(7));
  EXPECT_EQ(g->Children()[0]->level, 3);
  std::vector<std::uint8_t> bytes = g->Serialise();
  TGroup back;
  TMemStream s(static_cast<const void*>(bytes.data()), bytes.size());
  ASSERT_TRUE(back.ReadFrom(s));
  EXPECT_EQ(back.Serialise(), bytes);
  EXPECT_EQ(static_cast<const TTIitem&>(*back.Objects()[0]).scale, 0.001f);
  EXPECT_EQ(back.Objects()[0]->owner, &back);
  EXPECT_EQ(back.Children()[0]->Parent(), &back);
}

TEST(StationStream, TextsAreCutTo255AndUnknownCharactersBecomeQuestionMarks) {
  TWS_104 st;
  for (int i = 0; i < 300; ++i) st.name += "Ж";
  st.alias = "Ёлка ∑ 中";
  std::vector<std::uint8_t> bytes = st.Serialise();
  EXPECT_EQ(bytes.size(), st.SerialisedSize());
  TWS_104 back;
  TMemStream s(static_cast<const void*>(bytes.data()), bytes.size());
  ASSERT_TRUE(back.ReadFrom(s));
  std::string cut;
  for (int i = 0; i < 255; ++i) cut += "Ж";
  EXPECT_EQ(back.name, cut);
  EXPECT_EQ(back.alias, "Ёлка ? ?");
}
