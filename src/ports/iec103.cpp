#include "ports/iec103.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/cp866.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/app_context.h"

namespace t32 {

namespace {
namespace fs = std::filesystem;

constexpr int kEntryKey[3] = {45, 46, 47};
constexpr int kCountKey[3] = {13, 14, 15};
constexpr std::size_t kWidth[3] = {2, 3, 2};
// The order the signal tables stand under a device.
constexpr int kTableOrder[3] = {kSigTS, kSigTU, kSigTI};
const char* const kListSection[3] = {"Список ТС", "Список ТИ", "Список ТУ"};
const char* const kTableSection[3] = {"Таблица ТС", "Таблица ТИ", "Таблица ТУ"};

int TabOfKind(int kind) { return kind == kSigTS ? kTab103TS : kind == kSigTI ? kTab103TI : kTab103TU; }

std::string FuncName(int tab, const TEntry103& e) {
  std::string s = "Func" + std::to_string(e.f) + "_Inf" + std::to_string(e.i);
  if (tab == kTab103TI) s += "_N" + std::to_string(e.n);
  return s;
}

// "f i" or "f i n": exactly the table's number of words, each a decimal number in its range.
bool ParseEntry(int tab, std::string_view v, TEntry103& e) {
  const std::size_t want = tab == kTab103TI ? 3 : 2;
  int got[3] = {0, 0, 0};
  std::size_t words = 0, p = 0;
  while (true) {
    while (p < v.size() && (v[p] == ' ' || v[p] == '\t')) ++p;
    if (p == v.size()) break;
    if (words == want) return false;
    long x = 0;
    std::size_t start = p;
    for (; p < v.size() && v[p] != ' ' && v[p] != '\t'; ++p) {
      if (v[p] < '0' || v[p] > '9' || p - start >= 4) return false;
      x = x * 10 + (v[p] - '0');
    }
    got[words++] = static_cast<int>(x);
  }
  if (words != want || got[0] > 255 || got[1] > 255) return false;
  if (tab == kTab103TI && (got[2] < 1 || got[2] > 32)) return false;
  e = {static_cast<std::uint8_t>(got[0]), static_cast<std::uint8_t>(got[1]), static_cast<std::uint8_t>(got[2])};
  return true;
}

bool SameName(const std::string& a, const std::string& b) { return Utf8Upper(a) == Utf8Upper(b); }
}  // namespace

bool ValidTypeFileName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
  return true;
}

// =======================================================================================
TRTU103::TRTU103() {
  name = "RTU_103";
  frameClass = "TRTU103Frame";
  popup = TPopup::DeleteMenu;
  iconIndex = 28;
  number = 1;
}

void TRTU103::Create(TNode* n) {
  TPolledDevice::Create(n);
  n->SetImages(iconIndex);
}

void TRTU103::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_" + name);
}

const char* TRTU103::TableName(int tab) { return tab == kTab103TS ? "ТС" : tab == kTab103TI ? "ТИ" : "ТУ"; }

TAppContext* TRTU103::Context() const { return ContextOf(Doc()); }
TDeviceLibrary* TRTU103::Library() const {
  TAppContext* ctx = Context();
  return ctx ? &ctx->library103 : nullptr;
}
const TLibraryFile* TRTU103::LibraryFile() const {
  TDeviceLibrary* lib = Library();
  return lib ? lib->Find(name) : nullptr;
}

TParams* TRTU103::Table(int kind) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == kind) return t;
  return nullptr;
}

std::string TRTU103::SignalPrefix() const { return portName + "." + std::to_string(number) + "_" + name; }

std::string TRTU103::EntryKey(int tab, const TEntry103& e) {
  std::string k = std::to_string(e.f) + " " + std::to_string(e.i);
  if (tab == kTab103TI) k += " " + std::to_string(e.n);
  return k;
}

