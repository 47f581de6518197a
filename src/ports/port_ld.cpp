#include "ports/port_ld.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

namespace {
int CodeAt(const TConfig& c, std::int32_t at) {
  const auto& img = c.Image();
  if (at < 0 || static_cast<std::size_t>(at) + 4 > img.size()) return -1;
  return img[static_cast<std::size_t>(at) + 2] | (img[static_cast<std::size_t>(at) + 3] << 8);
}
// "<digits>_Порт" at the start of a row name followed by a dot: its length in bytes, else 0.
std::size_t PortPrefixBytes(const std::string& name) {
  static const std::string kPort = "_Порт.";
  std::size_t i = 0;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  if (i == 0 || name.compare(i, kPort.size(), kPort) != 0) return 0;
  return i + kPort.size() - 1;
}
bool ParseSeq(const std::string& s, std::uint32_t& n) {
  static const std::string kPr = "Пр_";
  if (s.compare(0, kPr.size(), kPr) != 0 || s.size() == kPr.size() || s.size() > kPr.size() + 9) return false;
  n = 0;
  for (std::size_t i = kPr.size(); i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    n = n * 10 + static_cast<std::uint32_t>(s[i] - '0');
  }
  return std::to_string(n) == s.substr(kPr.size());  // no leading zeros
}
}  // namespace

TPortLD::TPortLD() {
  name = "дискретной логики";
  frameClass = "TPortLDFrame";
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = 11;
  role = 1;
}

TPortLD::~TPortLD() { ClearTasks(); }

void TPortLD::Create(TNode* n) {
  TPort::Create(n);
  // Runs on the processor itself: no board channel to bind.
  if (TDocument* d = Doc(); d && d->ProcNode()) boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
  if (node) node->SetImages(iconIndex);
  UpdateNode();
}

void TPortLD::SetDefaults() {
  ClearTasks();
  UpdateStatusTable();
}

void TPortLD::Fields(TFieldVisitor& v) { v.U8({"number", 1, 1, 40}, number); }

std::string TPortLD::Prefix() const { return std::to_string(number) + "_Порт"; }

TParams* TPortLD::Table() const {
  if (!node || node->ChildCount() == 0) return nullptr;
  auto* t = dynamic_cast<TParams*>(node->Child(0)->Item());
  return t && t->IsSource() && t->Type() == kSigTS ? t : nullptr;
}

void TPortLD::ClearTasks() { tasks.clear(); }

void TPortLD::SetNumber(int n) {
  if (n < 1 || n > 40) return;
  number = static_cast<std::uint8_t>(n);
  UpdateStatusTable();
}

TTaskLD* TPortLD::AppendTask() {
  if (static_cast<int>(tasks.size()) >= kMaxTasks) return nullptr;
  auto t = std::make_unique<TTaskLD>(diagramWidth - 1);
  t->coil->sequence = NextSequence();
  tasks.push_back(std::move(t));
  return tasks.back().get();
}

void TPortLD::UpdateStatusTable() {
  UpdateNode();
  taskNames.clear();
  taskNames.reserve(tasks.size());
  for (auto& t : tasks) taskNames.push_back("Пр_" + std::to_string(t->coil->sequence));
  TParams* table = Table();
  if (table && taskNames.empty()) {
    node->Tree()->Delete(table->node);
    table = nullptr;
  } else if (!table && !taskNames.empty() && node && node->Tree()) {
    auto t = std::make_unique<TParamsTS>(kRoleSource);
    t->owner = this;
    table = t.get();
    node->Tree()->Add(node, std::move(t), 0);
    node->expanded = true;
  }
  if (table) {
    table->BuildFromList(taskNames, 0, Prefix());
    for (std::size_t i = 0; i < tasks.size(); ++i) tasks[i]->coil->row = table->At(static_cast<int>(i));
  } else {
    for (auto& t : tasks) t->coil->row = nullptr;
  }
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TPortLD::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = Table()) lists.Append(t);
}

int TPortLD::ContactIndex(TLD& e) const {
  TDocument* d = Doc();
  if (!d || !e.signal) return -1;
  return d->Storage().IndexOfRelinked(kSigTS, e.signal);
}

