// The configurator's commands against the simulated controller, over UDP on loopback and over
// a pseudo-terminal pair: transfers, retries under injected faults, login, clock, restart.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "link/config_transfer.h"
#include "link/controller.h"
#include "model/controller.h"
#include "model/document.h"
#include "model/port_ip.h"
#include "link/link.h"
#include "link/password.h"
#include "model/crc32.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "server.h"
#include "sim.h"

using namespace t32;
using namespace t32::link;
using namespace t32::rtusim;
namespace fs = std::filesystem;

namespace {

enum class TLine { kUdp, kPty };

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t((i * 31 + seed) ^ (i >> 3));
  return v;
}

std::vector<std::uint8_t> ReadDisk(const fs::path& p) {
  std::string s;
  if (!ReadWholeFile(p.string(), s)) return {};
  return {s.begin(), s.end()};
}

void WriteDisk(const fs::path& p, std::string_view bytes) { ASSERT_TRUE(WriteFileAtomic(p.string(), bytes)); }

class LinkEndToEnd : public ::testing::TestWithParam<TLine> {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/t32-link-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    WriteDisk(dir_ / "Boot.ini", "[Boot]\r\nLastVersion=4.16.3\r\nConfigFilename=TVR32.cfg\r\n");
    sim_ = std::make_unique<TRtuSimulator>(dir_.string());

    TLinkSettings s;
    // Short waits keep lost answers cheap; the serial inter-byte gap stays generous so a busy
    // machine does not split a frame.
    s.timeouts.udpAnswerMs = 250;
    s.timeouts.serialReadBaseMs = 250;
    s.timeouts.serialReadPerByteMs = 0;
    s.timeouts.serialInterByteMs = 200;
    std::string error;
    if (GetParam() == TLine::kUdp) {
      auto udp = std::make_unique<TUdpServer>(*sim_);
      ASSERT_TRUE(udp->Bind(0x7F000001, 0, error)) << error;
      s.kind = TLinkKind::kUdp;
      s.ownIp = 0x7F000001;
      s.localPort = 0;
      s.controllerIp = 0x7F000001;
      s.remotePort = udp->Port();
      server_ = std::move(udp);
    } else {
      auto ser = std::make_unique<TSerialServer>(*sim_);
      std::string path;
      ASSERT_TRUE(ser->OpenPty(path, error)) << error;
      s.kind = TLinkKind::kSerial;
      s.serialDevice = path;
      server_ = std::move(ser);
    }
    server_->Start();
    link_ = std::make_unique<TLink>(msgs_);
    link_->Configure(s);
    ctl_ = std::make_unique<link::TController>(*link_, msgs_);
    ctl_->SetDiskPauseMs(0);
    ctl_->Login().Set("admin", "secret");
  }

  void TearDown() override {
    ctl_.reset();
    link_.reset();
    if (server_) server_->Stop();
    server_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Frames the simulator received for one command code.
  std::vector<std::vector<std::uint8_t>> FramesOf(std::uint8_t command) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& f : sim_->Frames())
      if (f.size() > 1 && f[1] == command) out.push_back(f);
    return out;
  }

  void UsePasswordFile(const char* user, const char* password) {
    std::string line = std::string(user) + "=" + PasswordWireForm(password) + "\r\n";
    WriteDisk(dir_ / "Password.ini", "[Users]\r\n" + line);
  }

  fs::path dir_;
  TRecordedMessages msgs_;
  std::unique_ptr<TRtuSimulator> sim_;
  std::unique_ptr<TServer> server_;
  std::unique_ptr<TLink> link_;
  std::unique_ptr<link::TController> ctl_;
};

TEST_P(LinkEndToEnd, Reads300BytesInThreePieces) {
  auto file = Pattern(300, 1);
  WriteDisk(dir_ / "DATA.BIN", std::string(file.begin(), file.end()));
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(ctl_->ReadControllerFile("data.bin", got)) << (msgs_.errors.empty() ? "" : msgs_.errors[0]);
  EXPECT_EQ(got, file);
  EXPECT_TRUE(msgs_.errors.empty());
  auto reads = FramesOf(kCmdReadPiece);
  ASSERT_EQ(reads.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(GetU32(reads[i].data() + 2), 128 * i);
    EXPECT_EQ(GetU32(reads[i].data() + 6), 300u);
    EXPECT_EQ(reads[i][10], 128);  // the last one too: its 44-byte answer is accepted as last
  }
}