std::vector<std::string> TRTU103::Names(int tab) const {
  const TLibraryFile* f = LibraryFile();
  // The section is found once; each name is then one hashed look-up.
  const TIniFile::Section* list = f ? f->ini.FindSection(kListSection[tab]) : nullptr;
  const std::string start = place.empty() ? std::string() : place + " ";
  std::vector<std::string> out;
  out.reserve(tables[tab].size());
  for (const TEntry103& e : tables[tab]) {
    std::string v = list ? TIniFile::ReadString(list, EntryKey(tab, e)) : std::string();
    out.push_back(start + (v.empty() ? FuncName(tab, e) : v));
  }
  return out;
}

void TRTU103::UpdateStatusTable() {
  UpdateNode();
  if (!node) return;
  std::vector<std::string> lists[3] = {Names(0), Names(1), Names(2)};
  TTree* tree = node->Tree();
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind); t && lists[TabOfKind(kind)].empty()) tree->Delete(t->node);
  for (std::size_t k = 0; k < 3; ++k) {
    int kind = kTableOrder[k];
    if (lists[TabOfKind(kind)].empty() || Table(kind)) continue;
    // Tables keep the order ТС, ТУ, ТИ in front of anything else.
    int at = 0;
    for (std::size_t j = 0; j < k; ++j)
      if (Table(kTableOrder[j])) ++at;
    auto p = MakeParams(kind, kRoleSource);
    p->owner = this;
    tree->Add(node, std::move(p), at)->expanded = true;
  }
  const std::string prefix = SignalPrefix();
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind)) t->BuildFromList(lists[TabOfKind(kind)], kind == kSigTI ? 2 : 0, prefix);
  RequestPortRebuild();
}

bool TRTU103::SetTables(std::vector<TEntry103> ts, std::vector<TEntry103> ti, std::vector<TEntry103> tu) {
  const std::vector<TEntry103>* in[3] = {&ts, &ti, &tu};
  for (int t = 0; t < 3; ++t)
    if (in[t]->size() > kMaxEntries) {
      Messages().ShowError("Таблица " + std::string(TableName(t)) + " устройства " + std::to_string(number) + "_" + name +
                           " содержит " + std::to_string(in[t]->size()) + " строк: допустимо не более 255.");
      return false;
    }
  tables[0] = std::move(ts);
  tables[1] = std::move(ti);
  tables[2] = std::move(tu);
  return true;
}

void TRTU103::ApplyType(const TLibraryFile& f, std::vector<std::string>* problems) {
  for (int tab = 0; tab < 3; ++tab) {
    std::vector<TEntry103> got;
    const TIniFile::Section* s = f.ini.FindSection(kTableSection[tab]);
    const std::string head = "Файл " + f.name + ", раздел [" + kTableSection[tab] + "]";
    bool over = false;
    for (const TIniFile::Entry& e : s ? s->entries : std::vector<TIniFile::Entry>{}) {
      // Keys named after the table ("ТС_1", ...); the first two letters decide.
      if (Utf8Upper(Utf8Left(e.key, 2)) != TableName(tab) || e.value.find_first_not_of(" \t") == std::string::npos) continue;
      TEntry103 x;
      if (!ParseEntry(tab, e.value, x)) {
        if (problems) problems->push_back(head + ", ключ " + e.key + ": недопустимое значение \"" + e.value + "\"");
        continue;
      }
      if (got.size() == kMaxEntries) {
        over = true;
        continue;
      }
      got.push_back(x);
    }
    if (over && problems) problems->push_back(head + ": больше 255 записей, лишние не прочитаны");
    tables[tab] = std::move(got);
  }
  UpdateStatusTable();
}

void TRTU103::ApplyDeviceType() {
  const TLibraryFile* f = LibraryFile();
  if (!f) return;
  std::vector<std::string> problems;
  ApplyType(*f, &problems);
  if (problems.empty()) return;
  std::string msg;
  for (const std::string& p : problems) msg += (msg.empty() ? "" : "\r") + p;
  Messages().ShowError(msg);
}

// --- type commands -------------------------------------------------------------------------
bool TRTU103::ChooseType(const std::string& type) {
  if (applying_) return false;
  applying_ = true;
  name = Utf8Left(type, 64);
  UpdateNode();
  ApplyDeviceType();
  UpdateStatusTable();
  applying_ = false;
  return true;
}

