#include "ports/ied_types.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <filesystem>
#include <system_error>

#include "iec61850/mmsclient.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/memstream.h"
#include "model/messages.h"
#include "ports/app_context.h"
#include "ports/port_61850.h"

namespace t32 {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kHead = 144;

void PutText(std::vector<std::uint8_t>& img, std::size_t at, std::string_view text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) img[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
}
void PutLe32(std::vector<std::uint8_t>& img, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) img[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t Sum(const std::vector<std::uint8_t>& img, std::size_t end) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < end; ++i) s += img[i];
  return static_cast<std::uint16_t>(s);
}
bool EndsWithIed(const std::string& n) {
  if (n.size() < 4) return false;
  std::string ext = n.substr(n.size() - 4);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ext == ".ied";
}
}  // namespace

std::vector<std::string> DefaultIedFolders(const std::string& programDir) {
  std::vector<std::string> out;
  out.push_back((programDir.empty() ? std::string(".") : programDir) + "/IEC61850");
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) out.push_back(std::string(x) + "/tavrik32/IEC61850");
  else if (const char* h = std::getenv("HOME"); h && *h) out.push_back(std::string(h) + "/.config/tavrik32/IEC61850");
  return out;
}

void TIedTypes::Ensure() {
  if (!loaded_) Reload();
}

void TIedTypes::Reload() {
  loaded_ = true;
  types_.clear();
  paths_.clear();
  for (const std::string& folder : folders) {
    std::error_code ec;
    std::vector<std::pair<std::string, std::string>> found;
    for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      std::string file = it->path().filename().string();
      if (!EndsWithIed(file)) continue;
      found.emplace_back(file.substr(0, file.size() - 4), it->path().string());
    }
    std::sort(found.begin(), found.end());
    for (auto& [type, path] : found)
      if (!Has(type)) Add(type, path);
  }
}

bool TIedTypes::Has(std::string_view type) const { return std::find(types_.begin(), types_.end(), type) != types_.end(); }

std::string TIedTypes::PathOf(std::string_view type) const {
  for (std::size_t i = 0; i < types_.size(); ++i)
    if (types_[i] == type) return paths_[i];
  return {};
}

std::string TIedTypes::WritePath(std::string_view type) const {
  for (const std::string& folder : folders) {
    std::error_code ec;
    fs::create_directories(fs::path(folder), ec);
    // A folder counts as writable when a file can be made in it.
    std::string probe = folder + "/.tavrik32-probe";
    if (std::FILE* f = std::fopen(probe.c_str(), "wb")) {
      std::fclose(f);
      std::remove(probe.c_str());
      return folder + "/" + std::string(type) + ".ied";
    }
  }
  return folders.empty() ? std::string(type) + ".ied" : folders.front() + "/" + std::string(type) + ".ied";
}

void TIedTypes::Add(const std::string& type, const std::string& path) {
  auto it = std::lower_bound(types_.begin(), types_.end(), type);
  std::size_t at = static_cast<std::size_t>(it - types_.begin());
  if (it != types_.end() && *it == type) {
    paths_[at] = path;
    return;
  }
  types_.insert(it, type);
  paths_.insert(paths_.begin() + static_cast<long>(at), path);
}

void TIedTypes::Remove(std::string_view type) {
  for (std::size_t i = 0; i < types_.size(); ++i)
    if (types_[i] == type) {
      types_.erase(types_.begin() + static_cast<long>(i));
      paths_.erase(paths_.begin() + static_cast<long>(i));
      return;
    }
}

bool SafeTypeName(std::string_view name, std::string* why) {
  auto refuse = [&](const std::string& text) {
    if (why) *why = text;
    return false;
  };
  if (name.empty()) return refuse("Имя типа устройства не задано.");
  if (Utf8Length(name) > 64) return refuse("Имя типа устройства длиннее 64 символов.");
  bool bad = name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos ||
             name.find("..") != std::string_view::npos;
  for (char ch : name)
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) bad = true;
  if (bad)
    return refuse("Имя типа устройства \"" + std::string(name) +
                  "\" не может быть именем файла: в нём не должно быть \"/\", \"\\\", \"..\" и управляющих символов.");
  return true;
}

