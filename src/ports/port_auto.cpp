#include "ports/port_auto.h"

#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_time.h"

namespace t32 {

namespace {

constexpr std::size_t kMaxListFile = 64u << 20;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lo = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lo(a[i]) != lo(b[i])) return false;
  }
  return true;
}

// Calls fn(line) for every line (without its line end).
template <typename Fn>
void ForEachLine(std::string_view text, Fn fn) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    std::size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fn(line);
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
}

// The section name of a head line "[name]", or false.
bool SectionHead(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

const char* const kInputSections[] = {"TS_in", "TU_in", "TI_in", "TR_in"};
const int kInputTypes[] = {kSigTS, kSigTU, kSigTI, kSigTR};

}  // namespace

std::vector<std::string> IniSectionValues(std::string_view text, std::string_view section, bool* found) {
  std::vector<std::string> out;
  bool in = false, any = false;
  ForEachLine(text, [&](std::string_view line) {
    std::string_view head;
    if (SectionHead(line, head)) {
      in = SameName(head, section);
      any = any || in;
      return;
    }
    if (!in) return;
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return;
    out.push_back(Utf8Left(Cp1251ToUtf8(Trim(t.substr(eq + 1))), 64));
  });
  if (found) *found = any;
  return out;
}

// ---------------------------------------------------------------------------------------
TPortAuto::TPortAuto() {
  name = "Автоматики";
  frameClass = "TPortAutoFrame";
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = 11;
}

void TPortAuto::Create(TNode* n) {
  TPort::Create(n);
  BindToProcessor(*this);
  UpdateNode();
}

void TPortAuto::UpdateNode() {
  TPort::UpdateNode();
  if (node) node->SetImages(iconIndex);
}

void TPortAuto::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U8({"autoCheck", 4, 0, 1}, autoCheck);
}

TParams* TPortAuto::Table(int type) const {
  for (TItem* ch : ChildItems())
    if (auto* t = dynamic_cast<TParams*>(ch); t && t->IsSource() && t->Type() == type) return t;
  return nullptr;
}

void TPortAuto::UpdateStatusTable() {
  UpdateNode();
  if (!node || !node->Tree()) return;
  auto sync = [&](int type, const std::vector<std::string>& names) {
    TParams* t = Table(type);
    if (names.empty()) {
      if (t) node->Tree()->Delete(t->node);
      return;
    }
    if (!t) {
      auto table = MakeParams(type, kRoleSource);
      table->owner = this;
      t = table.get();
      node->Tree()->Add(node, std::move(table), 0);
      node->expanded = true;
    }
    t->BuildFromList(names, 0, "");
    // The automation program owns these names: the tables only show them.
    t->LockRows();
  };
  // ТУ first, so that the ТС table, inserted before it, ends up the first child.
  sync(kSigTU, tuNames);
  sync(kSigTS, tsNames);
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TPortAuto::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = Table(kSigTS)) lists.Append(t);
  if (TParams* t = Table(kSigTU)) lists.Append(t);
}

void TPortAuto::SaveToImage(TConfig& c) {
  std::int32_t s = c.Pos;
  c.BeginSection(117);
  c.PutU8(48, version);
  TImageWriter w(c);
  Fields(w);
  c.PutU32(13, static_cast<std::uint32_t>(tsNames.size()));
  c.PutU32(15, static_cast<std::uint32_t>(tuNames.size()));
  if (TParams* t = Table(kSigTS)) t->SaveToImage(c);
  if (TParams* t = Table(kSigTU)) t->SaveToImage(c);
  c.EndSection(s);
}

