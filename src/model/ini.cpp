#include "model/ini.h"

#include <cerrno>
#include <cstdlib>

#include "model/cp1251.h"
#include "model/fileio.h"

namespace t32 {
namespace {
std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}
}  // namespace

const TIniFile::Entry* TIniFile::Section::FindKey(std::string_view key) const {
  auto it = byKey.find(Utf8Upper(key));
  return it == byKey.end() ? nullptr : &entries[it->second];
}

TIniFile::Section& TIniFile::AddSection(std::string name) {
  byName_.emplace(Utf8Upper(name), sections_.size());
  sections_.push_back({std::move(name), {}, {}});
  return sections_.back();
}

void TIniFile::Parse(std::string_view cp) {
  sections_.clear();
  byName_.clear();
  std::string text = Cp1251ToUtf8(cp);
  Section* cur = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = Trim(std::string_view(text).substr(pos, nl - pos));
    pos = nl + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t close = line.find(']');
      std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      cur = Find(name);
      if (!cur) cur = &AddSection(name);
      continue;
    }
    std::size_t eq = line.find('=');
    if (!cur || eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    // The first occurrence wins.
    if (cur->byKey.emplace(Utf8Upper(key), cur->entries.size()).second) cur->entries.push_back({key, value});
  }
}

bool TIniFile::Load(const std::string& path) {
  std::string bytes;
  sections_.clear();
  byName_.clear();
  if (!ReadWholeFile(path, bytes, nullptr, 64u << 20)) return false;
  Parse(bytes);
  return true;
}

std::string TIniFile::Serialize() const {
  std::string out;
  for (const auto& s : sections_) {
    out += "[" + s.name + "]\r\n";
    for (const auto& e : s.entries) out += e.key + "=" + e.value + "\r\n";
    out += "\r\n";
  }
  return Utf8ToCp1251(out);
}

bool TIniFile::Save(const std::string& path, std::string* error) const {
  return WriteFileAtomic(path, Serialize(), error);
}

TIniFile::Section* TIniFile::Find(std::string_view name) {
  auto it = byName_.find(Utf8Upper(name));
  return it == byName_.end() ? nullptr : &sections_[it->second];
}
const TIniFile::Section* TIniFile::Find(std::string_view name) const {
  auto it = byName_.find(Utf8Upper(name));
  return it == byName_.end() ? nullptr : &sections_[it->second];
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  if (const Section* s = Find(section))
    if (const Entry* e = s->FindKey(key)) return e->value;
  return std::string(def);
}

long long TIniFile::ReadInteger(std::string_view section, std::string_view key, long long def) const {
  if (!HasKey(section, key)) return def;
  std::string v = ReadString(section, key);
  if (v.empty()) return def;
  const char* p = v.c_str();
  char* end = nullptr;
  errno = 0;
  long long n = (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) ? std::strtoll(p + 2, &end, 16)
                                                                              : std::strtoll(p, &end, 10);
  if (end == p || errno == ERANGE) return def;
  return n;
}

bool TIniFile::HasKey(std::string_view section, std::string_view key) const {
  const Section* s = Find(section);
  return s && s->FindKey(key);
}

bool TIniFile::HasSection(std::string_view section) const { return Find(section) != nullptr; }

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = Find(section);
  if (!s) s = &AddSection(std::string(section));
  auto [it, fresh] = s->byKey.emplace(Utf8Upper(key), s->entries.size());
  if (!fresh) {
    s->entries[it->second].value = std::string(value);
    return;
  }
  s->entries.push_back({std::string(key), std::string(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, long long value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::EraseSection(std::string_view section) {
  auto it = byName_.find(Utf8Upper(section));
  if (it == byName_.end()) return;
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
  byName_.clear();
  for (std::size_t i = 0; i < sections_.size(); ++i) byName_.emplace(Utf8Upper(sections_[i].name), i);
}

void TIniFile::EraseKey(std::string_view section, std::string_view key) {
  Section* s = Find(section);
  if (!s) return;
  const std::string upper = Utf8Upper(key);
  std::erase_if(s->entries, [&](const Entry& e) { return Utf8Upper(e.key) == upper; });
  s->byKey.clear();
  for (std::size_t i = 0; i < s->entries.size(); ++i) s->byKey.emplace(Utf8Upper(s->entries[i].key), i);
}

std::vector<std::string> TIniFile::Sections() const {
  std::vector<std::string> out;
  for (const auto& s : sections_) out.push_back(s.name);
  return out;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
  std::vector<std::string> out;
  if (const Section* s = Find(section))
    for (const auto& e : s->entries) out.push_back(e.key);
  return out;
}

}  // namespace t32