bool TRTU103::SaveType(const std::string& chooserText) {
  TDeviceLibrary* lib = Library();
  if (!lib) return false;
  TMessages& m = Messages();
  std::optional<std::string> answer = m.AskText("", "Сохранить настройку блока как :", chooserText);
  if (!answer || answer->find_first_not_of(' ') == std::string::npos) return false;
  const std::string type = Utf8Left(*answer, 64);
  if (!ValidTypeFileName(type)) {
    m.ShowError("Имя \"" + type + "\" не годится для имени файла: в нём не должно быть знаков \"/\", \"\\\" и " +
                "управляющих символов, и оно не должно начинаться с точки. Задайте другое имя.");
    return false;
  }
  TLibraryFile* f = lib->FileOf(type);
  if (f && f->ini.Keys("Устройства").size() > 1) {
    m.ShowError("Файл  " + f->name + "  содержит описание нескольких устройств. В записи отказано. Задайте другое имя.");
    return false;
  }
  if (f && m.AskConfirm("Блок уже существует.\rПереписать настройку?") != kYes) return false;

  TIniFile ini;
  std::string path, fileName;
  if (f) {
    ini = f->ini;
    path = f->path;
    fileName = f->name;
  } else {
    fileName = type + ".ini";
    // A library file of that name describes other types: overwriting it would lose them.
    for (const auto& other : lib->Files())
      if (SameName(other->name, fileName)) {
        m.ShowError("Файл  " + other->name + "  содержит описание других устройств. В записи отказано. Задайте другое имя.");
        return false;
      }
    if (const TLibraryFile* current = LibraryFile()) ini = current->ini;
  }
  if (path.empty()) {
    std::string folder = lib->WriteFolder();
    if (folder.empty() && !lib->Folders().empty()) {
      // No folder could be written when the library was read: the user's own folder is made.
      std::error_code ec;
      fs::create_directories(lib->Folders().front(), ec);
      if (!ec && ::access(lib->Folders().front().c_str(), W_OK) == 0) folder = lib->Folders().front();
    }
    if (folder.empty()) {
      m.ShowError("Нет папки библиотеки устройств, доступной для записи. Тип " + type + " не сохранён.");
      return false;
    }
    path = (fs::path(folder) / fileName).string();
    std::error_code ec;
    if (!f && fs::exists(path, ec) &&
        m.AskConfirm("Файл " + path + " уже существует, но не входит в библиотеку.\rПереписать его?") != kYes)
      return false;
  }
  for (const char* s : {"Устройства", "Таблица ТС", "Таблица ТУ", "Таблица ТИ"}) ini.EraseSection(s);
  ini.WriteString("Устройства", type, "");
  // Entries are numbered by position; function type 0 marks an unused entry and is not written.
  for (int tab : {kTab103TS, kTab103TU, kTab103TI}) {
    int k = 0;
    for (const TEntry103& e : tables[tab]) {
      ++k;
      if (e.f == 0) continue;
      ini.WriteString(kTableSection[tab], std::string(TableName(tab)) + "_" + std::to_string(k), EntryKey(tab, e));
    }
  }
  std::string err;
  if (!ini.Save(path, &err)) {
    m.ShowError("Тип " + type + " не сохранён: " + err);
    return false;
  }
  if (f) {
    f->ini = std::move(ini);
    f->path = path;
    lib->Reindex();
  } else {
    auto nf = std::make_unique<TLibraryFile>();
    nf->name = fileName;
    nf->path = path;
    nf->ini = std::move(ini);
    lib->AddFile(std::move(nf));
  }
  ChooseType(type);
  return true;
}

