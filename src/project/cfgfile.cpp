#include "project/cfgfile.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "model/cp1251.h"
#include "model/crc32.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/ini.h"
#include "model/item.h"
#include "model/messages.h"
#include "project/compress.h"

namespace t32 {
namespace {

constexpr char kSignature[] = "Sign:TavrCore ";  // 14 characters with the final space
constexpr std::size_t kHead = 144;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) | (std::uint32_t(b[at + 2]) << 16) |
         (std::uint32_t(b[at + 3]) << 24);
}
void PutText(std::vector<std::uint8_t>& b, std::size_t at, const std::string& cp, std::size_t width) {
  for (std::size_t i = 0; i < width && i < cp.size(); ++i) b[at + i] = static_cast<std::uint8_t>(cp[i]);
}

std::uint16_t Sum16(const std::vector<std::uint8_t>& b, std::size_t count) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < count; ++i) s += b[i];
  return static_cast<std::uint16_t>(s);
}

// The controller's scrambling: byte i of the region is XORed with the low byte of CRC table
// entry (i mod 256) plus the low byte of the check value. It is its own inverse.
void Scramble(std::vector<std::uint8_t>& b, std::size_t from, std::size_t to, std::uint32_t check) {
  std::uint8_t c = static_cast<std::uint8_t>(check);
  for (std::size_t i = from; i < to; ++i)
    b[i] ^= static_cast<std::uint8_t>(Crc32TableEntry(static_cast<std::uint8_t>(i)) + c);
}

std::string BaseName(const std::string& path) {
  auto s = path.find_last_of("/\\");
  return s == std::string::npos ? path : path.substr(s + 1);
}

std::string DirName(const std::string& path) {
  auto s = path.find_last_of('/');
  return s == std::string::npos ? "." : path.substr(0, s == 0 ? 1 : s);
}

// Minor version: characters 3 and 4 of "LastVersion" as a number, -1 when they are not one.
int MinorOf(const std::string& v) {
  if (v.size() < 4 || v[2] < '0' || v[2] > '9' || v[3] < '0' || v[3] > '9') return -1;
  return (v[2] - '0') * 10 + (v[3] - '0');
}

std::string FindKey(const TIniFile& ini, const char* key) {
  for (const auto& s : ini.Sections())
    if (ini.HasKey(s, key)) return ini.ReadString(s, key);
  return {};
}

}  // namespace

TBootIni ReadBootIniText(const std::string& cp1251Text) {
  TIniFile ini;
  // Keys may stand before any section head: give them one so they are found.
  ini.Parse("[Boot]\r\n" + cp1251Text);
  TBootIni info;
  std::string v = FindKey(ini, "LastVersion");
  info.lastVersion = v;
  int minor = MinorOf(v);
  info.minorVersion = minor < 0 ? 0 : minor;
  if (minor > 13 && !v.empty() && v[0] == '4') info.cpu = TCpu::Cpu927;
  if (auto s = FindKey(ini, "ConfigFilename"); !s.empty()) info.configFile = s;
  if (auto s = FindKey(ini, "AutoFilename"); !s.empty()) info.autoFile = s;
  info.passwordFile = FindKey(ini, "PasswordFileName");
  return info;
}

