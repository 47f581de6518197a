// The IEC 104 device verbs of the command line as a user runs them: the sample's devices shown,
// a station imported from an XML file with every object ticked, and a device that is not there.
#include <gtest/gtest.h>

#include "run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#ifdef T32_CLI
namespace {
namespace fs = std::filesystem;

using t32::test::TRun;
TRun Cli(const std::string& args) { return t32::test::RunCli(args); }
}  // namespace

TEST(Rtu104Cli, SampleShowAndImportWithTicks) {
  fs::path dir = fs::temp_directory_path() / ("t32rtu104cli." + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string cfg = (dir / "s.cfg").string(), out = (dir / "o.cfg").string();
  ASSERT_EQ(Cli("new --sample '" + cfg + "'").exit, 0);
  TRun dump = Cli("dump '" + cfg + "'");
  const std::size_t at = dump.output.find("Порт МЭК 870-5-104");
  ASSERT_NE(at, std::string::npos);
  // The port's caption begins with its number: the devices are found under it by position.
  const std::size_t lineStart = dump.output.rfind('\n', at) + 1;
  std::string port = dump.output.substr(lineStart, at - lineStart);
  port = port.substr(port.find_first_not_of(' '));
  port = port.substr(0, port.find('_'));

  TRun show = Cli("iec104 show '" + cfg + "' " + port + "/1");
  ASSERT_EQ(show.exit, 0) << show.output;
  EXPECT_NE(show.output.find("ТС 0 " + port + "_Порт.11_RTU.Входы_Q1_ready"), std::string::npos) << show.output;
  EXPECT_NE(show.output.find("МТС 0 " + port + "_Порт.11_RTU.состояние связи"), std::string::npos);

  const std::string xml = std::string(T32_FIXTURES) + "/iec104/workstation_cp1251.xml";
  TRun imp = Cli("iec104 import '" + cfg + "' " + port + "/12_RTU '" + xml + "' '" + out + "' --tick all");
  ASSERT_EQ(imp.exit, 0) << imp.output;
  TRun again = Cli("iec104 show '" + out + "' " + port + "/2");
  ASSERT_EQ(again.exit, 0) << again.output;
  EXPECT_NE(again.output.find("ТИИ 0 " + port + "_Порт.20_RTU.ТИИ_Wp"), std::string::npos) << again.output;
  EXPECT_NE(again.output.find("ТР 1 " + port + "_Порт.20_RTU.ТР_Uуст"), std::string::npos);

  EXPECT_EQ(Cli("iec104 show '" + out + "' " + port + "/9").exit, 1);
  EXPECT_EQ(Cli("iec104 import '" + out + "'").exit, 2);
  fs::remove_all(dir);
}
#endif