bool TRTU103::DeleteType() {
  TDeviceLibrary* lib = Library();
  TLibraryFile* f = lib ? lib->FileOf(name) : nullptr;
  if (!f) return false;
  TMessages& m = Messages();
  if (m.AskConfirm("Удалить устройство " + name + " из списка ?") != kYes) return false;
  const std::string type = name;
  if (f->ini.Keys("Устройства").size() <= 1) {
    if (!f->path.empty()) {
      std::error_code ec;
      fs::remove(f->path, ec);
      if (ec) {
        m.ShowError("Тип " + type + " нельзя удалить: файл " + f->path + " не удаляется (" + SystemErrorText(ec.value()) +
                    "). Папка библиотеки доступна только для чтения?");
        return false;
      }
    }
    lib->RemoveFile(f);
  } else {
    TIniFile ini = f->ini;
    ini.EraseKey("Устройства", type);
    std::string err;
    if (!f->path.empty() && !ini.Save(f->path, &err)) {
      m.ShowError("Тип " + type + " нельзя удалить: " + err);
      return false;
    }
    f->ini = std::move(ini);
    lib->Reindex();
  }
  UpdateStatusTable();
  return true;
}

std::vector<std::pair<std::string, std::string>> TRTU103::ParameterList(int tab) const {
  std::vector<std::pair<std::string, std::string>> out;
  const TLibraryFile* f = LibraryFile();
  const TIniFile::Section* s = f ? f->ini.FindSection(kListSection[tab]) : nullptr;
  if (!s) return out;
  for (const TIniFile::Entry& e : s->entries) out.emplace_back(e.key, e.value);
  return out;
}

// --- image ---------------------------------------------------------------------------------
void TRTU103::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U8({"address", 1, 1, 255}, number);
  v.U8({"attempts", 62, 2, 99}, attempts);
  v.Text({"type", 41}, name);
  // The entries (keys 45 to 47) are lists: the dump shows them in DumpExtra.
  std::uint8_t n[3];
  for (int t = 0; t < 3; ++t) n[t] = static_cast<std::uint8_t>(std::min(tables[t].size(), kMaxEntries));
  v.U8({"tsCount", 13}, n[0]);
  v.U8({"tiCount", 14}, n[1]);
  v.U8({"tuCount", 15}, n[2]);
}

void TRTU103::DumpExtra(std::string& out, const std::string& indent) const {
  for (int t : {kTab103TS, kTab103TI, kTab103TU}) {
    out += indent + TableName(t) + " [";
    for (std::size_t k = 0; k < tables[t].size(); ++k) {
      const TEntry103& e = tables[t][k];
      out += (k ? ", (" : "(") + std::to_string(e.f) + ", " + std::to_string(e.i);
      if (t == kTab103TI) out += ", " + std::to_string(e.n);
      out += ")";
    }
    out += "]\n";
  }
}

void TRTU103::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(208);
  c.PutU8(48, version);
  c.PutText(77, place);
  c.PutU8(1, number);
  c.PutU8(62, attempts);
  c.PutText(41, name);
  std::size_t n[3];
  for (int t = 0; t < 3; ++t) {
    // The count is one byte: a table is never written past 255 entries (the editor refuses more).
    n[t] = std::min(tables[t].size(), kMaxEntries);
    c.PutU8(static_cast<std::uint16_t>(kCountKey[t]), static_cast<std::uint8_t>(n[t]));
  }
  for (int t = 0; t < 3; ++t) {
    if (!n[t]) continue;
    std::vector<std::uint8_t> b;
    b.reserve(n[t] * kWidth[t]);
    for (std::size_t k = 0; k < n[t]; ++k) {
      const TEntry103& e = tables[t][k];
      b.push_back(e.f);
      b.push_back(e.i);
      if (t == kTab103TI) b.push_back(e.n);
    }
    c.PutEntry(static_cast<std::uint16_t>(kEntryKey[t]), b.size(), b.data());
  }
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind)) t->SaveToImage(c);
  c.EndSection(at);
}

