// diff and signals of the command line, run as a user runs them: exit status, what they print,
// files left untouched, and signal lists whose addresses are the ones the port's page shows.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "model/storage.h"
#include "ports/port_menu.h"
#include "ports/port_pc.h"
#include "ports/port_pu.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "review/diff.h"

#ifdef T32_CLI
using namespace t32;

namespace {
namespace fs = std::filesystem;

struct TRun {
  int exit = -1;
  std::string out, err;
};

TRun RunCli(const std::string& args) {
  TRun r;
  std::string errFile = fs::temp_directory_path() / ("t32revcli.err." + std::to_string(::getpid()));
  std::string cmd = std::string(T32_CLI) + " " + args + " 2>'" + errFile + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = ::pclose(p);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ReadWholeFile(errFile, r.err);
  fs::remove(errFile);
  return r;
}

struct TempDir {
  fs::path path = fs::temp_directory_path() / ("t32revcli." + std::to_string(::getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const char* name) const { return "'" + (path / name).string() + "'"; }
  std::string File(const char* name) const { return (path / name).string(); }
};

// A DI32 and an AI16 (ТС and ТИ inputs), a ППИ with serial channels, a control-station port
// on IEC 101 passing both on and a workstation passing them on as well.
void Build(TDocument& d) {
  for (int code : {4, 5, 9}) d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(code, TItemPlace::Board));
  static_cast<TBlock*>(d.Tree().Root()->Child(1)->Item())->SetAddress(0);
  static_cast<TBlock*>(d.Tree().Root()->Child(2)->Item())->SetAddress(2);
  static_cast<TBlock*>(d.Tree().Root()->Child(3)->Item())->SetAddress(6);
  // The AI16's first channel in use: eight single-ended inputs.
  auto* ai8 = static_cast<TAI8*>(d.Tree().Root()->Child(2)->Child(0)->Item());
  ai8->SetConnection(1);
  ai8->RebuildTable();
  d.AfterEdit();
  auto* pu = static_cast<TPortPU*>(AddPortFromMenu(d, 101)->Item());
  pu->SetProtocol(TPortPU::kIec101);
  auto list = pu->Interfaces();
  if (list.size() > 1) pu->SelectInterface(list, 1);
  d.PortIP()->AddChildren(0);
  auto* pc = static_cast<TPC*>(d.PortIP()->Workstations().front());
  for (TOutputPort* port : {static_cast<TOutputPort*>(pu), static_cast<TOutputPort*>(pc)})
    for (int t : {kSigTS, kSigTI}) port->Table(t)->AddFromList(d.Storage().List(t), true);
  d.AfterEdit();
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text, char sep) {
  std::vector<std::vector<std::string>> rows(1);
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += c, ++i;
      else if (c == '"') quoted = false;
      else cell += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == sep) {
      rows.back().push_back(std::move(cell));
      cell.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(std::move(cell));
      cell.clear();
      rows.emplace_back();
      ++i;
    } else {
      cell += c;
    }
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

TEST(ReviewCli, DiffExitStatusOutputAndUntouchedFiles) {
  TempDir dir;
  {
    TRecordedMessages m;
    TDocument a(&m, &PortsFactory());
    Build(a);
    ASSERT_TRUE(SaveConfigFile(a, dir.File("a.cfg"), TCpu::Cpu927));
    ASSERT_TRUE(SaveConfigFile(a, dir.File("same.cfg"), TCpu::Cpu927));
    static_cast<TParams*>(a.Tree().Root()->Child(1)->Child(0)->Item())->RenameRow(0, "Ввод");
    ASSERT_TRUE(SaveConfigFile(a, dir.File("b.cfg"), TCpu::Cpu927));
  }
  std::string before, after;
  ASSERT_TRUE(ReadWholeFile(dir.File("a.cfg"), before));

  TRun eq = RunCli("diff " + dir / "a.cfg" + " " + dir / "same.cfg");
  EXPECT_EQ(eq.exit, 0) << eq.err;
  EXPECT_EQ(eq.out, "");

  ASSERT_EQ(RunCli("export " + dir / "a.cfg" + " > " + dir / "a.json").exit, 0);
  TRun js = RunCli("diff " + dir / "a.cfg" + " " + dir / "a.json");
  EXPECT_EQ(js.exit, 0) << js.out << js.err;
  EXPECT_EQ(js.out, "");

  // Every kind of item of the sample, against its own JSON form.
  ASSERT_EQ(RunCli("new --sample " + dir / "s.cfg").exit, 0);
  ASSERT_EQ(RunCli("export " + dir / "s.cfg" + " > " + dir / "s.json").exit, 0);
  TRun sample = RunCli("diff " + dir / "s.json" + " " + dir / "s.cfg");
  EXPECT_EQ(sample.exit, 0) << sample.err;
  EXPECT_EQ(sample.out, "");

  TRun d = RunCli("diff " + dir / "a.cfg" + " " + dir / "b.cfg");
  EXPECT_EQ(d.exit, 1) << d.err;
  EXPECT_EQ(d.out, "row-renamed 0_Плата DI32/ТС[0] \"0_DI32.Пр1\": \"0_DI32.Пр1\" -> \"0_DI32.Ввод\"\n");
  TRun j = RunCli("diff --json " + dir / "b.cfg" + " " + dir / "a.json");
  EXPECT_EQ(j.exit, 1);
  auto arr = nlohmann::json::parse(j.out, nullptr, false);
  ASSERT_TRUE(arr.is_array()) << j.out;
  ASSERT_EQ(arr.size(), 1u);
  EXPECT_EQ(arr[0]["kind"], "row-renamed");
  EXPECT_EQ(arr[0]["path"], "0_Плата DI32/ТС");
  EXPECT_EQ(arr[0]["old"], "0_DI32.Ввод");
  EXPECT_EQ(arr[0]["new"], "0_DI32.Пр1");
  EXPECT_EQ(arr[0]["row"], 0);

  ASSERT_TRUE(ReadWholeFile(dir.File("a.cfg"), after));
  EXPECT_EQ(before, after);

  // Bad usage and unreadable files: 2, like diff, with the reason on stderr.
  TRun missing = RunCli("diff " + dir / "a.cfg" + " " + dir / "none.cfg");
  EXPECT_EQ(missing.exit, 2);
  EXPECT_NE(missing.err.find("none.cfg"), std::string::npos) << missing.err;
  ASSERT_TRUE(WriteFileAtomic(dir.File("bad.cfg"), "not a configuration"));
  EXPECT_EQ(RunCli("diff " + dir / "bad.cfg" + " " + dir / "a.cfg").exit, 2);
  EXPECT_EQ(RunCli("diff " + dir / "a.cfg").exit, 2);
  EXPECT_EQ(RunCli("diff --fast " + dir / "a.cfg" + " " + dir / "b.cfg").exit, 2);
}

// The address column of the list is, row by row, what the port gives that row on its page.
TEST(ReviewCli, SignalListAddressesAreThePortsOwn) {
  TempDir dir;
  {
    TRecordedMessages m;
    TDocument a(&m, &PortsFactory());
    Build(a);
    ASSERT_TRUE(SaveConfigFile(a, dir.File("a.cfg"), TCpu::Cpu927));
  }
  TRecordedMessages m;
  TDocument doc(&m, &PortsFactory());
  TCpu cpu;
  ASSERT_TRUE(OpenConfigFile(doc, dir.File("a.cfg"), &cpu));
  auto* pu = dynamic_cast<TPortPU*>(doc.ProcNode()->Child(1)->Item());
  ASSERT_NE(pu, nullptr);
  ASSERT_EQ(pu->protocol, TPortPU::kIec101);
  auto* pc = dynamic_cast<TPC*>(doc.PortIP()->Workstations().front());
  ASSERT_NE(pc, nullptr);

  TRun csv = RunCli("signals " + dir / "a.cfg" + " --csv --semicolon --cp1251");
  ASSERT_EQ(csv.exit, 0) << csv.err;
  auto rows = ParseCsv(Cp1251ToUtf8(csv.out), ';');
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Порт", "Таблица", "Индекс", "Имя", "Адрес", "Источник",
                                                "Индекс в хранилище", "Плата", "Канал", "Вход"}));
  int checked[2] = {0, 0};
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& r = rows[i];
    ASSERT_EQ(r.size(), 10u) << i;
    TOutputPort* port = r[0] == NodePath(pu->node) ? static_cast<TOutputPort*>(pu)
                        : r[0] == NodePath(pc->node) ? static_cast<TOutputPort*>(pc)
                                                     : nullptr;
    ASSERT_NE(port, nullptr) << r[0];
    int type = r[1] == "ТС" ? kSigTS : r[1] == "ТИ" ? kSigTI : 0;
    ASSERT_NE(type, 0) << r[1];
    int index = std::stoi(r[2]);
    const TParam* row = port->Table(type)->At(index);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(r[3], row->Name());
    EXPECT_EQ(r[4], port->SignalAddressText(index, type)) << r[0] << " " << r[1] << " " << index;
    EXPECT_EQ(r[6], std::to_string(doc.Storage().IndexOf(type, row)));
    ++checked[port == pc];
  }
  // Every row of both ports, ТС of the DI32 and ТИ of the AI16's channels.
  int expected = pu->Table(kSigTS)->Count() + pu->Table(kSigTI)->Count();
  EXPECT_EQ(checked[0], expected);
  EXPECT_EQ(checked[1], expected);
  EXPECT_GT(pu->Table(kSigTI)->Count(), 0);
  // A ТИ row names its board, channel and input.
  TRun js = RunCli("signals " + dir / "a.cfg" + " 1 --json");
  ASSERT_EQ(js.exit, 0) << js.err;
  auto arr = nlohmann::json::parse(js.out, nullptr, false);
  ASSERT_TRUE(arr.is_array());
  ASSERT_EQ(static_cast<int>(arr.size()), expected);
  const auto& ti = arr[static_cast<std::size_t>(pu->Table(kSigTS)->Count())];
  EXPECT_EQ(ti["table"], "ТИ");
  EXPECT_EQ(ti["board"], "2_Плата AI16");
  EXPECT_EQ(ti["channel"], "Порт1_AI8");
  EXPECT_EQ(ti["input"], 1);
  EXPECT_EQ(ti["address"], pu->SignalAddressText(0, kSigTI));

  EXPECT_EQ(RunCli("signals " + dir / "a.cfg" + " --csv --json").exit, 2);
  EXPECT_EQ(RunCli("signals " + dir / "a.cfg" + " --cp1251").exit, 2);
}

}  // namespace
#endif
