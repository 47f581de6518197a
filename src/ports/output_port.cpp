#include "ports/output_port.h"

#include <unordered_map>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

const char* IniPrefix(int type) {
  switch (type) {
    case kSigTU: return "TU.";
    case kSigTI: return "TI.";
    case kSigTII: return "TII.";
    case kSigTR: return "TR.";
    case kSigMTS: return "MTS.";
    default: return "TS.";
  }
}

TOutputPort::TOutputPort() { role = 1; }

void TOutputPort::Create(TNode* n) {
  TPort::Create(n);
  for (int t = 1; t <= 6; ++t) {
    auto p = MakeParams(t, kRoleOutput);
    p->owner = this;
    tables_[static_cast<std::size_t>(t)] = p.get();
    n->Tree()->Add(n, std::move(p));
  }
}

TParams* TOutputPort::Table(int type) const {
  return ValidSignalType(type) ? tables_[static_cast<std::size_t>(type)] : nullptr;
}

void TOutputPort::AfterLoad() {
  for (int t = 1; t <= 6; ++t)
    if (TParams* p = Table(t)) p->ResolveReferences();
}

void TOutputPort::AfterShortLoad() {
  TDocument* d = Doc();
  if (d) {
    const TStorage& st = d->Storage();
    for (int t : {kSigTS, kSigTU, kSigTI, kSigTR}) {
      TParams* p = Table(t);
      if (!p) continue;
      std::vector<std::string> names(static_cast<std::size_t>(st.LegacyCount(t)));
      for (std::size_t i = 0; i < names.size(); ++i) names[i] = st.LegacyName(t, static_cast<int>(i));
      p->SetPendingNames(std::move(names));
    }
  }
  AfterLoad();
}

void TOutputPort::ResolveOutputTables() {
  for (int t = 1; t <= 6; ++t)
    if (TParams* p = Table(t)) p->RelinkOutputRows();
}

void TOutputPort::WriteOutputTables(TConfig& c) {
  for (int t : {kSigTS, kSigTU, kSigTI, kSigTII, kSigTR})
    if (TParams* p = Table(t)) p->SaveToImage(c);
  if (TParams* m = Table(kSigMTS); m && m->Count() > 0) m->SaveToImage(c);
}

void TOutputPort::LoadOutputTables(TConfig& c) {
  TChildReader rd(c);
  for (;;) {
    int type = 0;
    switch (rd.Peek()) {
      case 211: type = kSigTS; break;
      case 212: type = kSigTU; break;
      case 213: type = kSigTI; break;
      case 214: type = kSigTII; break;
      case 215: type = kSigTR; break;
      case 219: type = kSigMTS; break;
      default: return;
    }
    rd.Load(Table(type));
  }
}

namespace {
// INI text may not break its lines or section heads: control characters become spaces.
std::string IniSafe(std::string s) {
  for (char& ch : s)
    if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
  return s;
}

// Sections in order of first use, rows in order. Keys never repeat inside a section: every
// section belongs to one table, and a table's valid addresses all differ.
struct TIniBuilder {
  struct Section {
    std::string name;
    std::string body;  // "key=value\r\n" lines
  };
  std::vector<Section> sections;
  std::unordered_map<std::string, std::size_t> byName;

  std::size_t SectionIndex(std::string name) {
    auto [it, fresh] = byName.emplace(name, sections.size());
    if (fresh) sections.push_back({std::move(name), {}});
    return it->second;
  }
  std::string Text() const {
    std::size_t size = 0;
    for (const Section& s : sections) size += s.name.size() + s.body.size() + 6;
    std::string out;
    out.reserve(size);
    for (const Section& s : sections) {
      out += '[';
      out += s.name;
      out += "]\r\n";
      out += s.body;
      out += "\r\n";
    }
    return Utf8ToCp1251(out);
  }
};
}  // namespace

std::string TOutputPort::IniText(int* skipped) const {
  TIniBuilder ini;
  int left = 0;
  for (int t : {kSigTS, kSigMTS, kSigTU, kSigTI, kSigTII, kSigTR}) {
    const TParams* p = Table(t);
    if (!p || p->Count() == 0) continue;
    std::vector<std::string> addresses = SignalAddressTexts(t, p->Count());
    // Rows of one owner follow each other: the section of the row before is usually this one's.
    std::string_view lastHead;
    std::size_t last = static_cast<std::size_t>(-1);
    for (int i = 0; i < p->Count(); ++i) {
      const TParam* r = p->At(i);
      if (!r || r->Name().empty()) continue;  // an empty slot carries no signal
      std::size_t k = static_cast<std::size_t>(i);
      const std::string& key = k < addresses.size() ? addresses[k] : std::string();
      // INI keys must differ: rows without a usable address would overwrite one another.
      if (key.empty() || key == "Ошибка!!!") {
        ++left;
        continue;
      }
      std::string_view name = r->Name();
      std::size_t dot = name.rfind('.');
      std::string_view head = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
      std::string_view value = dot == std::string_view::npos ? name : name.substr(dot + 1);
      if (last == static_cast<std::size_t>(-1) || head != lastHead) {
        last = ini.SectionIndex(IniSafe(IniPrefix(t) + std::string(head)));
        lastHead = head;
      }
      std::string& body = ini.sections[last].body;
      body += key;
      body += '=';
      body += IniSafe(std::string(value));
      body += "\r\n";
    }
  }
  if (skipped) *skipped = left;
  return ini.Text();
}

bool TOutputPort::ExportIni(const std::string& path, std::string* error, int* skipped) const {
  return WriteFileAtomic(path, IniText(skipped), error);
}

std::string TOutputPort::SkippedText(int skipped) {
  if (skipped <= 0) return {};
  return "Не выгружено строк без адреса: " + std::to_string(skipped);
}

}  // namespace t32