void TRTU103::ReadEntries(const TConfig& c, bool shortRecords) {
  for (int t = 0; t < 3; ++t) {
    tables[t].clear();
    std::uint8_t count = 0;
    const auto key = static_cast<std::uint16_t>(kEntryKey[t]);
    if (shortRecords) c.GetShortEntry(static_cast<std::uint8_t>(kCountKey[t]), 1, &count);
    else c.GetU8(static_cast<std::uint16_t>(kCountKey[t]), count);
    if (!count) continue;
    // A count beyond the entry's bytes is cut to the entries really there.
    std::size_t want = count * kWidth[t];
    std::vector<std::uint8_t> b(want, 0);
    long size = shortRecords ? c.ShortEntrySize(static_cast<std::uint8_t>(key)) : c.EntrySize(key);
    std::size_t have = 0;
    if (size > 0) {
      std::size_t n = std::min<std::size_t>(want, static_cast<std::size_t>(size));
      bool ok = shortRecords ? c.GetShortEntry(static_cast<std::uint8_t>(key), static_cast<std::uint16_t>(n), b.data())
                             : c.GetEntry(key, n, b.data());
      if (ok) have = n / kWidth[t];
    }
    for (std::size_t k = 0; k < have; ++k) {
      const std::uint8_t* p = b.data() + k * kWidth[t];
      tables[t].push_back({p[0], p[1], t == kTab103TI ? p[2] : std::uint8_t{0}});
    }
  }
}

void TRTU103::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 208)) return;
  c.GetText(77, place);
  place = Utf8Left(place, 64);
  c.GetU8(1, number);
  c.GetU8(62, attempts);
  if (c.GetText(41, name)) name = Utf8Left(name, 64);
  ReadEntries(c, false);
  UpdateStatusTable();
  TChildReader rd(c);
  for (;;) {
    int kind = 0;
    switch (rd.Peek()) {
      case 211: kind = kSigTS; break;
      case 212: kind = kSigTU; break;
      case 213: kind = kSigTI; break;
      default: return;
    }
    rd.Load(Table(kind));  // a table without entries is skipped
  }
}

void TRTU103::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 208) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  c.GetShortEntry(62, 1, &attempts);
  std::uint8_t raw[17] = {};
  if (c.GetShortEntry(41, 17, raw)) {
    std::size_t len = std::min<std::size_t>(raw[0], 16);
    name = Cp866ToUtf8(std::string_view(reinterpret_cast<const char*>(raw + 1), len));
  }
  ReadEntries(c, true);
  UpdateStatusTable();
  TDocument* d = Doc();
  if (!d) return;
  TStorage& st = d->Storage();
  // Older images placed each signal by the first group of its kind: row + 8 × (group − 1).
  const std::pair<int, int> groups[3] = {{10, kSigTS}, {11, kSigTI}, {12, kSigTU}};
  for (auto [key, kind] : groups) {
    std::uint8_t g = 0;
    TParams* t = Table(kind);
    if (!t || !c.GetShortEntry(static_cast<std::uint8_t>(key), 1, &g) || g == 0) continue;
    for (int row = 0; row < t->Count(); ++row)
      if (TParam* r = t->At(row)) st.PutLegacyName(row + 8 * (g - 1), kind, kind == kSigTI ? 2 : 0, r->DefaultName());
  }
  std::uint8_t g = 0, p = 0;
  if (c.GetShortEntry(32, 1, &g) && g > 0) {
    c.GetShortEntry(33, 1, &p);
    st.PutLegacyName(8 * g + p - 8, kSigTS, 0, portName + "." + LinkStatusName());
  }
}

void TRTU103::EnumerateSignals(TStorageLists& lists) {
  for (int kind : {kSigTS, kSigTU, kSigTI})
    if (TParams* t = Table(kind)) lists.Append(t);
}

void TRTU103::AfterLoad() {
  if (TParams* tu = Table(kSigTU); tu && tu->referencesPending) tu->ResolveReferences();
}

// =======================================================================================

TPort103::TPort103() {
  name = "МЭК 870-5-103";
  frameClass = "TPort103Frame";
  popup = TPopup::AddRTUMenu;
  iconIndex = 2;
  interfaces = kIfRS232 | kIfRS485;
  number = 1;
}

