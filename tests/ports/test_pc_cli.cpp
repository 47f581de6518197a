// The port verbs of the command line with workstations, as a user runs them: the sample's
// workstations and output port, a workstation named by its position, the XML export.
#include <gtest/gtest.h>

#include "run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "model/cp1251.h"
#include "model/fileio.h"

#ifdef T32_CLI
namespace {
namespace fs = std::filesystem;

using t32::test::TRun;
using t32::test::RunCli;
}  // namespace

TEST(PortsCli, WorkstationsInTheSampleAndTheirXml) {
  fs::path dir = fs::temp_directory_path() / ("t32pccli." + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string cfg = (dir / "s.cfg").string();
  ASSERT_EQ(RunCli("new --sample '" + cfg + "'").exit, 0);
  TRun dump = RunCli("dump '" + cfg + "'");
  ASSERT_EQ(dump.exit, 0);
  EXPECT_NE(dump.output.find("связь_1_Порт ПЭВМ_Щит"), std::string::npos);
  EXPECT_NE(dump.output.find("[TPortMEK104 119]"), std::string::npos);

  TRun sig = RunCli("signals '" + cfg + "' 0_Порт_IP/2");
  EXPECT_EQ(sig.exit, 0) << sig.output;
  EXPECT_NE(sig.output.find("ТС\t0\t8192\t"), std::string::npos) << sig.output;

  std::string xml = (dir / "ws.xml").string();
  TRun ex = RunCli("export-signals '" + cfg + "' 0/2 '" + xml + "'");
  ASSERT_EQ(ex.exit, 0) << ex.output;
  std::string text;
  ASSERT_TRUE(t32::ReadWholeFile(xml, text));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\"?> \r\n", 0), 0u);
  EXPECT_NE(t32::Cp1251ToUtf8(text).find("<Group name=\"ТС\" type=\"TS\""), std::string::npos);

  TRun notPc = RunCli("export-signals '" + cfg + "' 1 '" + (dir / "x.xml").string() + "'");
  EXPECT_EQ(notPc.exit, 1);
  EXPECT_NE(notPc.output.find("only a workstation"), std::string::npos) << notPc.output;
  EXPECT_FALSE(fs::exists(dir / "x.xml"));
  EXPECT_EQ(RunCli("signals '" + cfg + "' 0/3").exit, 1);  // two workstations only
  fs::remove_all(dir);
}
#endif