bool IedFileBytes(TRTU61850& dev, const std::string& fileName, std::vector<std::uint8_t>& out, std::string* error) {
  TConfig c;
  c.BeginWrite();
  dev.templateForm = true;
  dev.SaveToImage(c);
  dev.templateForm = false;
  if (!c.Refusals().empty() || c.Overflowed()) {
    if (error) *error = c.Refusals().empty() ? "Настройка устройства слишком велика." : c.Refusals().front();
    return false;
  }
  std::vector<std::uint8_t> img(c.Image().begin(), c.Image().begin() + c.Pos);
  std::size_t end = img.size();
  std::size_t total = (end / 16 + 1) * 16 + 16;  // 1 to 16 zero bytes, then 16 more
  img.resize(total, 0);
  std::memcpy(img.data(), kIedSignature, 14);
  img[14] = 1;
  img[15] = 0;  // neither scrambled nor compressed
  char buf[96];
  std::snprintf(buf, sizeof buf, "Size:%-7d", static_cast<int>(total));
  PutText(img, 16, std::string_view(buf, 12), 12);
  PutLe32(img, 28, static_cast<std::uint32_t>(total));
  std::string file = Utf8ToCp1251(fileName);
  std::snprintf(buf, sizeof buf, "File:%-16.16s", file.c_str());
  PutText(img, 32, std::string_view(buf, 16), 16);
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::snprintf(buf, sizeof buf, "Date:%02d.%02d.%04d ", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
  PutText(img, 48, buf, 16);
  std::snprintf(buf, sizeof buf, "Time:%02d:%02d:%02d   ", tm.tm_hour, tm.tm_min, tm.tm_sec);
  PutText(img, 64, buf, 16);
  PutText(img, 80, "Data:", 12);
  PutLe32(img, 92, kHead);
  PutText(img, 128, "** ConfigData **", 16);
  std::uint16_t sum = Sum(img, total - 2);
  img[total - 2] = static_cast<std::uint8_t>(sum);
  img[total - 1] = static_cast<std::uint8_t>(sum >> 8);
  out = std::move(img);
  return true;
}

bool ReadIedBytes(const std::vector<std::uint8_t>& bytes, TRTU61850& dev, const std::string& displayName,
                  std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = "Файл типа устройства " + displayName + ": " + text;
    return false;
  };
  if (bytes.empty()) return fail("файл пуст.");
  if (bytes.size() > kMaxIedFile) return fail("файл слишком велик.");
  if (bytes.size() < kHead + 16 || std::memcmp(bytes.data(), kIedSignature, 14) != 0)
    return fail("это не файл типа устройства МЭК-61850.");
  std::uint32_t total = bytes[28] | (bytes[29] << 8) | (bytes[30] << 16) | (std::uint32_t(bytes[31]) << 24);
  if (total != bytes.size() || bytes[15] != 0) return fail("файл повреждён или обрезан.");
  std::uint16_t stored = static_cast<std::uint16_t>(bytes[total - 2] | (bytes[total - 1] << 8));
  if (Sum(bytes, total - 2) != stored) return fail("неверная контрольная сумма.");
  TConfig c;
  if (!c.SetImage(bytes)) return fail("файл слишком велик.");
  const std::int32_t at = c.Pos;
  if (c.NextSection() != 220) return fail("в нём нет настройки устройства МЭК-61850.");
  std::uint8_t version = 0;
  if (!c.GetU8(48, version) || version > dev.KnownVersion()) return fail("настройка записана более новой версией.");
  // The model must load whole before the device takes anything from the file.
  std::uint32_t length = 0;
  c.GetU32(60, length);
  const long have = c.EntrySize(102);
  if (have < 0 ? length != 0 : length > static_cast<std::uint32_t>(have)) return fail("модель устройства обрезана.");
  if (length > 0) {
    std::vector<std::uint8_t> model(static_cast<std::size_t>(have));
    c.GetEntry(102, model.size(), model.data());
    TMMSobject client;
    TStrDictionary none;
    TMemStream s(model.data(), length);
    if (!client.LoadState(s, none)) return fail("модель устройства повреждена.");
  }
  c.Pos = at;
  dev.templateForm = true;
  dev.LoadFromImage(c);
  dev.templateForm = false;
  return true;
}

bool SaveDeviceType(TRTU61850& dev, TIedTypes& types, TMessages& msgs) {
  types.Ensure();
  std::optional<std::string> text = msgs.AskText("Сохранить", "Сохранить настройку блока как :", dev.name);
  if (!text) return false;
  std::string type = Utf8Left(*text, 64);
  std::string why;
  if (!SafeTypeName(type, &why)) {
    msgs.ShowError(why);
    return false;
  }
  std::string path = types.PathOf(type);
  if (!path.empty() && msgs.AskConfirm("Файл уже существует.\rПереписать настройку?") != kYes) return false;
  if (path.empty()) path = types.WritePath(type);
  const std::string old = dev.name;
  dev.name = type;
  std::vector<std::uint8_t> bytes;
  std::string error;
  std::string fileName = fs::path(path).filename().string();
  if (!IedFileBytes(dev, fileName, bytes, &error) ||
      !WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &error)) {
    dev.name = old;
    msgs.ShowError(error);
    return false;
  }
  dev.UpdateNode();
  dev.RequestPortRebuild();
  types.Add(type, path);
  return true;
}

bool DeleteDeviceType(const std::string& type, TIedTypes& types, TMessages& msgs) {
  types.Ensure();
  std::string path = types.PathOf(type);
  if (path.empty()) return false;
  if (msgs.AskConfirm("Удалить устройство " + type + " из списка ?") != kYes) return false;
  std::error_code ec;
  fs::remove(fs::path(path), ec);
  if (ec) {
    msgs.ShowError("Файл " + path + " не удалён: " + ec.message());
    return false;
  }
  types.Remove(type);
  return true;
}

// The device's side: the chosen type's file becomes its settings and model.
void TRTU61850::ApplyDeviceType() {
  TAppContext* ctx = ContextOf(Doc());
  if (ctx) {
    ctx->iedTypes.Ensure();
    std::string path = ctx->iedTypes.PathOf(name);
    if (!path.empty()) {
      std::string data, error;
      if (!ReadWholeFile(path, data, &error, kMaxIedFile)) {
        Messages().ShowError(error);
      } else {
        std::vector<std::uint8_t> bytes(data.begin(), data.end());
        if (!ReadIedBytes(bytes, *this, path, &error)) Messages().ShowError(error);
      }
    }
  }
  newDevice = false;
  UpdateStatusTable();
}

}  // namespace t32