void TPort103::Create(TNode* n) {
  TPollingPort::Create(n);
  n->SetImages(0);
  if (TAppContext* ctx = ContextOf(Doc())) ctx->EnsureLibrary103(&Messages());
}

void TPort103::SetDefaults() {
  replyWait = 300;
  syncPeriod = 0;
  pollPeriod = 0;
}

void TPort103::SetSyncMinutes(long long m) { syncPeriod = PeriodMinutesToMs(m); }
void TPort103::SetPollMinutes(long long m) { pollPeriod = PeriodMinutesToMs(m); }
long long TPort103::SyncMinutes() const { return PeriodMsToMinutes(syncPeriod); }
long long TPort103::PollMinutes() const { return PeriodMsToMinutes(pollPeriod); }

void TPort103::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U16({"replyWait", 57, 100, 2000}, replyWait);
  v.I32({"syncPeriod", 31, 0, 60000.0 * kMaxMinutes}, syncPeriod);
  v.I32({"pollPeriod", 17, 0, 60000.0 * kMaxMinutes}, pollPeriod);
  CountFields(v, true);
}

void TPort103::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(115);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU16(57, replyWait);
  c.PutI32(31, syncPeriod);
  c.PutI32(17, pollPeriod);
  PutDeviceCount(c);
  PutBinding(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPort103::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 115)) return;
  c.GetU8(1, number);
  c.GetU16(57, replyWait);
  c.GetI32(31, syncPeriod);
  c.GetI32(17, pollPeriod);
  std::uint8_t n = 0, ch = 0;
  c.GetU8(20, n);
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  LoadChildren(c, n, 208, [] { return std::make_unique<TRTU103>(); });
}

void TPort103::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 115) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  std::uint8_t n = 0, ch = 0;
  c.GetShortEntry(20, 1, &n);
  std::uint16_t wait = replyWait;
  if (c.GetShortEntry(57, 2, &wait)) replyWait = wait;  // little-endian on every target we build
  std::int32_t v = 0;
  if (c.GetShortEntry(31, 4, &v)) syncPeriod = v;
  if (c.GetShortEntry(17, 4, &v)) pollPeriod = v;
  if (c.GetShortEntry(30, 1, &ch)) BindByAddress(ch);
  UpdateNode();
  LoadChildren(c, n, 208, [] { return std::make_unique<TRTU103>(); }, true);
}

std::vector<TRTU103*> TPort103::AddDevices(const std::vector<std::pair<int, std::string>>& picked) {
  std::vector<std::pair<int, std::string>> sorted = picked;
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TRTU103*> added;
  TRebuildSuspension hold(this);
  for (const auto& [address, type] : sorted) {
    if (address < 1 || address > 255) continue;
    const int at = address;  // structured bindings cannot be captured by every compiler we build with
    if (Exists(nullptr, [at](const TPolledDevice& d) { return d.number == at; })) continue;
    if (!CanAddDevice()) break;
    auto dev = std::make_unique<TRTU103>();
    dev->number = static_cast<std::uint8_t>(address);
    if (!type.empty()) dev->name = Utf8Left(type, 64);
    auto* d = static_cast<TRTU103*>(AppendDevice(std::move(dev)));
    if (!d) break;
    d->UpdateNode();
    if (d->LibraryFile()) d->ApplyDeviceType();
    else d->UpdateStatusTable();
    added.push_back(d);
  }
  return added;
}

void TPort103::AddChildren(int /*menuTag*/) {
  if (!CanAddDevice()) return;
  std::vector<TDevicePick> used;
  for (TPolledDevice* d : Devices()) used.push_back({d->number, d->name});
  TAppContext* ctx = ContextOf(Doc());
  std::vector<std::string> types = ctx ? ctx->library103.Types() : std::vector<std::string>{};
  std::vector<TDevicePick> picked;
  if (!Messages().PickDevices(used, types, picked)) return;
  std::vector<std::pair<int, std::string>> p;
  for (const auto& x : picked) p.emplace_back(x.address, x.type);
  AddDevices(p);
}

}  // namespace t32
