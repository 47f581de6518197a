// "new --sample" as a user runs it: the KP port with its stations, the three meter ports, the
// ЦП8500 and the МКТ-3 port, each with what it holds, shown by "dump".
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#ifdef T32_CLI
namespace {
namespace fs = std::filesystem;

std::string RunCli(const std::string& args, int* exit) {
  std::string out;
  FILE* p = ::popen((std::string(T32_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = ::pclose(p);
  *exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}
}  // namespace

TEST(KPCli, SampleHoldsEveryNewPortWithItsChildren) {
  fs::path dir = fs::temp_directory_path() / ("t32kpcli." + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string cfg = (dir / "s.cfg").string();
  int exit = -1;
  RunCli("new --sample '" + cfg + "'", &exit);
  ASSERT_EQ(exit, 0);
  std::string dump = RunCli("dump '" + cfg + "'", &exit);
  EXPECT_EQ(exit, 0);
  for (const char* want : {"_Порт опроса КП  [TPortKP 112]", "5_КП  [TKP 206]", "7_КП  [TKP 206]", ". groupTypes = [",
                           "3_CC301  [TCC301 216]", "3_CE303  [TCE303 217]", "100500_CE318  [TCE318 233]",
                           "_Порт ЦП8500  [TPortCP8500 116]", ".12.Пр3\"", "_Порт MKT-3  [TPortMKT3 103]",
                           ". tiGroups = "})
    EXPECT_NE(dump.find(want), std::string::npos) << want;
  fs::remove_all(dir);
}
#endif