void TPortAuto::LoadFromImage(TConfig& c) {
  tsNames.clear();
  tuNames.clear();
  if (!EnterSection(c, 117)) {
    UpdateStatusTable();
    return;
  }
  TImageReader r(c);
  Fields(r);
  auto count = [&](std::uint16_t key, const char* what) {
    std::uint32_t n = 0;
    c.GetU32(key, n);
    if (n > static_cast<std::uint32_t>(kMaxRows)) {
      // A damaged count must not size anything: the table holds kMaxRows at most.
      Messages().ShowError("В порту " + Caption() + " записано " + std::to_string(n) + " имён " + what +
                           ", прочитаны первые " + std::to_string(kMaxRows));
      n = kMaxRows;
    }
    return static_cast<std::size_t>(n);
  };
  tsNames.assign(count(13, "ТС"), std::string());
  tuNames.assign(count(15, "ТУ"), std::string());
  UpdateStatusTable();
  UpdateNode();
  TChildReader rd(c);
  if (TParams* t = Table(kSigTS); t && rd.Peek() == t->SectionCode()) rd.Load(t);
  if (TParams* t = Table(kSigTU); t && rd.Peek() == t->SectionCode()) rd.Load(t);
  NamesFromTables();
}

void TPortAuto::NamesFromTables() {
  // The lists take the names the tables read, and the rows keep them as their own, so a
  // later rebuild from the lists keeps the same rows.
  auto take = [](TParams* t, std::vector<std::string>& names) {
    if (!t) return;
    names.resize(static_cast<std::size_t>(t->Count()));
    for (int i = 0; i < t->Count(); ++i)
      if (TParam* r = t->At(i)) {
        names[static_cast<std::size_t>(i)] = r->Name();
        r->SetDefaultName(r->Name());
      }
  };
  take(Table(kSigTS), tsNames);
  take(Table(kSigTU), tuNames);
}

// ---------------------------------------------------------------------------------------
std::string TPortAuto::ExportText(std::string_view old) const {
  std::string out;
  bool skipping = false;
  ForEachLine(old, [&](std::string_view line) {
    std::string_view head;
    if (SectionHead(line, head)) {
      skipping = false;
      for (const char* s : kInputSections)
        if (SameName(head, s)) skipping = true;
    }
    if (skipping) return;
    out.append(line);
    out += "\r\n";
  });
  TDocument* d = Doc();
  for (int k = 0; k < 4; ++k) {
    out += "[";
    out += kInputSections[k];
    out += "]\r\n";
    if (!d) continue;
    const TParams& list = d->Storage().List(kInputTypes[k]);
    for (int i = 0; i < list.Count(); ++i) {
      const TParam* r = list.At(i);
      out += std::to_string(i) + "=" + Utf8ToCp1251(r ? r->Name() : std::string()) + "\r\n";
    }
  }
  return out;
}

bool TPortAuto::ExportInputs(const std::string& path, std::string* error) const {
  std::string old;
  std::error_code ec;
  // An existing file must be read whole: writing without its other sections would lose them.
  if (std::filesystem::exists(path, ec) && !ReadWholeFile(path, old, error, kMaxListFile)) return false;
  return WriteFileAtomic(path, ExportText(old), error);
}

bool TPortAuto::ImportOutputs(const std::string& path, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, text, error, kMaxListFile)) return false;
  return ImportText(text, error);
}

bool TPortAuto::ImportText(std::string_view text, std::string* error) {
  bool haveTs = false, haveTu = false;
  std::vector<std::string> ts = IniSectionValues(text, "TS_out", &haveTs);
  std::vector<std::string> tuAll = IniSectionValues(text, "TU_out", &haveTu);
  if (!haveTs && !haveTu) {
    if (error) *error = "В файле нет разделов TS_out и TU_out: списки не изменены";
    return false;
  }
  std::vector<std::string> tu;
  std::unordered_set<std::string> seen;
  for (auto& n : tuAll)
    if (seen.insert(n).second) tu.push_back(std::move(n));
  auto cut = [&](std::vector<std::string>& v, const char* what) {
    if (v.size() <= static_cast<std::size_t>(kMaxRows)) return;
    Messages().ShowError("В разделе " + std::string(what) + " " + std::to_string(v.size()) +
                         " имён, взяты первые " + std::to_string(kMaxRows));
    v.resize(kMaxRows);
  };
  cut(ts, "TS_out");
  cut(tu, "TU_out");
  tsNames = std::move(ts);
  tuNames = std::move(tu);
  UpdateStatusTable();
  return true;
}

}  // namespace t32