TEST_P(LinkEndToEnd, Writes300BytesIn128128And44) {
  auto file = Pattern(300, 2);
  ASSERT_TRUE(ctl_->WriteControllerFile("OUT.BIN", file));
  EXPECT_TRUE(msgs_.errors.empty());
  EXPECT_EQ(ReadDisk(dir_ / "OUT.BIN"), file);
  auto writes = FramesOf(kCmdWritePiece);
  ASSERT_EQ(writes.size(), 3u);
  const std::uint8_t lengths[] = {128, 128, 44};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& w = writes[i];
    ASSERT_EQ(w.size(), 163u);  // n = 161 with a user name, so all 128 data bytes travel
    EXPECT_EQ(w[23], lengths[i]);
    EXPECT_EQ(GetU32(w.data() + 15), 128 * i);
    std::vector<std::uint8_t> area(w.begin() + 24, w.begin() + 152), want(128, 0);
    std::copy(file.begin() + long(128 * i), file.begin() + long(128 * i + lengths[i]), want.begin());
    EXPECT_EQ(area, want) << "piece " << i;
    EXPECT_EQ(GetU32(w.data() + 156), Crc32NoFinal(file.data(), file.size()));
  }
  ASSERT_EQ(msgs_.questions.size(), 1u);
  EXPECT_EQ(msgs_.questions[0].rfind("Записать в RTU", 0), 0u);
}

TEST_P(LinkEndToEnd, NamesLongerThanTwelveAreRefused) {
  // Cut to 12 characters the name would be another file ("LONGFILENAME").
  WriteDisk(dir_ / "LONGFILENAME", "other");
  const std::string text =
      "Имя файла «LONGFILENAME_X.BIN» длиннее 12 символов: контроллер хранит файлы только с такими короткими "
      "именами.";
  EXPECT_FALSE(ctl_->WriteControllerFile("LONGFILENAME_X.BIN", Pattern(10, 9)));
  std::vector<std::uint8_t> got;
  EXPECT_FALSE(ctl_->ReadControllerFile("LONGFILENAME_X.BIN", got));
  EXPECT_EQ(msgs_.errors, (std::vector<std::string>{text, text}));
  EXPECT_TRUE(sim_->Frames().empty());
  EXPECT_EQ(ReadDisk(dir_ / "LONGFILENAME"), (std::vector<std::uint8_t>{'o', 't', 'h', 'e', 'r'}));
  // Twelve characters exactly still go.
  ASSERT_TRUE(ctl_->WriteControllerFile("ABCDEFGH.BIN", Pattern(10, 9)));
  EXPECT_EQ(ReadDisk(dir_ / "ABCDEFGH.BIN"), Pattern(10, 9));
}

TEST_P(LinkEndToEnd, WriteWithoutUserSendsShortFrames) {
  ctl_->Login().Set("", "");
  auto file = Pattern(300, 3);
  ASSERT_TRUE(ctl_->WriteControllerFile("OUT.BIN", file));
  auto writes = FramesOf(kCmdWritePiece);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0][0], 128 + 25);
  EXPECT_EQ(writes[2][0], 44 + 25);
  EXPECT_EQ(ReadDisk(dir_ / "OUT.BIN"), file);
}

