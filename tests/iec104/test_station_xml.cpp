// Station XML import: a workstation-shaped file in its three encodings, re-import, bad files
// with their messages, and values that are not taken.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "iec104/station_xml.h"
#include "model/cp1251.h"
#include "model/fileio.h"
#include "model/messages.h"

using namespace t32;

namespace {

// The body of a station file as a workstation exports it, with what engineers add by hand:
// "Common", "ResvChannel", "Control", "$" numbers, both decimal separators, entities, single
// quotes, blanks around "=", a group without a kind, file and log items.
const char* kBody = R"(
<WS_IEC_870_5_104 name="Подстанция &quot;Северная&quot;"  Asduaddr="$1F" >
<BaseChannel   LocalIP="0.0.0.0"  RemoteIP="192.168.1.20" Port="2405" t1="15" t2="10" t3="20" k="12" w="8" ReconnectInterval="7" t0='6' />  
<ResvChannel LocalIP=" 10.0.0.2 " RemoteIP="10.0. 0 .3" Port="$966" t0="4" t1="14" t2="9" t3="25" k="10" w="6" ReconnectInterval="12"/>
<Common BreakTO="30" ResvChannelTO="5" CheckBaseChannelInterval="15" AskInterval="60" AskTO="20" SyncInterval="$0A" AskOnConnect="false" SyncOnConnect="1" ExtraCS="true"/>
<control TUwithTimeTag="1" TRwithTimeTag="0"/>
<!-- signals of the workstation -->
    <Group name="ТС" type="TS" ASDUaddr="31"  Baseaddr="4096" >
    <Item name="Q1_вкл" address="0" />
    <Item name="Q1_откл" address="1" />
    </Group>
    <Group name="Подстанция" type="TS" ASDUaddr="31"  Baseaddr="0" >
        <Group name = "Вводы" type="TS" ASDUaddr="31" Baseaddr="1000" AskType="101" AskSelector="5" AskPeriod="600" sendtype="M_SP_TB_1">
            <Item name="Q1" address="5" />
        </Group>
    </Group>
    <Group name="ТИ" type="TI" ASDUaddr="31"  Baseaddr="$4000" sendtype="M_ME_NC_1" >
    <Item name="Ua" address="0" scale="0.001" offset="-1,5" options="1" />
    <Item name="Ub" address="1" scale="2.5e3" />
    </Group>
    <Group name="МТС" type="MTS" ASDUaddr="31"  Baseaddr="$C000" >
    <Item name="РПН" address="2" datalen="15" datamask="$FFFF" />
    </Group>
    <Group name="ТУ" type="TU2" ASDUaddr="31"  Baseaddr="$6000" sendtype="C_DC_NA_1">
    <Item name="Q1 &amp; Q2" address="3" options="2" />
    </Group>
    <Group name="ТР" type="TR" ASDUaddr="31"  Baseaddr="$8000" >
    <Item name="Uуст" address="4" options="1" />
    </Group>
    <Group name="ТИИ" type="ТII" ASDUaddr="31"  Baseaddr="$A000" AskType="101" AskSelector="5" >
    <Item name="Wp" address="5" />
    </Group>
    <Group name="без типа" ASDUaddr="31" >
    <Item name="lost" address="1" />
    </Group>
    <Group name="файлы" type="file" ASDUaddr="31"  Baseaddr="0" >
    <Item name="конфигурация" address="1" fileID="0" filename="TVR32.cfg" />
        <Group name="журналы событий КП" type="file" ASDUaddr="31"  Baseaddr="0" >
        <Item name="за_1_дату" address="6" fileID="1" filename="за_1_дату.txt" delay="500" />
        </Group>
    </Group>
    <Group name="журналы аварий" type="log" ASDUaddr="31"  Baseaddr="0" >
    <Item name="I_a" address="1" size="4" type="1" scale="0.5" offset="2" />
    <Item name="flags" address="2" size="2" type="0" scale="3" mask="$00FF" />
    </Group>
</WS_IEC_870_5_104>
)";

