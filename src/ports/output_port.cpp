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

// Sections in order of first use, keys in order of first use; a key written again replaces
// its value in place, as the system's INI writer does.
struct TIniBuilder {
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
    std::unordered_map<std::string, std::size_t> at;
  };
  std::vector<Section> sections;
  std::unordered_map<std::string, std::size_t> byName;

  void Write(const std::string& section, const std::string& key, const std::string& value) {
    auto [it, fresh] = byName.emplace(section, sections.size());
    if (fresh) sections.push_back({section, {}, {}});
    Section& s = sections[it->second];
    auto [k, newKey] = s.at.emplace(key, s.entries.size());
    if (newKey) s.entries.emplace_back(key, value);
    else s.entries[k->second].second = value;
  }
  std::string Text() const {
    std::string out;
    for (const Section& s : sections) {
      out += "[" + s.name + "]\r\n";
      for (const auto& [k, v] : s.entries) out += k + "=" + v + "\r\n";
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
    for (int i = 0; i < p->Count(); ++i) {
      const TParam* r = p->At(i);
      if (!r || r->Name().empty()) continue;  // an empty slot carries no signal
      const std::string& key = static_cast<std::size_t>(i) < addresses.size() ? addresses[static_cast<std::size_t>(i)] : std::string();
      // INI keys must differ: rows without a usable address would overwrite one another.
      if (key.empty() || key == "Ошибка!!!") {
        ++left;
        continue;
      }
      const std::string& name = r->Name();
      std::size_t dot = name.rfind('.');
      std::string section = IniPrefix(t);
      std::string value = name;
      if (dot != std::string::npos) {
        section += name.substr(0, dot);
        value = name.substr(dot + 1);
      }
      ini.Write(IniSafe(section), key, IniSafe(value));
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
