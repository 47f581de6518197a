#include "ports/ld_editor.h"

#include <algorithm>
#include <iterator>

#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"

namespace t32 {

namespace {
const char* const kTooBig = "Задача не может быть шире или выше 255 клеток.";
const char* const kTooMany = "Задач не может быть больше 8192: команда отменена.";
const char* const kNameUsed = "Имя задачи уже используется";

const char* const kTooDeep = "Шунты не могут быть вложены глубже 32 уровней.";

bool TooBig(const TTaskLD& t) { return t.line->width + 1 > kLDMaxCells || t.height > kLDMaxCells; }

// Deepest shunt nesting below a line: an image reader stops at kLDMaxDepth, so the editor
// may not build deeper.
int ShuntDepth(const TLine& l) {
  int d = 0;
  for (auto& e : l.elements)
    if (e->Kind() == TLDKind::Shunt)
      for (auto& b : static_cast<const TStack&>(*e).branches) d = std::max(d, 1 + ShuntDepth(*b));
  return d;
}
}  // namespace

TLDEditor::TLDEditor(TPortLD& p) : port(p) { EnsureLayout(); }

void TLDEditor::EnsureLayout() {
  if (!relayout) return;
  port.Layout();
  relayout = false;
}

template <class Fn>
bool TLDEditor::Guarded(TTaskLD& task, Fn fn) {
  auto keep = task.Clone(true);
  keep->coil->row = task.coil->row;
  const int width = port.diagramWidth;
  if (!fn()) return false;
  port.Layout();
  relayout = false;
  const bool big = TooBig(task), deep = !big && ShuntDepth(*task.line) > kLDMaxDepth;
  if (!big && !deep) return true;
  for (auto& t : port.tasks)
    if (t.get() == &task) t = std::move(keep);
  port.diagramWidth = width;
  current = rangeStart = rangeEnd = nullptr;
  anchorRow = -1;
  port.Layout();
  port.Messages().ShowError(big ? kTooBig : kTooDeep);
  return false;
}

TTaskLD* TLDEditor::TaskAt(int row, int* relRow) const {
  int i = port.TaskAtRow(row);
  if (i < 0) return nullptr;
  TTaskLD* t = port.tasks[static_cast<std::size_t>(i)].get();
  if (relRow) *relRow = row - t->row;
  return t;
}

TLD* TLDEditor::ElementAt(int col, int row) const {
  int r = 0;
  TTaskLD* t = TaskAt(row, &r);
  if (!t) return nullptr;
  if (col == t->coil->col && r == 0) return t->coil.get();
  return t->line->ContactAt(col, r);
}

void TLDEditor::ClearSelection() {
  TLD* none = nullptr;
  for (auto& t : port.tasks) {
    t->line->Select(0, 0, 0, none);
    t->coil->state = 0;
  }
  current = nullptr;
  rangeStart = rangeEnd = nullptr;
  anchorRow = -1;
}

void TLDEditor::SelectAt(int mode, int col, int row) {
  int r = 0;
  TTaskLD* t = TaskAt(row, &r);
  if (!t) return;
  TLD* cur = current;
  t->line->Select(mode, col, r, cur);
  t->coil->Select(mode, col, r, cur);
  current = cur;
}

void TLDEditor::SetContactMode(bool on) {
  contactMode = on && ContactEnabled();
  ClearSelection();
}

bool TLDEditor::Move(int col, int row) {
  EnsureLayout();
  hoverCol = col;
  hoverRow = row;
  // Only the task pointed at last carries pointer marks: clearing it alone keeps a move cheap
  // on a large diagram. When that task is no longer where it was, every task is cleared.
  auto clear = [](TTaskLD& t) {
    t.line->Hover(-1, -1);
    t.coil->Hover(-1, -1);
  };
  if (hoverTask_ >= 0 && static_cast<std::size_t>(hoverTask_) < port.tasks.size() &&
      port.tasks[static_cast<std::size_t>(hoverTask_)].get() == hoverPtr_)
    clear(*hoverPtr_);
  else
    for (auto& t : port.tasks) clear(*t);
  hoverTask_ = -1;
  hoverPtr_ = nullptr;
  if (!contactMode) return false;
  const int i = port.TaskAtRow(row);
  if (i < 0) return false;
  TTaskLD* t = port.tasks[static_cast<std::size_t>(i)].get();
  t->line->Hover(col, row - t->row);
  hoverTask_ = i;
  hoverPtr_ = t;
  return true;
}

void TLDEditor::Click(int col, int row, Button b) { Click(col, row, b, Mods()); }

void TLDEditor::Click(int col, int row, Button b, Mods m) {
  EnsureLayout();
  menuOpened = menuDuplicate = false;
  if (contactMode) {
    if (b != kLeft || m.shift || m.ctrl || m.alt) {
      contactMode = false;  // anything but the left button alone ends contact mode
    } else {
      int r = 0;
      TTaskLD* t = TaskAt(row, &r);
      if (t && col >= t->coil->col) {
        contactMode = false;
        return;
      }
      bool inserted = false;
      if (t && col >= 0) Guarded(*t, [&] { return inserted = t->line->InsertContact(col, r) != nullptr; });
      if (!inserted) anchorRow = -1;
      return;
    }
  }
  if (!m.shift && !m.ctrl && !m.dbl) {
    if (b == kLeft) ClearSelection();
    SelectAt(2, col, row);
    anchorCol = col;
    clickRow = row;
    anchorRow = current ? row : -1;
    rangeStart = rangeEnd = current;
    if (b == kRight || (current && current->Kind() == TLDKind::Coil)) rangeEnd = nullptr;
    if (b == kRight && current) {
      current->state = kLDSelected;
      menuOpened = true;
      menuDuplicate = current->Kind() == TLDKind::Coil;
    }
    return;
  }
  if (b != kLeft) return;
  if (m.dbl && !m.shift && !m.ctrl) {
    TLD* e = ElementAt(col, row);
    if (e && e->Kind() == TLDKind::Coil)
      for (std::size_t i = 0; i < port.tasks.size(); ++i)
        if (port.tasks[i]->coil.get() == e) Rename(static_cast<int>(i));
    return;
  }
  if (m.ctrl) {
    SelectAt(3, col, row);
    rangeStart = rangeEnd = nullptr;
    anchorRow = -1;
    return;
  }
  // Shift: a run of cells in the anchor's row.
  int r = 0;
  TTaskLD* t = TaskAt(row, &r);
  if (anchorRow != row || !t) {
    rangeStart = rangeEnd = current = nullptr;
    return;
  }
  col = std::min(col, t->coil->col - 1);
  int a = std::min(anchorCol, col), z = std::max(anchorCol, col);
  TLD* first = nullptr;
  TLD* last = nullptr;
  for (int c = std::max(a, 0); c <= z; ++c) {
    SelectAt(2, c, row);
    if (TLD* e = t->line->ContactAt(c, r); e && e->col == c) {
      if (!first) first = e;
      last = e;
    }
  }
  ClearSelection();
  anchorRow = row;
  if (!first) return;
  rangeStart = first;
  rangeEnd = last;
  for (int c = first->col; c <= last->col + last->width - 1; ++c) SelectAt(2, c, row);
  current = last;
  if (!ShuntLine()) rangeEnd = nullptr;
}

TLine* TLDEditor::ShuntLine() const {
  if (!rangeStart || !rangeEnd) return nullptr;
  TLine* ls = rangeStart->ParentLine();
  TLine* le = rangeEnd->ParentLine();
  if (!ls || !le) return nullptr;
  if (ls == le) return ls;
  auto up = [](TLine* l) -> TLine* {
    TStack* s = l->Shunt();
    return s ? s->ParentLine() : nullptr;
  };
  int ds = ls->Depth(), de = le->Depth();
  while (ls && le && ls != le) {
    if (ds > de) {
      ls = up(ls);
      --ds;
    } else if (de > ds) {
      le = up(le);
      --de;
    } else {
      ls = up(ls);
      le = up(le);
      --ds;
      --de;
    }
  }
  if (!ls || ls != le) return nullptr;
  const int a = rangeStart->col, b = rangeEnd->col + rangeEnd->width - 1;
  bool starts = false, ends = false;
  for (auto& e : ls->elements) {
    starts |= e->col == a;
    ends |= e->col + e->width - 1 == b;
  }
  return starts && ends ? ls : nullptr;
}

void TLDEditor::Shunt() {
  EnsureLayout();
  TLine* L = ShuntLine();
  if (L) {
    const int a = rangeStart->col, b = rangeEnd->col + rangeEnd->width - 1;
    TTaskLD* task = nullptr;
    for (auto& t : port.tasks) {
      TBaseLD* top = L;
      while (top->parent && top->parent->Kind() != TLDKind::Coil) top = top->parent;
      if (top == t->line.get()) task = t.get();
    }
    if (task)
      Guarded(*task, [&] {
        TStack* s = L->Shunt();
        TLine* branch = nullptr;
        if (!L->elements.empty() && L->elements.front()->col >= a &&
            L->elements.back()->col + L->elements.back()->width - 1 <= b && s) {
          branch = s->AddBranch();
        } else {
          auto ns = std::make_unique<TStack>();
          TStack* sp = ns.get();
          sp->parent = L;
          sp->col = a;
          sp->row = L->row;
          TLine* first = sp->AddBranch();
          std::vector<std::unique_ptr<TBaseLD>> kept;
          bool placed = false;
          for (auto& e : L->elements) {
            if (e->col >= a && e->col + e->width - 1 <= b) {
              e->parent = first;
              first->elements.push_back(std::move(e));
              if (!placed) {
                kept.push_back(std::move(ns));
                placed = true;
              }
            } else {
              kept.push_back(std::move(e));
            }
          }
          L->elements = std::move(kept);
          sp->Measure();
          sp->PlaceColumn(a, 0);
          branch = sp->AddBranch();
          s = sp;
        }
        branch->SetWidth(std::max(branch->width, 1));
        auto c = std::make_unique<TLD>();
        c->parent = branch;
        c->col = branch->col;
        c->row = branch->row;
        branch->elements.push_back(std::move(c));
        return true;
      });
  }
  ClearSelection();
}

void TLDEditor::Delete() {
  EnsureLayout();
  bool rebuilt = false;
  for (std::size_t i = 0; i < port.tasks.size();) {
    TTaskLD& t = *port.tasks[i];
    if (t.coil->Selected() && port.Messages().AskConfirm("Удалить задачу?") == kYes) {
      port.tasks.erase(port.tasks.begin() + static_cast<std::ptrdiff_t>(i));
      rebuilt = true;
      continue;
    }
    t.line->CleanSelected();
    ++i;
  }
  current = rangeStart = rangeEnd = nullptr;
  if (rebuilt) port.UpdateStatusTable();
  ClearSelection();
  relayout = true;
  EnsureLayout();
  if (port.tasks.empty()) contactMode = false;
}

void TLDEditor::Invert() {
  for (auto& t : port.tasks) {
    t->line->ToggleInversion();
    t->coil->ToggleInversion();
  }
}

void TLDEditor::Duplicate() {
  std::vector<TTaskLD*> sources;
  for (auto& t : port.tasks)
    if (t->coil->Selected()) sources.push_back(t.get());
  if (sources.empty()) return;
  if (port.tasks.size() + sources.size() > static_cast<std::size_t>(TPortLD::kMaxTasks)) {
    port.Messages().ShowError(kTooMany);
    return;
  }
  for (TTaskLD* s : sources) {
    TTaskLD* n = port.AppendTask();
    auto l = s->line->Clone(n->coil.get(), false);
    n->line.reset(static_cast<TLine*>(l.release()));
  }
  port.UpdateStatusTable();
  relayout = true;
  EnsureLayout();
}

void TLDEditor::AddTask() {
  if (!port.AppendTask()) {
    port.Messages().ShowError(kTooMany);
    return;
  }
  port.UpdateStatusTable();
  contactMode = false;
  ClearSelection();
  relayout = true;
  EnsureLayout();
}

void TLDEditor::NewScheme() {
  if (port.tasks.empty()) return;
  if (port.Messages().AskConfirm("Удалить все задачи?") != kYes) return;
  ClearSelection();
  port.ClearTasks();
  port.UpdateStatusTable();
  port.diagramWidth = TPortLD::kDefaultWidth;
  contactMode = false;
  relayout = true;
  EnsureLayout();
}

bool TLDEditor::Rename(int i) {
  if (i < 0 || i >= static_cast<int>(port.tasks.size())) return false;
  TParam* row = port.tasks[static_cast<std::size_t>(i)]->coil->row;
  TParams* table = port.Table();
  if (!row || !table) return false;
  const std::string prefix = port.Prefix();
  const std::string old = row->Name();
  std::string text = port.TaskSuffix(i);
  std::string prompt = "Введите имя задачи";
  for (;;) {
    auto answer = port.Messages().AskText("Tavrik32 - Ввод", prompt, text);
    if (!answer) {
      row->SetName(old);  // cancel keeps the old name
      return false;
    }
    text = *answer;
    if (Utf8Length(text) > 255 || !FitsCp1251(text)) {
      prompt = "Имя задачи должно быть не длиннее 255 знаков кодировки 1251";
      continue;
    }
    // Compared as it will be stored: cut to 64 characters.
    const std::string stored = Utf8Left(prefix + "." + text, 64);
    const std::string suffix = stored.size() > prefix.size() ? stored.substr(prefix.size() + 1) : std::string();
    bool used = suffix.empty();
    for (std::size_t k = 0; k < port.tasks.size() && !used; ++k)
      if (static_cast<int>(k) != i && port.TaskSuffix(static_cast<int>(k)) == suffix) used = true;
    if (used) {
      prompt = kNameUsed;
      continue;
    }
    row->SetName(stored);
    if (TDocument* d = port.Doc()) d->Storage().RefreshViews();
    return true;
  }
}

TLDEditor::SignalView TLDEditor::Signal() const {
  SignalView v;
  if (!current || current->Kind() == TLDKind::Coil) return v;
  v.enabled = true;
  v.index = port.ContactIndex(*current);
  v.label = v.index < 0 ? "ТС__" : "ТС_" + std::to_string(v.index);
  v.inversion = current->inversion != 0;
  return v;
}

void TLDEditor::ChooseSignal(int index) {
  if (!current || current->Kind() == TLDKind::Coil) return;
  TDocument* d = port.Doc();
  if (!d) return;
  current->signal = d->Storage().AcquireByIndex(kSigTS, index);  // the previous row is released
}

void TLDEditor::SetInversion(bool on) {
  if (current && current->Kind() != TLDKind::Coil) current->inversion = on ? 1 : 0;
}

std::vector<std::uint8_t> TLDEditor::Snapshot() {
  TConfig c;
  c.BeginWrite();
  port.SaveToImage(c);
  return {c.Image().begin(), c.Image().begin() + c.Pos};
}

void TLDEditor::Restore(const std::vector<std::uint8_t>& image) {
  TConfig c;
  if (!c.SetImage(image)) return;
  c.Pos = TConfig::kDataStart;
  ClearSelection();
  contactMode = false;
  port.LoadFromImage(c);
  port.AfterLoad();
  relayout = true;
  EnsureLayout();
}

void TLDEditor::BeginStep() {
  pending_ = Snapshot();
  inStep_ = true;
}

void TLDEditor::EndStep() {
  if (!inStep_) return;
  inStep_ = false;
  if (Snapshot() == pending_) return;  // nothing changed: no step
  undo_.push_back(std::move(pending_));
  if (undo_.size() > kUndoSteps) undo_.pop_front();
  redo_.clear();
}

bool TLDEditor::Undo() {
  if (undo_.empty()) return false;
  redo_.push_back(Snapshot());
  Restore(undo_.back());
  undo_.pop_back();
  return true;
}

bool TLDEditor::Redo() {
  if (redo_.empty()) return false;
  undo_.push_back(Snapshot());
  Restore(redo_.back());
  redo_.pop_back();
  return true;
}

void TLDEditor::ClearHistory() {
  undo_.clear();
  redo_.clear();
  inStep_ = false;
}

bool TLDEditor::Copy() {
  EnsureLayout();
  if (TLine* L = ShuntLine()) {
    // The range's own elements of the common line: whole shunts when the range spans them.
    const int a = rangeStart->col, b = rangeEnd->col + rangeEnd->width - 1;
    auto holder = std::make_unique<TLine>();
    for (auto& e : L->elements)
      if (e->col >= a && e->col + e->width - 1 <= b) holder->elements.push_back(e->Clone(holder.get(), true));
    if (!holder->elements.empty()) {
      range_ = std::move(holder);
      clip_.clear();
      return true;
    }
  }
  std::vector<TClip> clip;
  for (auto& t : port.tasks)
    if (t->coil->Selected()) clip.push_back({t->Clone(true), t->coil->inversion});
  if (clip.empty()) return false;
  clip_ = std::move(clip);
  range_.reset();
  return true;
}

bool TLDEditor::Paste() {
  if (range_) return PasteRange();
  if (clip_.empty()) return false;
  if (port.tasks.size() + clip_.size() > static_cast<std::size_t>(TPortLD::kMaxTasks)) {
    port.Messages().ShowError(kTooMany);
    return false;
  }
  for (const TClip& c : clip_) {
    TTaskLD* n = port.AppendTask();
    auto l = c.task->line->Clone(n->coil.get(), true);
    n->line.reset(static_cast<TLine*>(l.release()));
    n->coil->inversion = c.inversion;
  }
  port.UpdateStatusTable();
  ClearSelection();
  relayout = true;
  EnsureLayout();
  return true;
}

bool TLDEditor::PasteRange() {
  EnsureLayout();
  int r = 0;
  TTaskLD* t = TaskAt(clickRow, &r);
  if (!t || anchorCol < 0) return false;
  const int col = anchorCol;
  const bool pasted = Guarded(*t, [&] {
    TLine* l = nullptr;
    std::size_t pos = 0;
    int c = col;
    if (col >= t->coil->col) {
      // The coil's cell: the run goes to the end of the top line.
      if (r != 0) return false;
      l = t->line.get();
      pos = l->elements.size();
      c = l->elements.empty() ? 0 : l->elements.back()->col + l->elements.back()->width;
    } else {
      l = t->line->InsertionPoint(col, r, pos);
      if (!l) return false;
    }
    std::vector<std::unique_ptr<TBaseLD>> run;
    for (auto& e : range_->elements) {
      auto n = e->Clone(l, true);
      n->col = c;
      n->PlaceRow(l->row);
      c += n->width;
      run.push_back(std::move(n));
    }
    l->elements.insert(l->elements.begin() + static_cast<std::ptrdiff_t>(pos), std::make_move_iterator(run.begin()),
                       std::make_move_iterator(run.end()));
    return true;
  });
  ClearSelection();
  relayout = true;
  EnsureLayout();
  return pasted;
}

}  // namespace t32