const char* kShown =
    R"(station "Подстанция "Северная"" ASDUaddr=31
common: BreakTO=30 ResvChannelTO=5 CheckBaseChannelInterval=15 AskInterval=60 AskTO=20 SyncInterval=10 AskOnConnect=0 SyncOnConnect=1 ExtraCS=1
control: TUwithTimeTag=1 TRwithTimeTag=0
main: LocalIP=0.0.0.0 RemoteIP=192.168.1.20 Port=2405 ReconnectInterval=7 t0=6 t1=15 t2=10 t3=20 k=12 w=8
reserve: LocalIP=10.0.0.2 RemoteIP=10.0.0.3 Port=2406 ReconnectInterval=12 t0=4 t1=14 t2=9 t3=25 k=10 w=6
  TS32 0 [0000h] + состояние связи
  TR 0 [0000h] + опрос
group ТС: type=TS ASDUaddr=31 Baseaddr=4096 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
  TS 0 [1000h] - ТС.Q1_вкл
  TS 1 [1001h] - ТС.Q1_откл
group Подстанция: type=TS ASDUaddr=31 Baseaddr=0 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
group Подстанция.Вводы: type=TS ASDUaddr=31 Baseaddr=1000 AskType=101 AskSelector=5 AskPeriod=600 sendtype=M_SP_TB_1
  TS 5 [03edh] - Подстанция.Вводы.Q1
group ТИ: type=TI ASDUaddr=31 Baseaddr=16384 AskType=100 AskSelector=0 AskPeriod=0 sendtype=M_ME_NC_1
  TI 0 [4000h] - ТИ.Ua scale=0.00100000005 offset=-1.5 options=1
  TI 1 [4001h] - ТИ.Ub scale=2500 offset=0 options=0
group МТС: type=MTS ASDUaddr=31 Baseaddr=49152 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
  MTS 2 [c002h] - МТС.РПН datalen=15 datamask=65535
group ТУ: type=TU2 ASDUaddr=31 Baseaddr=24576 AskType=100 AskSelector=0 AskPeriod=0 sendtype=C_DC_NA_1
  TU2 3 [6003h] - ТУ.Q1 & Q2 options=2
group ТР: type=TR ASDUaddr=31 Baseaddr=32768 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
  TR 4 [8004h] - ТР.Uуст options=1
group ТИИ: type=ТII ASDUaddr=31 Baseaddr=40960 AskType=101 AskSelector=5 AskPeriod=0 sendtype=0
  ТII 5 [a005h] - ТИИ.Wp scale=1 offset=0 options=0
group без типа: type=0 ASDUaddr=31 Baseaddr=0 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
group файлы: type=file ASDUaddr=31 Baseaddr=0 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
  file 1 [0001h] - файлы.конфигурация fileID=0 delay=0 filename="TVR32.cfg"
group файлы.журналы событий КП: type=file ASDUaddr=31 Baseaddr=0 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
  file 6 [0006h] - файлы.журналы событий КП.за_1_дату fileID=1 delay=500 filename="за_1_дату.txt"
group журналы аварий: type=log ASDUaddr=31 Baseaddr=0 AskType=100 AskSelector=0 AskPeriod=0 sendtype=0
  log 1 [0001h] - журналы аварий.I_a size=4 type=1 offset=2 scale=0.5
  log 2 [0002h] - журналы аварий.flags size=2 type=0 offset=0 mask=255
)";

