// The IEC 61850 verb of the command line as a user runs it: a device added from the sample SCL
// file with a measurement and a control object picked, shown by dump; a pick that is not in the
// model and a missing address.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "ports/ied_types.h"
#include "ports/port_61850.h"
#include "ports/port_menu.h"
#include "ports/register.h"

#ifdef T32_CLI
namespace {
namespace fs = std::filesystem;

struct TRun {
  int exit = -1;
  std::string output;
};

TRun Cli(const std::string& args) {
  TRun r;
  std::string cmd = std::string(T32_CLI) + " " + args + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = ::pclose(p);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
}  // namespace

TEST(Iec61850Cli, AddFromSclWithPicksAndDump) {
  fs::path dir = fs::temp_directory_path() / ("t32iec61850cli." + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string cfg = (dir / "a.cfg").string();
  const std::string icd = std::string(T32_FIXTURES) + "/scl/sample.icd";
  ASSERT_EQ(Cli("new '" + cfg + "'").exit, 0);
  TRun add = Cli("iec61850 add '" + cfg + "' --scl '" + icd + "' --ip 10.0.0.7 --pick 'IED1LD0/MMXU1$MX$PhV' --pick 'IED1LD0/XCBR1$CO$Pos'");
  ASSERT_EQ(add.exit, 0) << add.output;
  EXPECT_EQ(add.output, "7_IED\n");
  TRun dump = Cli("dump '" + cfg + "'");
  ASSERT_EQ(dump.exit, 0) << dump.output;
  EXPECT_NE(dump.output.find("report: Rep_DSetTI datset=DSetTI trgops=0x0C"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("dataset: DSetTU members=1 read=0 must-exist"), std::string::npos);
  EXPECT_NE(dump.output.find("list ТУ: XCBR1$CO$Pos"), std::string::npos);
  EXPECT_NE(dump.output.find("\"1_Порт.7_IED.MMXU1$MX$PhV$phsA\""), std::string::npos);

  TRun bad = Cli("iec61850 add '" + cfg + "' --scl '" + icd + "' --ip 10.0.0.8 --pick 'IED1LD0/NONE$MX$X'");
  EXPECT_EQ(bad.exit, 1);
  EXPECT_NE(bad.output.find("IED1LD0/NONE$MX$X"), std::string::npos);
  EXPECT_EQ(Cli("iec61850 add '" + cfg + "' --scl '" + icd + "'").exit, 2);
  fs::remove_all(dir);
}

TEST(Iec61850Cli, InfoAndCheckReadDeviceTypeFiles) {
  fs::path dir = fs::temp_directory_path() / ("t32iedcli." + std::to_string(::getpid()));
  fs::create_directories(dir);
  t32::TRecordedMessages m;
  t32::TDocument doc(&m, &t32::PortsFactory());
  auto* port = static_cast<t32::TPort61850*>(t32::AddPortFromMenu(doc, 124)->Item());
  t32::TRTU61850* dev = port->AddDevice();
  dev->name = "Relay";
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(t32::IedFileBytes(*dev, "Relay.ied", bytes, nullptr));
  const std::string good = (dir / "Relay.ied").string(), bad = (dir / "Bad.ied").string();
  ASSERT_TRUE(t32::WriteFileAtomic(good, std::string(bytes.begin(), bytes.end())));
  bytes[150] ^= 0x55;
  ASSERT_TRUE(t32::WriteFileAtomic(bad, std::string(bytes.begin(), bytes.end())));
  TRun check = Cli("check '" + good + "'");
  EXPECT_EQ(check.exit, 0) << check.output;
  EXPECT_NE(check.output.find("ok (device type Relay)"), std::string::npos) << check.output;
  TRun info = Cli("info '" + good + "'");
  EXPECT_EQ(info.exit, 0) << info.output;
  EXPECT_NE(info.output.find("signature:   Sign:IEC61850"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("device type: Relay"), std::string::npos);
  TRun broken = Cli("check '" + bad + "'");
  EXPECT_EQ(broken.exit, 1);
  EXPECT_NE(broken.output.find("неверная контрольная сумма"), std::string::npos) << broken.output;
  fs::remove_all(dir);
}
#endif