TEST_P(LinkEndToEnd, TransfersSurviveOccasionalFaults) {
  auto file = Pattern(700, 4);
  WriteDisk(dir_ / "SRC.BIN", std::string(file.begin(), file.end()));
  // Requests: 0 open disk, 1 find, 2.. read pieces.
  sim_->ScriptFault(2, TFaultKind::kDrop);
  sim_->ScriptFault(4, TFaultKind::kCorrupt);
  sim_->ScriptFault(6, TFaultKind::kShort);
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(ctl_->ReadControllerFile("SRC.BIN", got));
  EXPECT_EQ(got, file);
  EXPECT_EQ(FramesOf(kCmdReadPiece).size(), 6u + 3);
  EXPECT_TRUE(msgs_.errors.empty());

  // Writing: a lost answer and a bad check byte; repeated pieces must not damage the file.
  std::uint64_t base = sim_->Stats().requests;
  sim_->ScriptFault(base + 2, TFaultKind::kDrop);
  sim_->ScriptFault(base + 7, TFaultKind::kCorrupt);  // the last piece's answer
  ASSERT_TRUE(ctl_->WriteControllerFile("DST.BIN", file));
  EXPECT_EQ(ReadDisk(dir_ / "DST.BIN"), file);
  EXPECT_TRUE(msgs_.errors.empty());
}

TEST_P(LinkEndToEnd, PersistentFaultsEndInTheRightMessage) {
  auto file = Pattern(300, 5);
  WriteDisk(dir_ / "SRC.BIN", std::string(file.begin(), file.end()));
  TFaults f;
  f.shortShare = 1;  // every read answer carries half its data
  sim_->SetFaults(f);
  std::vector<std::uint8_t> got;
  EXPECT_FALSE(ctl_->ReadControllerFile("SRC.BIN", got));
  EXPECT_EQ(FramesOf(kCmdReadPiece).size(), 3u);  // three attempts at the first piece, then stop
  ASSERT_EQ(msgs_.errors.size(), 1u);
  EXPECT_EQ(msgs_.errors[0], "Ошибка чтения файла. Контроллер передал неполный сегмент файла.");

  msgs_.errors.clear();
  f = {};
  f.corruptShare = 1;
  f.errorCommand = 0;
  sim_->SetFaults(f);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ctl_->WriteControllerFile("DST.BIN", file));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // The open-disk exchange runs with messages on: its own failure, then the command's.
  EXPECT_EQ(msgs_.errors, (std::vector<std::string>{" Ошибка контрольной суммы ответа.", "Ошибка поиска диска"}));

  msgs_.errors.clear();
  f = {};
  f.dropShare = 1;
  sim_->SetFaults(f);
  EXPECT_FALSE(ctl_->ReadControllerFile("SRC.BIN", got));
  EXPECT_EQ(msgs_.errors, (std::vector<std::string>{"Нет ответа.", "Ошибка поиска диска"}));
}

TEST_P(LinkEndToEnd, AnsweredErrorCodesStopAtOnce) {
  TFaults f;
  f.errorCode = std::uint16_t(0x400 | (39 << 5) | 22);
  sim_->SetFaults(f);
  EXPECT_FALSE(ctl_->WriteControllerFile("DST.BIN", Pattern(300, 6)));
  EXPECT_EQ(FramesOf(kCmdWritePiece).size(), 1u);
  ASSERT_EQ(msgs_.errors.size(), 1u);
  EXPECT_EQ(msgs_.errors[0], "Ошибка записи файла. \nОшибка записи сегмента.\nКод ошибки -22\nDISK_FULL");
  EXPECT_TRUE(ctl_->Login().loggedIn);  // only 1234 clears the login
  EXPECT_FALSE(fs::exists(dir_ / "DST.BIN"));
}

TEST_P(LinkEndToEnd, WrongPasswordClearsTheLogin) {
  UsePasswordFile("admin", "secret");
  ctl_->Login().Set("admin", "wrong");
  int asked = 0;
  ctl_->SetLoginProvider([&](TLogin& login) {
    ++asked;
    login.Set("admin", "secret");
    return true;
  });
  auto file = Pattern(200, 7);
  EXPECT_FALSE(ctl_->WriteControllerFile("DST.BIN", file));
  ASSERT_EQ(msgs_.errors.size(), 1u);
  EXPECT_EQ(msgs_.errors[0], "Ошибка записи файла. Не верный пароль.");
  EXPECT_FALSE(ctl_->Login().loggedIn);
  EXPECT_EQ(asked, 0);

  ASSERT_TRUE(ctl_->WriteControllerFile("DST.BIN", file));  // asks for the login again
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadDisk(dir_ / "DST.BIN"), file);

  // Reading with a wrong password is refused too (the login is kept: only writes clear it).
  ctl_->Login().Set("admin", "nope");
  std::vector<std::uint8_t> got;
  EXPECT_FALSE(ctl_->ReadControllerFile("DST.BIN", got));
  EXPECT_EQ(msgs_.errors.back(), "Ошибка чтения файла. Не верный пароль.");
}