std::string Cp1251File() {
  return Utf8ToCp1251(std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?> ") + kBody);
}
std::string Utf8File() { return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + kBody; }
std::string Utf16File() {
  std::string utf8 = std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?>") + kBody;
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char b = utf8[i];
    unsigned c;
    if (b < 0x80) { c = b; i += 1; }
    else if ((b & 0xE0) == 0xC0) { c = (b & 0x1F) << 6 | (utf8[i + 1] & 0x3F); i += 2; }
    else { c = (b & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F); i += 3; }
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

const char* kNoKindProblem = "строка 33, Group name=\"без типа\": у группы не задан тип, её элементы Item пропущены";

}  // namespace

TEST(StationXml, WorkstationFileImportsAlikeInEveryEncoding) {
  // The test writes the station in each encoding to files and reads them back as the editor
  // and the command-line tool do; the checked-in copy is what the CLI test shows.
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("t32_iec104_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct Case { const char* what; std::string bytes; } cases[] = {
      {"cp1251", Cp1251File()}, {"UTF-8", Utf8File()}, {"UTF-16", Utf16File()}};
  std::string fixture;
  ASSERT_TRUE(ReadWholeFile(T32_FIXTURES "/iec104/workstation_cp1251.xml", fixture));
  EXPECT_EQ(fixture, Cp1251File());
  for (const Case& c : cases) {
    const std::string path = (dir / (std::string(c.what) + ".xml")).string();
    ASSERT_TRUE(WriteFileAtomic(path, c.bytes));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    TWS_104 st;
    TRecordedMessages m;
    st.messages = &m;
    TImportResult r = ImportXml(st, bytes, "st.xml");
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    EXPECT_EQ(DumpStation(st), kShown) << c.what;
    ASSERT_EQ(r.problems.size(), 1u) << c.what;
    EXPECT_EQ(r.problems[0], kNoKindProblem);
    ASSERT_EQ(m.errors.size(), 1u);
    EXPECT_EQ(m.errors[0], std::string("Файл st.xml: не приняты или изменены значения:\n") + kNoKindProblem);
    EXPECT_EQ(st.active, st.main);
    EXPECT_EQ(st.activePort, 2405);
    // What the device gets: the built-in objects by bare name, then ticked objects by path.
    st.TickAll();
    std::vector<std::pair<std::string, TPProcItem*>> ticked;
    st.ListTicked(ticked);
    ASSERT_GE(ticked.size(), 5u);
    EXPECT_EQ(ticked[0].first, "состояние связи");
    EXPECT_EQ(ticked[4].first, "Подстанция.Вводы.Q1");
    EXPECT_EQ(TWS_104::AddressText(*ticked[4].second), "5 [03edh]");
  }
  std::filesystem::remove_all(dir);
}

TEST(StationXml, ReimportAddsNothingAndOverwritesGroupValues) {
  TWS_104 st;
  ASSERT_TRUE(ImportXml(st, Cp1251File(), "st.xml").ok);
  const std::vector<std::uint8_t> once = st.Serialise();
  ASSERT_TRUE(ImportXml(st, Cp1251File(), "st.xml").ok);
  EXPECT_EQ(st.Serialise(), once);
  // A second file names the same group with new values and one new item.
  std::string more = R"(<WS_IEC_870_5_104><Group name="ТИ" type="TI" Baseaddr="100">
      <Item name="Ua" address="77"/><Item name="Uc" address="2"/><Item name="Uc" address="3"/></Group></WS_IEC_870_5_104>)";
  ASSERT_TRUE(ImportXml(st, more, "more.xml").ok);
  const TGroup& ti = *st.FindChild("ТИ");
  EXPECT_EQ(ti.record.baseAddress, 100);
  EXPECT_EQ(ti.record.sendType, 13);  // M_ME_NC_1: the kind did not change, so the send type stays
  ASSERT_EQ(ti.Objects().size(), 3u);
  EXPECT_EQ(ti.Objects()[0]->address, 0);  // existing objects are left alone
  EXPECT_EQ(ti.Objects()[2]->name, "Uc");
  EXPECT_EQ(ti.Objects()[2]->address, 2);
}