bool FinishImage(std::vector<std::uint8_t>& img, std::size_t end, const TBuildOptions& opt, std::string* error) {
  if (end < kHead) end = kHead;
  std::size_t rounded = static_cast<std::size_t>(end) + 16 - static_cast<std::size_t>(end) % 16;
  std::size_t total = rounded + 16;
  if (total > TConfig::kMaxImage) {
    if (error) *error = "Конфигурация слишком велика: образ больше " + std::to_string(TConfig::kMaxImage) + " байт.";
    return false;
  }
  img.resize(total, 0);
  std::fill(img.begin(), img.begin() + kHead, 0);
  std::fill(img.begin() + end, img.end(), 0);
  std::memcpy(img.data(), kSignature, 14);
  img[14] = 1;
  img[15] = opt.cpu == TCpu::Cpu927 ? 7 : 5;
  char buf[64];
  std::snprintf(buf, sizeof buf, "Size:%-7zu", total);
  PutText(img, 16, buf, 12);
  Put32(img, 28, static_cast<std::uint32_t>(total));
  std::string fname = Utf8ToCp1251(BaseName(opt.fileName));
  std::snprintf(buf, sizeof buf, "File:%-16.16s", fname.c_str());
  PutText(img, 32, buf, 16);
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::snprintf(buf, sizeof buf, "Date:%02d.%02d.%04d ", tm.tm_mday % 100, (tm.tm_mon + 1) % 100, (tm.tm_year + 1900) % 10000);
  PutText(img, 48, buf, 16);
  std::snprintf(buf, sizeof buf, "Time:%02d:%02d:%02d   ", tm.tm_hour % 100, tm.tm_min % 100, tm.tm_sec % 100);
  PutText(img, 64, buf, 16);
  PutText(img, 80, "Data:       ", 12);
  Put32(img, 92, kHead);
  PutText(img, 128, "** ConfigData **", 16);
  std::uint16_t sum = Sum16(img, total - 2);
  img[total - 2] = static_cast<std::uint8_t>(sum);
  img[total - 1] = static_cast<std::uint8_t>(sum >> 8);

  if (opt.cpu == TCpu::Cpu927) {
    if (opt.minorVersion >= 16) {
      std::vector<std::uint8_t> packed;
      std::string err;
      if (!Deflate(img.data() + kHead, total - kHead, kImageDeflateMode, packed, &err)) {
        if (error) *error = "Ошибка сжатия конфигурации: " + err;
        return false;
      }
      if (packed.size() > kCompressWorkSize) {
        if (error) *error = "Сжатая конфигурация не помещается в буфер контроллера.";
        return false;
      }
      img.resize(kHead);
      img.insert(img.end(), packed.begin(), packed.end());
      total = img.size();
      img[15] = 9;
      Put32(img, 28, static_cast<std::uint32_t>(total));
    }
    std::uint32_t check = Crc32NoFinal(img.data() + kHead, total - kHead);
    Put32(img, 96, check);
    Scramble(img, kHead, total, check);
  }
  return true;
}

bool BuildImage(TDocument& doc, const TBuildOptions& opt, std::vector<std::uint8_t>& out) {
  TMessages& msgs = doc.Messages();
  doc.extendedFormat = opt.cpu == TCpu::Cpu927;
  TConfig& c = doc.Config();
  std::int32_t end = doc.WriteRecords();
  doc.extendedFormat = true;

  // Port checks: every port needs a board channel; port numbers must be unique.
  bool unbound = false, duplicate = false;
  std::bitset<256> numbers;
  if (TNode* proc = doc.ProcNode())
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (auto* p = dynamic_cast<TPort*>(proc->Child(i)->Item())) {
        if (!p->boundChannel) unbound = true;
        if (numbers.test(p->number)) duplicate = true;
        numbers.set(p->number);
      }
  if (unbound) msgs.ShowError("Не все порты связаны с платами.");
  // Faults of the logic diagram: listed once, the save goes on.
  std::string problems;
  if (TNode* proc = doc.ProcNode())
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (TItem* it = proc->Child(i)->Item())
        for (const std::string& p : it->Problems()) problems += "\n" + p;
  if (!problems.empty()) msgs.ShowError("Схема дискретной логики:" + problems);
  if (duplicate) {
    msgs.ShowError("Обнаружены порты с одинаковым адресом. Сохранение прервано.");
    return false;
  }
  if (!c.refusal.empty()) {
    msgs.ShowError(c.refusal);
    return false;
  }
  if (c.Overflowed()) {
    msgs.ShowError("Конфигурация слишком велика: образ больше " + std::to_string(TConfig::kMaxImage) + " байт.");
    return false;
  }
  std::vector<std::uint8_t> img = c.Image();
  std::string err;
  TBuildOptions named = opt;
  if (!doc.currentFile.empty()) named.fileName = doc.currentFile;  // the current file wins
  if (!FinishImage(img, static_cast<std::size_t>(end), named, &err)) {
    msgs.ShowError(err);
    return false;
  }
  out = std::move(img);
  return true;
}