TEST_P(LinkEndToEnd, BootIniDecidesNamesAndCpu) {
  TBootInfo boot;
  ASSERT_TRUE(ctl_->ReadBootIni("ConfigFilename", boot));
  EXPECT_EQ(boot.fileName, "TVR32.cfg");
  EXPECT_EQ(boot.cpu, TCpuType::kCpu927);
  EXPECT_EQ(boot.minorVersion, 16);
  ASSERT_TRUE(ctl_->ReadBootIni("AutoFilename", boot));
  EXPECT_EQ(boot.fileName, "Auto.shm");

  fs::remove(dir_ / "Boot.ini");
  EXPECT_FALSE(ctl_->ReadBootIni("ConfigFilename", boot));
  EXPECT_EQ(msgs_.errors, (std::vector<std::string>{"Ошибка. Не известный тип контроллера."}));
  WriteDisk(dir_ / "TavC_TV.cfg", "x");
  msgs_.errors.clear();
  EXPECT_FALSE(ctl_->ReadBootIni("ConfigFilename", boot));
  EXPECT_EQ(msgs_.errors, (std::vector<std::string>{"Ошибка. DOS версия контроллера."}));
  msgs_.errors.clear();
  std::vector<std::uint8_t> got;
  EXPECT_FALSE(ctl_->ReadControllerFile("NONE.BIN", got));
  EXPECT_EQ(msgs_.errors, (std::vector<std::string>{"Ошибка поиска файла"}));
}

TEST_P(LinkEndToEnd, ClockRestartAndValues) {
  ASSERT_TRUE(ctl_->SetClock(TClockTime{2025, 3, 4, 10, 20, 30, 500}));
  auto times = FramesOf(kCmdSetTime);
  ASSERT_EQ(times.size(), 1u);
  EXPECT_EQ(std::vector<std::uint8_t>(times[0].begin() + 2, times[0].begin() + 9),
            (std::vector<std::uint8_t>{0x24, 0x77, 20, 10, 4, 3, 25}));
  auto st = sim_->Stats();
  EXPECT_EQ(st.clock.second, 30);
  EXPECT_EQ(st.clock.millisecond, 500);

  ASSERT_TRUE(ctl_->Restart());
  // Nothing answers a restart, so wait (briefly) until the simulator has taken the frame in.
  for (int i = 0; i < 200 && sim_->Stats().restarts == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  auto frames = sim_->Frames();
  EXPECT_EQ(frames.back(), (std::vector<std::uint8_t>{1, 0x88, 0x88}));
  std::string q = GetParam() == TLine::kUdp ? "Перезапустить RTU c IP адресом \n\n127.0.0.1" : "Перезапустить RTU";
  EXPECT_EQ(msgs_.questions.back(), q);
  msgs_.answer = kNo;
  std::size_t before = sim_->Frames().size();
  EXPECT_FALSE(ctl_->Restart());
  EXPECT_EQ(sim_->Frames().size(), before);

  sim_->SetValue(0x4003, 0xCAFEBABE);
  std::uint32_t v = 1;
  ASSERT_TRUE(ctl_->ReadValue(0x4003, v));
  EXPECT_EQ(v, 0xCAFEBABEu);
  ASSERT_TRUE(ctl_->BeginLiveValues());
  for (int i = 0; i < 3; ++i) {
    sim_->SetValue(0x2000, std::uint32_t(i));
    ASSERT_TRUE(ctl_->ReadLiveValue(0x2000, v));
    EXPECT_EQ(v, std::uint32_t(i));
  }
  ctl_->EndLiveValues();
  TFaults f;
  f.corruptShare = 1;
  sim_->SetFaults(f);
  EXPECT_FALSE(ctl_->ReadValue(0x4003, v));
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(FramesOf(kCmdReadValue).size(), 1u + 3 + 2);  // two attempts on failure
  EXPECT_TRUE(msgs_.errors.empty());
}

TEST_P(LinkEndToEnd, SecondCommandIsRefusedWhileOneRuns) {
  auto file = Pattern(2000, 8);
  WriteDisk(dir_ / "BIG.BIN", std::string(file.begin(), file.end()));
  TFaults f;
  f.delayMs = 20;
  sim_->SetFaults(f);
  std::vector<std::uint8_t> got;
  bool ok = false;
  std::thread worker([&] { ok = ctl_->ReadControllerFile("BIG.BIN", got); });
  while (!ctl_->Busy()) std::this_thread::yield();
  EXPECT_FALSE(ctl_->SetClock());
  worker.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, file);
  ASSERT_EQ(msgs_.errors.size(), 1u);
  EXPECT_EQ(msgs_.errors[0], kTextCommandBusy);
}