TEST(StationXml, AKindChangeConvertsTheGroupsObjectsThenResetsTheSendType) {
  TWS_104 st;
  ASSERT_TRUE(ImportXml(st, Utf8File(), "st.xml").ok);
  std::string again = R"(<WS_IEC_870_5_104><Group name="ТИ" type="ТII"/><Group name="ТУ" type="TU2" sendtype="F_DR_TA_1"/>
      <Group name="ТР" type="TU1" sendtype="C_SC_NA_1"/></WS_IEC_870_5_104>)";
  ASSERT_TRUE(ImportXml(st, again, "k.xml").ok);
  const TGroup& g = *st.FindChild("ТИ");
  EXPECT_EQ(g.record.kind, kKindCounter);
  EXPECT_EQ(g.record.sendType, 0);
  const auto& ua = dynamic_cast<const TCounterItem&>(*g.Objects()[0]);
  EXPECT_EQ(ua.offset, -1.5f);  // same family: the measurement fields are kept
  EXPECT_EQ(ua.options, 1u);
  EXPECT_EQ(st.FindChild("ТУ")->record.sendType, 126);
  const TGroup& tr = *st.FindChild("ТР");
  EXPECT_EQ(tr.record.sendType, 45);
  EXPECT_STREQ(tr.Objects()[0]->ClassName(), "TTU1posItem");
  EXPECT_EQ(tr.Objects()[0]->name, "Uуст");
  EXPECT_EQ(tr.Objects()[0]->address, 4);
}

TEST(StationXml, BadFilesChangeNothingAndSayWhy) {
  std::string deep = "<WS_IEC_870_5_104>";
  for (int i = 0; i < 200000; ++i) deep += "<Group name=\"g\" type=\"TS\">";
  for (int i = 0; i < 200000; ++i) deep += "</Group>";
  deep += "</WS_IEC_870_5_104>";
  std::string big = "<WS_IEC_870_5_104><Group name=\"g\" type=\"TS\">";
  for (int i = 0; i < 80000; ++i) big += "<Item name=\"signal" + std::to_string(i) + "\" address=\"1\"/>";
  big += "</Group></WS_IEC_870_5_104>";
  const std::string body = Cp1251File();
  const std::string truncated = body.substr(0, body.find("<!--"));
  struct Case { const char* what; std::string bytes; const char* message; } cases[] = {
      {"empty", "", "Ошибка в XML-файле f.xml, строка 1, позиция 1: в файле нет ни одного элемента"},
      {"no <", "WS_IEC_870_5_104 only", "Ошибка в XML-файле f.xml, строка 1, позиция 22: в файле нет ни одного элемента"},
      {"truncated", truncated, "Ошибка в XML-файле f.xml, строка 7, позиция 1: файл оборван: не все элементы закрыты"},
      {"mismatched end tag", "<WS_IEC_870_5_104>\n<Group name=\"a\" type=\"TS\">\n</Grop>\n</WS_IEC_870_5_104>",
       "Ошибка в XML-файле f.xml, строка 3, позиция 3: конечный тег не соответствует начальному"},
      {"200,000 nested elements", deep, "В файле f.xml группы вложены глубже 64 уровней: импорт отменён"},
      {"no station element", "<WS_IEC_870_5_101/>", "В файле f.xml нет элемента WS_IEC_870_5_104"},
      {"Shift_JIS", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><WS_IEC_870_5_104/>",
       "Ошибка в XML-файле f.xml, строка 1, позиция 1: кодировка «Shift_JIS» не поддерживается (допустимы "
       "windows-1251, utf-8, us-ascii, UTF-16)"},
      {"past 1 MiB", big, "Параметры станции не могут занимать больше 1 МБ: операция отменена"},
  };
  for (const Case& c : cases) {
    TWS_104 st;
    ASSERT_TRUE(ImportXml(st, Utf8File(), "st.xml").ok);
    const std::vector<std::uint8_t> before = st.Serialise();
    TRecordedMessages m;
    st.messages = &m;
    TImportResult r = ImportXml(st, c.bytes, "f.xml");
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_EQ(r.error, c.message) << c.what;
    EXPECT_EQ(m.errors, std::vector<std::string>{c.message}) << c.what;
    EXPECT_EQ(st.Serialise(), before) << c.what;
  }
}