// --- image -----------------------------------------------------------------------------
void TPortLD::SaveToImage(TConfig& c) {
  TDocument* d = Doc();
  std::int32_t s = c.Pos;
  c.BeginSection(131);
  c.PutU8(48, version);
  c.PutU8(1, number);
  std::size_t n = std::min<std::size_t>(tasks.size(), kMaxTasks);
  c.PutU16(20, static_cast<std::uint16_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    TTaskLD& t = *tasks[i];
    // The coil drives its own row: key 41 comes from the row, whatever was read.
    int ci = d && t.coil->row ? d->Storage().IndexOf(kSigTS, t.coil->row) : -1;
    t.coil->written = t.coil->signalIndex = ci < 0 ? kNoIndex : static_cast<std::uint16_t>(ci);
    t.line->ForEachContact([&](TLD& e) {
      int ix = ContactIndex(e);
      e.written = e.signalIndex = ix < 0 ? kNoIndex : static_cast<std::uint16_t>(ix);
    });
    t.SaveToImage(c);
  }
  if (TParams* t = Table()) t->SaveToImage(c);
  c.EndSection(s);
}

void TPortLD::LoadFromImage(TConfig& c) {
  ClearTasks();
  UpdateStatusTable();
  diagramWidth = kDefaultWidth;
  sequence_ = 0;
  readCoil41_.clear();
  std::int32_t at = c.FindSection();
  if (at < 0) return;
  c.Pos = at;
  if (c.NextSection() != 131) return;
  const std::int32_t end = c.SectionEnd(at);
  std::uint8_t v = 1;
  if (c.GetU8(48, v) && v > 1) {
    Messages().ShowError("Новая версия PortLD");
    return;
  }
  c.GetU8(1, number);
  std::uint16_t n = 0;
  c.GetU16(20, n);
  TLDReadContext ctx;
  ctx.msgs = &Messages();
  int dropped = 0;
  // Tasks: the count is the writer's word, the sections present decide; the first section of
  // another code ends them, so the table behind is still read.
  for (int k = 0; k < n; ++k) {
    std::int32_t t = c.FindSection();
    if (t < 0 || t >= end || CodeAt(c, t) != 228) break;
    std::int32_t tEnd = std::min(end, c.SectionEnd(t));
    c.Pos = t + 8;
    if (static_cast<int>(tasks.size()) < kMaxTasks) {
      auto task = std::make_unique<TTaskLD>(kDefaultWidth - 1);
      ReadTask(c, tEnd, *task, ctx);
      readCoil41_.push_back(task->coil->indexRead ? task->coil->signalIndex : -1);
      tasks.push_back(std::move(task));
    } else {
      ++dropped;
    }
    c.Pos = tEnd;
  }
  if (dropped)
    Messages().ShowError("Схема дискретной логики: задач больше " + std::to_string(kMaxTasks) + ", не прочитано " +
                         std::to_string(dropped) + ".");
  // Provisional numbers until the stored names are seen.
  for (std::size_t i = 0; i < tasks.size(); ++i) tasks[i]->coil->sequence = static_cast<std::uint32_t>(i);
  UpdateStatusTable();
  if (TParams* table = Table()) {
    for (;;) {
      std::int32_t t = c.FindSection();
      if (t < 0 || t >= end) break;
      if (CodeAt(c, t) == 211) {
        c.Pos = t;
        table->LoadFromImage(c);
        c.Pos = std::min(end, c.SectionEnd(t));
        break;
      }
      c.Pos = std::min(end, c.SectionEnd(t));
    }
    FixReadNames();
  }
  UpdateNode();
}

