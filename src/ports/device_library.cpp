#include "ports/device_library.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "model/cp1251.h"
#include "model/fileio.h"

namespace t32 {

namespace fs = std::filesystem;

void TDeviceLibrary::Clear() {
  files_.clear();
  types_.clear();
  shadowed_.clear();
  writeFolder_.clear();
  folders_.clear();
  loaded_ = false;
}

std::string TDeviceLibrary::Load(const std::vector<std::string>& folders) {
  loaded_ = true;
  folders_ = folders;
  std::vector<std::string> bad;
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (writeFolder_.empty() && fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK) == 0) writeFolder_ = folder;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::string ext = it->path().extension().string();
      if (Utf8Upper(ext) == ".INI" && !it->is_directory(ec)) names.push_back(it->path());
    }
    std::sort(names.begin(), names.end(), [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    for (const fs::path& p : names) {
      std::string file = p.filename().string();
      bool seen = std::any_of(files_.begin(), files_.end(), [&](const auto& f) { return Utf8Upper(f->name) == Utf8Upper(file); });
      if (seen) continue;
      auto f = std::make_unique<TLibraryFile>();
      f->name = file;
      f->path = p.string();
      if (!f->ini.Load(f->path)) {
        bad.push_back(file);
        continue;
      }
      files_.push_back(std::move(f));
      Index(*files_.back());
    }
  }
  if (bad.empty()) return {};
  std::string msg = "Не удалось прочитать файлы библиотеки устройств:";
  for (std::size_t i = 0; i < bad.size(); ++i) msg += (i ? ", " : " ") + bad[i];
  return msg;
}

void TDeviceLibrary::AddText(const std::string& fileName, std::string_view cp1251) {
  auto f = std::make_unique<TLibraryFile>();
  f->name = fileName;
  f->ini.Parse(cp1251);
  files_.push_back(std::move(f));
  Index(*files_.back());
  loaded_ = true;
}

void TDeviceLibrary::Index(const TLibraryFile& f) {
  for (const std::string& type : f.ini.Keys("Устройства")) {
    auto [it, fresh] = types_.emplace(Utf8Upper(type), std::make_pair(type, &f));
    if (!fresh) shadowed_.push_back({type, f.name, it->second.second->name});
  }
}

TLibraryFile* TDeviceLibrary::FileOf(std::string_view type) {
  const TLibraryFile* f = Find(type);
  for (auto& p : files_)
    if (p.get() == f) return p.get();
  return nullptr;
}

std::vector<std::string> TDeviceLibrary::Types() const {
  std::vector<std::string> out;
  out.reserve(types_.size());
  for (const auto& [upper, t] : types_) out.push_back(t.first);
  std::sort(out.begin(), out.end());
  return out;
}

const TLibraryFile* TDeviceLibrary::Find(std::string_view type) const {
  if (types_.empty()) return nullptr;
  auto it = types_.find(Utf8Upper(type));
  return it == types_.end() ? nullptr : it->second.second;
}

TLibraryFile* TDeviceLibrary::FindFile(std::string_view fileName) {
  const std::string up = Utf8Upper(fileName);
  for (auto& f : files_)
    if (Utf8Upper(f->name) == up) return f.get();
  return nullptr;
}

TLibraryFile& TDeviceLibrary::AddFile(std::unique_ptr<TLibraryFile> f) {
  files_.push_back(std::move(f));
  Index(*files_.back());
  loaded_ = true;
  return *files_.back();
}

void TDeviceLibrary::RemoveFile(const TLibraryFile* f) {
  files_.erase(std::remove_if(files_.begin(), files_.end(), [&](const auto& p) { return p.get() == f; }), files_.end());
  Reindex();
}

void TDeviceLibrary::Reindex() {
  types_.clear();
  shadowed_.clear();
  for (const auto& f : files_) Index(*f);
}

std::string TDeviceLibrary::FolderForNewFile(std::string* error) {
  if (!writeFolder_.empty()) return writeFolder_;
  if (folders_.empty()) {
    if (error) *error = "Не задана папка библиотеки устройств.";
    return {};
  }
  std::error_code ec;
  fs::create_directories(folders_.front(), ec);
  if (ec || !fs::is_directory(folders_.front(), ec)) {
    if (error) *error = "Не удалось создать папку " + folders_.front() + ": " + SystemErrorText(ec.value());
    return {};
  }
  writeFolder_ = folders_.front();
  return writeFolder_;
}

bool ParseLibraryNumber(std::string_view s, long long& value) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  bool hex = !s.empty() && s.front() == '$';
  if (hex) s.remove_prefix(1);
  if (s.empty() || s.size() > 12) return false;
  long long v = 0;
  for (char ch : s) {
    int d;
    if (ch >= '0' && ch <= '9') d = ch - '0';
    else if (hex && ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
    else if (hex && ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
    else return false;
    v = v * (hex ? 16 : 10) + d;
  }
  value = v;
  return true;
}

bool ReadLibraryNumber(const TLibraryFile& f, std::string_view section, std::string_view key, long long def,
                       long long max, long long& value, std::string* error) {
  std::string text = f.ini.ReadString(section, key);
  if (text.find_first_not_of(" \t") == std::string::npos) {
    value = def;
    return true;
  }
  long long v = 0;
  if (!ParseLibraryNumber(text, v) || v > max) {
    if (error)
      *error = "Файл " + f.name + ", раздел [" + std::string(section) + "], ключ " + std::string(key) +
               ": недопустимое значение \"" + text + "\"";
    return false;
  }
  value = v;
  return true;
}

}  // namespace t32
