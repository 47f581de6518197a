// The "logic" verb of tavrik32-cli: the discrete logic port's tasks as a list, as text and as
// an SVG picture, and its checks; and the logic port of "new --sample".
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/ld_editor.h"
#include "ports/ld_svg.h"
#include "ports/port_ld.h"
#include "ports/port_menu.h"
#include "project/cfgfile.h"

namespace t32::cli {
namespace {

class TLogicMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str()); }
  int AskConfirm(const std::string& text, bool) override {
    std::fprintf(stderr, "tavrik32-cli: %s — да\n", text.c_str());
    return kYes;
  }
};

const char* kLogicHelp =
    "Usage: tavrik32-cli logic list FILE.cfg\n"
    "       tavrik32-cli logic show FILE.cfg [TASK]\n"
    "       tavrik32-cli logic svg FILE.cfg [TASK] OUT.svg\n"
    "       tavrik32-cli logic check FILE.cfg\n"
    "The discrete logic port's tasks. list: position, signal name, storage index, contacts, size\n"
    "in cells and problems of each task; show: each task as a formula (& series, | parallel,\n"
    "! inversion, ? a contact without signal); svg: the diagram as a picture; check: the\n"
    "problems the save would list (exit status 1 when there are any). TASK is a position\n"
    "(1, 2, ...) or a signal name (with or without the port's prefix).\n";

// Pads to a width in characters (printf counts the bytes of UTF-8 text).
std::string Pad(const std::string& s, std::size_t width) {
  std::size_t n = Utf8Length(s);
  return n >= width ? s + " " : s + std::string(width - n + 1, ' ');
}

TPortLD* FindPort(TDocument& doc) {
  if (TNode* proc = doc.ProcNode())
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (auto* p = dynamic_cast<TPortLD*>(proc->Child(i)->Item())) return p;
  return nullptr;
}

// Task by position or name; -1 when none matches.
int FindTask(const TPortLD& p, const std::string& s) {
  bool digits = !s.empty() && s.size() < 7 && s.find_first_not_of("0123456789") == std::string::npos;
  if (digits) {
    int n = std::stoi(s);
    return n >= 1 && n <= static_cast<int>(p.tasks.size()) ? n - 1 : -1;
  }
  for (int i = 0; i < static_cast<int>(p.tasks.size()); ++i)
    if (p.TaskName(i) == s || p.TaskSuffix(i) == s) return i;
  return -1;
}

int Run(const Args& a) {
  if (WantsHelp(a) || a.size() < 2) {
    if (WantsHelp(a)) return std::printf("%s", kLogicHelp), kOk;
    return std::fprintf(stderr, "%s", kLogicHelp), kUsage;
  }
  const std::string& sub = a[0];
  const std::size_t extra = a.size() - 2;
  bool ok = (sub == "list" && extra == 0) || (sub == "check" && extra == 0) || (sub == "show" && extra <= 1) ||
            (sub == "svg" && (extra == 1 || extra == 2));
  if (!ok) return std::fprintf(stderr, "%s", kLogicHelp), kUsage;
  TLogicMessages m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  if (!OpenConfigFile(doc, a[1], &cpu)) return kFailure;
  TPortLD* p = FindPort(doc);
  if (!p) {
    std::fprintf(stderr, "tavrik32-cli: в конфигурации нет порта дискретной логики\n");
    return kFailure;
  }
  p->Layout();
  int only = -1;
  if ((sub == "show" && extra == 1) || (sub == "svg" && extra == 2)) {
    only = FindTask(*p, a[2]);
    if (only < 0) {
      std::fprintf(stderr, "tavrik32-cli: нет задачи \"%s\"\n", a[2].c_str());
      return kFailure;
    }
  }
  if (sub == "list") {
    std::vector<std::string> all = p->Problems();
    std::printf("%-5s %-40s %-6s %-8s %-8s %s\n", "task", "signal", "index", "contacts", "size", "problems");
    for (int i = 0; i < static_cast<int>(p->tasks.size()); ++i) {
      const TTaskLD& t = *p->tasks[static_cast<std::size_t>(i)];
      int index = t.coil->row ? doc.Storage().IndexOf(kSigTS, t.coil->row) : -1;
      std::string head = "задача " + std::to_string(i + 1) + " \"";
      std::string problems;
      for (const std::string& s : all)
        if (s.rfind(head, 0) == 0) problems += (problems.empty() ? "" : "; ") + s.substr(s.find("\": ") + 3);
      std::string size = std::to_string(t.coil->col + 1) + "x" + std::to_string(t.height);
      std::printf("%-5d %s%-6s %-8d %-8s %s\n", i + 1, Pad(p->TaskName(i), 39).c_str(),
                  index < 0 ? "-" : std::to_string(index).c_str(), t.Contacts(), size.c_str(), problems.c_str());
    }
    return kOk;
  }
  if (sub == "show") {
    for (int i = 0; i < static_cast<int>(p->tasks.size()); ++i)
      if (only < 0 || only == i) std::printf("%s\n", p->TaskText(i).c_str());
    return kOk;
  }
  if (sub == "svg") {
    int row0 = 0, rows = p->rows;
    if (only >= 0) {
      row0 = p->tasks[static_cast<std::size_t>(only)]->row;
      rows = p->tasks[static_cast<std::size_t>(only)]->height;
    }
    int cols = p->diagramWidth;
    auto ops = DrawLD(*p, nullptr, 0, row0, cols, rows);
    std::string svg = LDToSvg(ops, cols * kLDCell, std::max(rows, 1) * kLDCell);
    std::string err;
    if (!WriteFileAtomic(a.back(), svg, &err)) {
      std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
      return kFailure;
    }
    return kOk;
  }
  // check
  std::vector<std::string> problems = p->Problems();
  for (const std::string& s : problems) std::printf("%s\n", s.c_str());
  for (const std::string& s : p->Notes()) std::printf("замечание: %s\n", s.c_str());
  return problems.empty() ? kOk : kFailure;
}

}  // namespace

void AddLogicVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"logic", "the discrete logic port's tasks: list, show, svg, check", Run});
}

void AddSampleLogic(TDocument& doc) {
  TNode* n = AddPortFromMenu(doc, 131);
  if (!n) return;
  auto* p = static_cast<TPortLD*>(n->Item());
  TLDEditor ed(*p);
  // Task 1: two inputs in series; task 2: an input parallel to task 1's signal; task 3: an
  // inverted input.
  for (int t = 0; t < 3; ++t) ed.AddTask();
  ed.SetContactMode(true);
  ed.Click(0, 0, TLDEditor::kLeft);
  ed.Click(1, 0, TLDEditor::kLeft);
  ed.Click(0, 1, TLDEditor::kLeft);
  ed.Click(0, 2, TLDEditor::kLeft);
  ed.SetContactMode(false);
  ed.Click(0, 1, TLDEditor::kLeft);
  ed.Click(0, 1, TLDEditor::kLeft, {true, false, false, false});
  ed.Shunt();
  const int own = doc.Storage().IndexOf(kSigTS, p->tasks[0]->coil->row);
  const int picks[][3] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 2}, {0, 2, own}, {0, 3, 3}};
  for (const auto& k : picks) {
    ed.Click(k[0], k[1], TLDEditor::kLeft);
    ed.ChooseSignal(k[2]);
  }
  ed.Click(0, 3, TLDEditor::kLeft);
  ed.SetInversion(true);
  ed.ClearSelection();
  doc.AfterEdit();
}

}  // namespace t32::cli