// Rows named "<prefix>.Пр_N" keep N as their coil's number, so a task the user never renamed
// is not taken for a renamed one after reopening; other coils get fresh numbers. Every row is
// then re-prefixed with this port's prefix, keeping all words of dotted names.
void TPortLD::FixReadNames() {
  TParams* table = Table();
  if (!table) return;
  const std::size_t n = tasks.size();
  std::vector<std::string> pre(n);
  std::vector<bool> claimed(n, false);
  std::unordered_set<std::uint32_t> used;
  std::uint32_t next = 0;
  for (std::size_t i = 0; i < n; ++i) {
    TParam* r = table->At(static_cast<int>(i));
    if (!r) continue;
    std::size_t pb = PortPrefixBytes(r->Name());
    if (pb == 0) {
      // A name without the port's part: it becomes this port's suffix.
      r->SetName(Prefix() + "." + r->Name());
      pb = Prefix().size();
    }
    pre[i] = r->Name().substr(0, pb);
    std::uint32_t seq = 0;
    if (ParseSeq(r->Name().substr(pb + 1), seq) && used.insert(seq).second) {
      tasks[i]->coil->sequence = seq;
      claimed[i] = true;
      next = std::max(next, seq + 1);
    }
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!claimed[i]) tasks[i]->coil->sequence = next++;
  sequence_ = next;
  for (std::size_t i = 0; i < n; ++i) {
    TParam* r = table->At(static_cast<int>(i));
    if (!r) continue;
    r->prefix = pre[i];
    r->SetDefaultName(pre[i] + ".Пр_" + std::to_string(tasks[i]->coil->sequence));
  }
  UpdateStatusTable();
}

void TPortLD::AfterLoad() {
  TDocument* d = Doc();
  if (!d) return;
  TStorage& st = d->Storage();
  std::string mismatch;
  int mismatches = 0;
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    TTaskLD& t = *tasks[i];
    t.line->ForEachContact([&](TLD& e) { e.signal = st.AcquireByIndex(kSigTS, e.signalIndex); });
    // The coil always drives its own row; a stored index naming another signal is reported.
    int own = t.coil->row ? st.IndexOf(kSigTS, t.coil->row) : -1;
    int stored = i < readCoil41_.size() ? readCoil41_[i] : -1;
    if (own >= 0 && stored >= 0 && stored != own) {
      if (++mismatches <= 20)
        mismatch += "\nзадача " + std::to_string(i + 1) + ": записан " +
                    (stored == kNoIndex ? std::string("ТС__") : "ТС_" + std::to_string(stored)) + ", её сигнал ТС_" +
                    std::to_string(own);
    }
    t.coil->signalIndex = own < 0 ? kNoIndex : static_cast<std::uint16_t>(own);
  }
  readCoil41_.clear();
  if (mismatches)
    Messages().ShowError("Схема дискретной логики: катушка управляет сигналом своей задачи, записанный номер не совпал (" +
                         std::to_string(mismatches) + "):" + mismatch);
  Layout();
}

// --- layout ----------------------------------------------------------------------------
void TPortLD::Layout() {
  int widest = 0;
  for (auto& t : tasks) widest = std::max(widest, t->MeasureTop());
  diagramWidth = std::max(diagramWidth, widest);
  columns = widest;
  int r = 0;
  for (auto& t : tasks) {
    t->PlaceTop(diagramWidth - 1);
    t->row = r;
    r += t->height;
  }
  rows = r;
}

int TPortLD::TaskAtRow(int row) const {
  if (row < 0 || tasks.empty()) return -1;
  auto it = std::upper_bound(tasks.begin(), tasks.end(), row,
                             [](int r, const std::unique_ptr<TTaskLD>& t) { return r < t->row; });
  if (it == tasks.begin()) return -1;
  --it;
  if (row >= (*it)->row + (*it)->height) return -1;
  return static_cast<int>(it - tasks.begin());
}

// --- text ------------------------------------------------------------------------------
std::string TPortLD::TaskName(int i) const {
  if (i < 0 || i >= static_cast<int>(tasks.size())) return {};
  const TParam* r = tasks[static_cast<std::size_t>(i)]->coil->row;
  return r ? r->Name() : std::string();
}

std::string TPortLD::TaskSuffix(int i) const {
  std::string nm = TaskName(i);
  std::size_t pb = PortPrefixBytes(nm);
  return pb ? nm.substr(pb + 1) : nm;
}

