// The "iec103" verb as a user runs it on a library folder: types with a repeated one, what a
// type gives a device, and check listing every bad line with exit status 1.
#include <gtest/gtest.h>

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

struct TRun {
  int exit = -1;
  std::string output;  // stdout and stderr together
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

TEST(Iec103Cli, TypesShowAndCheck) {
  fs::path dir = fs::temp_directory_path() / ("t32iec103cli." + std::to_string(::getpid()));
  fs::create_directories(dir);
  t32::WriteFileAtomic((dir / "a.ini").string(),
                       t32::Utf8ToCp1251("[Устройства]\r\nРеле=\r\n[Таблица ТС]\r\nТС_1=160 16\r\nТС_2=300 5\r\n"
                                         "[Список ТС]\r\n160 16=Авария\r\n"));
  t32::WriteFileAtomic((dir / "b.ini").string(), t32::Utf8ToCp1251("[Устройства]\r\nРеле=\r\nДругое=\r\n"));
  const std::string lib = " --library '" + dir.string() + "'";

  TRun types = Cli("iec103 types" + lib);
  EXPECT_EQ(types.exit, 0);
  EXPECT_EQ(types.output, "Другое\tb.ini\nРеле\ta.ini\nРеле\tb.ini\tскрыт: описан в a.ini\n");

  TRun check = Cli("iec103 check" + lib);
  EXPECT_EQ(check.exit, 1);
  EXPECT_EQ(check.output,
            "Файл a.ini, раздел [Таблица ТС], ключ ТС_2: недопустимое значение \"300 5\"\n"
            "Тип Реле в файле b.ini повторяет тип из a.ini\n");

  TRun show = Cli("iec103 show Другое" + lib);
  EXPECT_EQ(show.exit, 0);
  EXPECT_EQ(show.output, "type Другое (b.ini)\n  ТС []\n  ТИ []\n  ТУ []\n");
  EXPECT_EQ(Cli("iec103 show Нет" + lib).exit, 1);
  EXPECT_EQ(Cli("iec103 show" + lib).exit, 2);
  fs::remove_all(dir);
}
#endif