TEST_P(LinkEndToEnd, CancelEndsAWaitAtOnce) {
  TLinkSettings s = link_->Settings();
  s.timeouts.udpAnswerMs = 20000;
  s.timeouts.serialReadBaseMs = 20000;
  link_->Configure(s);
  TFaults f;
  f.dropShare = 1;
  sim_->SetFaults(f);
  std::vector<std::uint8_t> got;
  auto start = std::chrono::steady_clock::now();
  std::thread canceller([&] {
    while (!ctl_->Busy()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ctl_->Cancel();
  });
  EXPECT_FALSE(ctl_->ReadControllerFile("X", got));
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_P(LinkEndToEnd, ConfigurationTravelsAndComesBackTheSame) {
  struct Case {
    const char* boot;
    std::uint8_t type;
    TCpu cpu;
  } cases[] = {
      {"[Boot]\r\nLastVersion=4.16.3\r\n", 9, TCpu::Cpu927},  // new CPU-927 program: compressed
      {"[Boot]\r\nLastVersion=4.15\r\n", 7, TCpu::Cpu927},
      {"[Boot]\r\nLastVersion=3.02\r\n", 5, TCpu::Cpu6358},
  };
  for (const auto& c : cases) {
    WriteDisk(dir_ / "Boot.ini", c.boot);
    TDocument a(&msgs_);
    a.Proc()->place = "ПС «Тест» " + std::to_string(c.type);
    a.Proc()->stationAddress = 77;
    a.PortIP()->net1Address = 0x0A000001;
    TCpu cpu = TCpu::Cpu6358;
    ASSERT_TRUE(WriteConfiguration(*ctl_, a, &cpu)) << c.boot;
    EXPECT_EQ(cpu, c.cpu);
    auto disk = ReadDisk(dir_ / "TVR32.cfg");
    ASSERT_GT(disk.size(), 16u);
    EXPECT_EQ(disk[15], c.type) << c.boot;
    TDocument b(&msgs_);
    TCpu back = TCpu::Cpu6358;
    ASSERT_TRUE(ReadConfiguration(*ctl_, b, &back)) << c.boot;
    EXPECT_EQ(back, c.cpu);
    EXPECT_EQ(b.Dump(), a.Dump()) << c.boot;
  }
  // An image of the other CPU type is refused and the tree stays.
  WriteDisk(dir_ / "Boot.ini", "[Boot]\r\nLastVersion=4.16\r\n");
  TDocument c(&msgs_);
  ASSERT_TRUE(WriteConfiguration(*ctl_, c));
  WriteDisk(dir_ / "Boot.ini", "[Boot]\r\nLastVersion=3.16\r\n");
  TDocument d(&msgs_);
  d.Proc()->stationAddress = 5;
  EXPECT_FALSE(ReadConfiguration(*ctl_, d));
  EXPECT_EQ(d.Proc()->stationAddress, 5);
}

INSTANTIATE_TEST_SUITE_P(Lines, LinkEndToEnd, ::testing::Values(TLine::kUdp, TLine::kPty),
                         [](const auto& info) { return info.param == TLine::kUdp ? "Udp" : "Pty"; });

}  // namespace
