// tavrik32-cli mib: what it prints, where, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

struct TRun {
  int status = -1;
  std::string out, err;
};

TRun RunCli(const std::string& args) {
  char errPath[] = "/tmp/t32clierrXXXXXX";
  int fd = ::mkstemp(errPath);
  ::close(fd);
  TRun r;
  FILE* p = ::popen((std::string(T32_CLI) + " mib " + args + " 2>" + errPath).c_str(), "r");
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(errPath);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  std::remove(errPath);
  return r;
}

}  // namespace

TEST(MibCli, ListsOidsLikeSnmptranslateAndReportsFailures) {
  char tmpl[] = "/tmp/t32mibcliXXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  std::ofstream(dir + "/BASE.txt") << "BASE DEFINITIONS ::= BEGIN\nbase OBJECT IDENTIFIER ::= { iso 3 6 1 4 1 99 }\nEND\n";
  std::ofstream(dir + "/T-MIB") << "T-MIB DEFINITIONS ::= BEGIN\nIMPORTS base FROM BASE  zzz FROM NOWHERE-MIB;\n"
                                   "tMib MODULE-IDENTITY\n  DESCRIPTION \"t\"\n  ::= { base 1 }\n"
                                   "  up OBJECT-TYPE\n    SYNTAX TimeTicks\n    MAX-ACCESS read-only\n    ::= { tMib 3 }\n"
                                   "  name OBJECT-TYPE\n    SYNTAX DisplayString\n    MAX-ACCESS read-only\n    ::= { tMib 4 }\nEND\n";
  TRun oids = RunCli(dir + "/T-MIB --oids");
  EXPECT_EQ(oids.status, 0);
  EXPECT_EQ(oids.out, "\"up\"\t\"1.3.6.1.4.1.99.1.3\"\n");
  EXPECT_NE(oids.err.find("Модуль: tMib"), std::string::npos);
  // Both imports of one line are followed: BASE gives the identifiers, NOWHERE-MIB is missing.
  EXPECT_NE(oids.err.find("NOWHERE-MIB.my файл не найден "), std::string::npos) << oids.err;
  EXPECT_EQ(oids.err.find("BASE "), std::string::npos) << oids.err;

  TRun full = RunCli(dir + "/T-MIB");
  EXPECT_EQ(full.status, 0);
  EXPECT_NE(full.out.find("module tMib"), std::string::npos);
  EXPECT_NE(full.out.find("1.3.6.1.4.1.99.1.3"), std::string::npos);
  EXPECT_NE(full.out.find("read-only"), std::string::npos);

  TRun missing = RunCli(dir + "/NO-SUCH-MIB");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find(" файл не найден "), std::string::npos);

  EXPECT_EQ(RunCli("").status, 2);
  EXPECT_EQ(RunCli("--bogus x").status, 2);
  std::filesystem::remove_all(dir);
}