bool ParseImage(TDocument& doc, std::vector<std::uint8_t> b, bool fromController, TCpu* cpu,
                const std::string& displayName) {
  TMessages& msgs = doc.Messages();
  if (b.size() < 14 || std::memcmp(b.data(), kSignature, 14) != 0) {
    std::string first(reinterpret_cast<const char*>(b.data()), std::min<std::size_t>(b.size(), 14));
    for (char& ch : first)
      if (ch == 0) ch = ' ';
    msgs.ShowError("Ошибка сигнатуры файла \"" + displayName + "\"\r\n" + Cp1251ToUtf8(first));
    return false;
  }
  const std::string kSumError = "Ошибка контрольной суммы FLASH";
  if (b.size() < kHead + 2) {
    msgs.ShowError(kSumError);
    return false;
  }
  int type = b[15];
  bool typeOk = fromController ? ((type == 1 || type == 5) ? (!cpu || *cpu == TCpu::Cpu6358)
                                                          : (type == 7 || type == 9) && (!cpu || *cpu == TCpu::Cpu927))
                               : (type == 1 || type == 5 || type == 7 || type == 9);
  if (!typeOk) {
    msgs.ShowError("Ошибка типа контроллера");
    return false;
  }
  std::size_t start = Get32(b, 92);
  std::size_t total = Get32(b, 28);
  // The head's own numbers must describe this buffer; anything else is a damaged image.
  if (start != kHead || total < kHead + 2 || total > b.size()) {
    msgs.ShowError(kSumError);
    return false;
  }
  b.resize(total);
  if (type == 7 || type == 9) {
    std::uint32_t stored = Get32(b, 96);
    Scramble(b, start, total, stored);
    if (Crc32NoFinal(b.data() + start, total - start) != stored) {
      msgs.ShowError(kSumError);
      return false;
    }
    Put32(b, 96, 0);
    if (type == 9) {
      std::vector<std::uint8_t> plain;
      std::string err;
      if (!Inflate(b.data() + start, total - start, plain, TConfig::kMaxImage - kHead, &err)) {
        msgs.ShowError("Ошибка распаковки конфигурации: " + err);
        return false;
      }
      b.resize(kHead);
      b.insert(b.end(), plain.begin(), plain.end());
      total = b.size();
      if (total < kHead + 2) {
        msgs.ShowError(kSumError);
        return false;
      }
      Put32(b, 28, static_cast<std::uint32_t>(total));
      b[15] = 7;
      type = 7;
    }
  }
  std::uint16_t sum = Sum16(b, total - 2);
  if ((b[total - 2] | (b[total - 1] << 8)) != sum) {
    msgs.ShowError(kSumError);
    return false;
  }
  doc.NewConfiguration();
  doc.extendedFormat = type == 7;
  if (!doc.Config().SetImage(std::move(b))) {
    msgs.ShowError(kSumError);
    return false;
  }
  doc.Config().Pos = static_cast<std::int32_t>(start);
  doc.ReadRecords(type == 1);
  doc.extendedFormat = true;
  if (cpu) *cpu = type == 7 ? TCpu::Cpu927 : TCpu::Cpu6358;
  return true;
}

bool OpenConfigFile(TDocument& doc, const std::string& path, TCpu* cpu) {
  doc.currentFile = path;
  std::string boot;
  if (ReadWholeFile(DirName(path) + "/Boot.ini", boot, nullptr, 1u << 20) && cpu)
    *cpu = ReadBootIniText(boot).cpu;
  std::string bytes, err;
  if (!ReadWholeFile(path, bytes, &err, TConfig::kMaxImage - 1)) {
    doc.Messages().ShowError(err);
    return false;
  }
  std::vector<std::uint8_t> v(bytes.begin(), bytes.end());
  return ParseImage(doc, std::move(v), false, cpu, path);
}

bool SaveConfigFile(TDocument& doc, const std::string& path, TCpu cpu) {
  TBuildOptions opt;
  opt.cpu = cpu;
  opt.minorVersion = 0;  // files on disk are never compressed
  opt.fileName = path;
  doc.currentFile = path;
  std::vector<std::uint8_t> img;
  if (!BuildImage(doc, opt, img)) return false;
  std::string err;
  if (!WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(img.data()), img.size()), &err)) {
    doc.Messages().ShowError(err);
    return false;
  }
  return true;
}

}  // namespace t32