TEST(StationXml, UnusableValuesAreListedAndLeaveTheirFields) {
  std::string xml = "<WS_IEC_870_5_104 ASDUaddr=\"70000\">\n"
                    "<BaseChannel Port=\"70000\" RemoteIP=\"300.1.1.1\" LocalIP=\"1.2.3\" t1=\"abc\" k=\"51\"/>\n"
                    "<Common AskOnConnect=\"yes\"/>\n"
                    "<Group name=\"g\" type=\"XX\" Baseaddr=\"16777216\" AskSelector=\"17\"/>\n"
                    "<Group name=\"t\" type=\"TI\" sendtype=\"M_XX\">\n"
                    "<Item name=\"中\" address=\"-1\" scale=\"1e39\"/><Item address=\"1\"/>\n"
                    "<Item name=\"" + std::string(300, 'x') + "\" offset=\"0.5.1\"/></Group>\n"
                    "</WS_IEC_870_5_104>";
  TWS_104 st;
  TImportResult r = ImportXml(st, xml, "v.xml");
  ASSERT_TRUE(r.ok) << r.error;
  const std::vector<std::string> want = {
      "строка 1, WS_IEC_870_5_104 ASDUaddr=\"70000\": вне диапазона 0..65535",
      "строка 3, Common AskOnConnect=\"yes\": ожидается 0, 1, false или true",
      "строка 2, BaseChannel LocalIP=\"1.2.3\": ожидается IP-адрес из четырёх чисел через точку",
      "строка 2, BaseChannel RemoteIP=\"300.1.1.1\": часть адреса вне диапазона 0..255",
      "строка 2, BaseChannel Port=\"70000\": вне диапазона 0..65535",
      "строка 2, BaseChannel t1=\"abc\": не число",
      "строка 2, BaseChannel k=\"51\": вне диапазона 0..50",
      "строка 4, Group type=\"XX\": неизвестный тип, оставлен прежний",
      "строка 4, Group Baseaddr=\"16777216\": вне диапазона 0..16777215",
      "строка 4, Group AskSelector=\"17\": вне диапазона 0..16",
      "строка 5, Group sendtype=\"M_XX\": неизвестный тип ASDU",
      "строка 6, Item name=\"中\": символы, которых нет в кодировке windows-1251, заменены на «?»",
      "строка 6, Item address=\"-1\": вне диапазона 0..16777215",
      "строка 6, Item scale=\"1e39\": вне диапазона чисел с плавающей точкой",
      "строка 6, Item: нет атрибута name, объект пропущен",
      "строка 7, Item name=\"" + std::string(60, 'x') + "…\": текст длиннее 255 символов обрезан",
      "строка 7, Item offset=\"0.5.1\": не число",
  };
  EXPECT_EQ(r.problems, want);
  TChannel104 defaults;
  EXPECT_EQ(st.main, defaults);
  EXPECT_EQ(st.extra.mainPort, 0);
  EXPECT_EQ(st.settings.commonAddress, 0);
  EXPECT_EQ(st.settings.noGiOnConnect, 0);
  const TGroup& g = *st.FindChild("g");
  EXPECT_EQ(g.record.kind, 0);
  const TGroup& t = *st.FindChild("t");
  ASSERT_EQ(t.Objects().size(), 2u);
  EXPECT_EQ(t.Objects()[0]->name, "?");
  EXPECT_EQ(t.Objects()[0]->address, 0);
  EXPECT_EQ(static_cast<const TTIitem&>(*t.Objects()[0]).scale, 1.0f);
  EXPECT_EQ(t.Objects()[1]->name, std::string(255, 'x'));
}