std::string TPortLD::TaskText(int i) const {
  if (i < 0 || i >= static_cast<int>(tasks.size())) return {};
  const TTaskLD& t = *tasks[static_cast<std::size_t>(i)];
  std::string out = t.coil->inversion ? "!" : "";
  std::string nm = TaskName(i);
  out += nm.empty() ? "?" : nm;
  out += " := ";
  out += LineText(*t.line, [this](TLD& e) { return ContactIndex(e); });
  return out;
}

void TPortLD::DumpExtra(std::string& out, const std::string& indent) const {
  for (std::size_t i = 0; i < tasks.size(); ++i) out += indent + "task " + std::to_string(i + 1) + ": " + TaskText(static_cast<int>(i)) + "\n";
}

std::vector<TPortLD::TProblemCell> TPortLD::ProblemCells() const {
  std::vector<TProblemCell> out;
  TDocument* d = Doc();
  if (!d) return out;
  TStorage& st = d->Storage();
  for (auto& tp : tasks) {
    TTaskLD& t = *tp;
    int contacts = 0;
    t.line->ForEachContact([&](TLD& e) {
      ++contacts;
      if (!e.signal)
        out.push_back({e.col, t.row + e.row, "контакт без сигнала"});
      else if (ContactIndex(e) < 0)
        out.push_back({e.col, t.row + e.row, "сигнал контакта удалён из хранилища ТС"});
    });
    if (contacts == 0) out.push_back({t.coil->col, t.row, "нет контактов"});
    if (!t.coil->row || st.IndexOf(kSigTS, t.coil->row) < 0)
      out.push_back({t.coil->col, t.row, "сигнал задачи вне хранилища ТС"});
  }
  return out;
}

std::vector<std::string> TPortLD::Problems() const {
  std::vector<std::string> out;
  TDocument* d = Doc();
  if (!d) return out;
  TStorage& st = d->Storage();
  const_cast<TPortLD*>(this)->Layout();
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    TTaskLD& t = *tasks[i];
    std::string head = "задача " + std::to_string(i + 1) + " \"" + TaskName(static_cast<int>(i)) + "\": ";
    int contacts = 0, none = 0, lost = 0;
    t.line->ForEachContact([&](TLD& e) {
      ++contacts;
      if (!e.signal) ++none;
      else if (ContactIndex(e) < 0) ++lost;
    });
    if (contacts == 0) out.push_back(head + "нет контактов");
    if (none) out.push_back(head + "контактов без сигнала: " + std::to_string(none));
    if (lost) out.push_back(head + "сигнал контакта удалён из хранилища ТС: " + std::to_string(lost));
    if (!t.coil->row || st.IndexOf(kSigTS, t.coil->row) < 0)
      out.push_back(head + "сигнал задачи вне хранилища ТС, катушка записывается без сигнала");
    if (t.line->width + 1 > kLDMaxCells || t.height > kLDMaxCells)
      out.push_back(head + "шире или выше " + std::to_string(kLDMaxCells) + " клеток");
  }
  // Two logic ports: the second one says so.
  if (TNode* proc = d->ProcNode()) {
    bool before = false;
    for (int k = 0; k < proc->ChildCount(); ++k) {
      TItem* it = proc->Child(k)->Item();
      if (it == this) break;
      if (dynamic_cast<TPortLD*>(it)) before = true;
    }
    if (before) out.push_back("в конфигурации больше одного порта дискретной логики");
  }
  return out;
}

std::vector<std::string> TPortLD::Notes() const {
  std::vector<std::string> out;
  TDocument* d = Doc();
  if (!d) return out;
  std::unordered_map<const TParam*, std::size_t> rowOf;
  for (std::size_t i = 0; i < tasks.size(); ++i)
    if (tasks[i]->coil->row) rowOf[tasks[i]->coil->row] = i;
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    bool later = false;
    tasks[i]->line->ForEachContact([&](TLD& e) {
      auto it = rowOf.find(e.signal.get());
      if (it != rowOf.end() && it->second >= i) later = true;
    });
    if (later)
      out.push_back("задача " + std::to_string(i + 1) + " читает сигнал своей или более поздней задачи");
  }
  return out;
}

}  // namespace t32
