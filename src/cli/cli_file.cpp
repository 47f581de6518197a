// File verbs of tavrik32-cli: new, info, check, dump, convert, export, import, deflate, inflate.
#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/fileio.h"
#include "model/item.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "model/port_ip.h"
#include "ports/port_mek104.h"
#include "ports/port_menu.h"
#include "ports/port_pc.h"
#include "ports/port_pu.h"
#include "project/cfgfile.h"
#include "project/compress.h"
#include "project/json.h"

namespace t32::cli {
namespace {

// Messages of the model go to stderr; questions are answered "Да" (the tool never waits).
class TStderrMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str());
    ++errors;
  }
  int AskConfirm(const std::string& text, bool) override {
    std::fprintf(stderr, "tavrik32-cli: %s — да\n", text.c_str());
    return kYes;
  }
  int errors = 0;
};

int Usage(const char* text) {
  std::fprintf(stderr, "%s", text);
  return kUsage;
}

bool ParseCpu(const std::string& v, TCpu& cpu) {
  if (v == "927") cpu = TCpu::Cpu927;
  else if (v == "6358") cpu = TCpu::Cpu6358;
  else return false;
  return true;
}

// Splits --cpu from positional arguments; false on a bad option.
bool Split(const Args& a, std::vector<std::string>& pos, TCpu* cpu, bool* cpuGiven = nullptr, int* mode = nullptr) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((a[i] == "--cpu") && cpu && i + 1 < a.size()) {
      if (!ParseCpu(a[++i], *cpu)) return false;
      if (cpuGiven) *cpuGiven = true;
    } else if (a[i] == "--mode" && mode && i + 1 < a.size()) {
      const std::string& m = a[++i];
      if (m.size() != 1 || m[0] < '0' || m[0] > '0' + kStrongestMode) return false;
      *mode = m[0] - '0';
    } else if (a[i].size() > 1 && a[i][0] == '-') {
      return false;
    } else {
      pos.push_back(a[i]);
    }
  }
  return true;
}

bool Load(TDocument& doc, const std::string& path, TCpu& cpu) { return OpenConfigFile(doc, path, &cpu); }

const char* kNewHelp =
    "Usage: tavrik32-cli new [--cpu 927|6358] [--sample] OUT.cfg\n"
    "Writes a new configuration (controller, processor and IP port with their defaults).\n"
    "--cpu     processor board: 927 (CPU-927, default) or 6358 (CPU-6358, CPC108)\n"
    "--sample  add one board of every kind, each at addresses and an interrupt line no other\n"
    "          board uses, a control-station port on the modem passing the DI32's ТС on, two\n"
    "          workstations under the IP port, an IEC 104 output port on a serial channel, one\n"
    "          port of each other kind, both Modbus ports with devices, a discrete logic port\n"
    "          with three tasks, the KP, meter, ЦП8500 ports and an МКТ-3 output on a second modem\n"
    "          (a configuration to try the other verbs and the desktop program on)\n";

// One board of every kind. Each takes the lowest number whose addresses no other board
// occupies (a ППИ takes two, the DO32 its fixed pair), and boards with an interrupt line each
// get their own, as the controller needs them.
void AddSampleBoards(TDocument& doc) {
  const int codes[] = {4, 5, 9, 3, 7, 15, 1};
  std::vector<TBoard*> boards;
  std::bitset<256> used;
  for (int code : codes)
    if (auto item = DefaultFactory().Make(code, TItemPlace::Board)) {
      TNode* n = doc.Tree().Add(doc.Tree().Root(), std::move(item));
      if (auto* b = dynamic_cast<TBoard*>(n->Item())) {
        boards.push_back(b);
        if (b->MaxNumber() < 0) used |= b->addressSet;  // fixed numbers are placed first
      }
    }
  int irq = 3;
  for (TBoard* b : boards) {
    if (b->irq != 0) b->irq = static_cast<std::uint8_t>(irq <= 7 ? irq++ : 0);
    if (b->MaxNumber() < 0) continue;
    for (int a = 0; a <= std::min(b->MaxNumber(), 15); ++a) {
      b->SetAddress(a);
      if (b->number == a && (b->addressSet & used).none()) break;
    }
    used |= b->addressSet;
  }
  doc.AfterEdit();
  // A control-station port on the modem (the last board), passing the ТС inputs on.
  if (TNode* n = AddPortFromMenu(doc, 101)) {
    auto* pu = static_cast<TPortPU*>(n->Item());
    auto list = pu->Interfaces();
    for (std::size_t i = 1; i < list.size(); ++i)
      if (list[i].block && list[i].block->interfaces == kIfModem) pu->SelectInterface(list, static_cast<int>(i));
    pu->Table(kSigTS)->AddFromList(doc.Storage().List(kSigTS), true);
    doc.AfterEdit();
  }
  // Two workstations sending the ТС inputs, the second with its place.
  if (TPortIP* ip = doc.PortIP()) {
    ip->AddChildren(0);
    ip->AddChildren(0);
    auto pcs = ip->Workstations();
    for (std::size_t i = 0; i < pcs.size(); ++i) {
      auto* pc = static_cast<TPC*>(pcs[i]);
      pc->Table(kSigTS)->AddFromList(doc.Storage().List(kSigTS), true);
      if (i == 1) pc->place = "Щит";
    }
    doc.AfterEdit();
  }
  // An IEC 104 output port on the first free serial channel.
  if (TNode* n = AddPortFromMenu(doc, 119)) {
    auto* mek = static_cast<TPortMEK104*>(n->Item());
    auto list = mek->Interfaces();
    if (list.size() > 1) mek->SelectInterface(list, 1);
    doc.AfterEdit();
  }
  AddSampleOtherPorts(doc);
  AddSampleLogic(doc);
  AddSampleModbus(doc);
  AddSampleSnmp(doc);
  AddSampleRtu104(doc);
  AddSampleKPAndMeters(doc);
}
int New(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kNewHelp), kOk;
  std::vector<std::string> pos;
  TCpu cpu = TCpu::Cpu927;
  Args rest;
  bool sample = false;
  for (const auto& x : a) {
    if (x == "--sample") sample = true;
    else rest.push_back(x);
  }
  if (!Split(rest, pos, &cpu) || pos.size() != 1) return Usage(kNewHelp);
  TStderrMessages m;
  TDocument doc(&m);
  if (sample) AddSampleBoards(doc);
  return SaveConfigFile(doc, pos[0], cpu) ? kOk : kFailure;
}

const char* kInfoHelp =
    "Usage: tavrik32-cli info FILE.cfg|FILE.ied\n"
    "Prints the file head (type, sizes, name, date, time, check values) and whether the sum and\n"
    "the check value hold.\n";
int Info(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kInfoHelp), kOk;
  std::vector<std::string> pos;
  if (!Split(a, pos, nullptr) || pos.size() != 1) return Usage(kInfoHelp);
  std::string bytes, err;
  if (!ReadWholeFile(pos[0], bytes, &err, TConfig::kMaxImage - 1)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kFailure;
  }
  auto txt = [&](std::size_t at, std::size_t n) {
    if (bytes.size() < at + n) return std::string("?");
    std::string s = bytes.substr(at, n);
    for (char& ch : s)
      if (ch == 0) ch = ' ';
    return Cp1251ToUtf8(s);
  };
  auto u32 = [&](std::size_t at) -> unsigned long {
    if (bytes.size() < at + 4) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
  };
  int type = bytes.size() > 15 ? static_cast<unsigned char>(bytes[15]) : -1;
  const char* kind = type == 1 ? "short records (CPU-6358, CPC108)"
                     : type == 5 ? "long records (CPU-6358, CPC108)"
                     : type == 7 ? "long records, scrambled (CPU-927)"
                     : type == 9 ? "long records, compressed and scrambled (CPU-927)"
                                 : "unknown";
  std::printf("file:        %s\n", pos[0].c_str());
  std::printf("length:      %zu\n", bytes.size());
  std::printf("signature:   %s\n", txt(0, 14).c_str());
  std::printf("type:        %d (%s)\n", type, kind);
  std::printf("size text:   %s\n", txt(16, 12).c_str());
  std::printf("total:       %lu\n", u32(28));
  std::printf("name:        %s\n", txt(32, 16).c_str());
  std::printf("date:        %s\n", txt(48, 16).c_str());
  std::printf("time:        %s\n", txt(64, 16).c_str());
  std::printf("data start:  %lu\n", u32(92));
  std::printf("check value: 0x%08lX\n", u32(96));
  if (IsIedFile(bytes)) return IedIntegrity(pos[0], bytes, true);
  TRecordedMessages m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  bool ok = ParseImage(doc, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), false, &cpu, pos[0]);
  // The sum stands in the tail of the plain image: for a scrambled or compressed file it is
  // known only once the image was decoded.
  const std::vector<std::uint8_t>& plain = doc.Config().Image();
  if (ok && plain.size() >= 2)
    std::printf("stored sum:  0x%04X\n", plain[plain.size() - 2] | (plain[plain.size() - 1] << 8));
  else if ((type == 1 || type == 5) && bytes.size() >= 2)
    std::printf("stored sum:  0x%04X\n", static_cast<unsigned char>(bytes[bytes.size() - 2]) |
                                             (static_cast<unsigned char>(bytes[bytes.size() - 1]) << 8));
  else
    std::printf("stored sum:  unknown (the image could not be decoded)\n");
  std::printf("integrity:   %s\n", ok ? "sum and check value hold" : m.errors.empty() ? "bad" : m.errors.front().c_str());
  return ok ? kOk : kFailure;
}

const char* kCheckHelp =
    "Usage: tavrik32-cli check FILE.cfg|FILE.ied\n"
    "Exit status 0 when the file reads cleanly; 1 with the configurator's message otherwise,\n"
    "also when it holds sections this version keeps unchanged but does not edit.\n";
int Check(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kCheckHelp), kOk;
  std::vector<std::string> pos;
  if (!Split(a, pos, nullptr) || pos.size() != 1) return Usage(kCheckHelp);
  if (int r = IedCheckFile(pos[0]); r >= 0) return r;
  TStderrMessages m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  bool ok = Load(doc, pos[0], cpu);
  if (ok && m.errors == 0) {
    std::printf("%s: ok (%s)\n", pos[0].c_str(), CpuCaption(cpu));
    return kOk;
  }
  return kFailure;
}

const char* kDumpHelp =
    "Usage: tavrik32-cli dump FILE.cfg\n"
    "Prints the configuration tree as indented text: every item with its caption and settings,\n"
    "every signal table with its rows.\n";
int Dump(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kDumpHelp), kOk;
  std::vector<std::string> pos;
  if (!Split(a, pos, nullptr) || pos.size() != 1) return Usage(kDumpHelp);
  TStderrMessages m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  if (!Load(doc, pos[0], cpu)) return kFailure;
  std::printf("# %s (%s)\n%s", pos[0].c_str(), CpuCaption(cpu), doc.Dump().c_str());
  return kOk;
}

const char* kConvertHelp =
    "Usage: tavrik32-cli convert IN.cfg OUT.cfg --cpu 927|6358\n"
    "Reads a configuration and writes it again for the given processor board. Exit status 1\n"
    "(the file is still written) when something was not read as it stood: a section of a newer\n"
    "layout or one this version does not edit (kept unchanged), or what an old file cannot keep.\n";
int Convert(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kConvertHelp), kOk;
  std::vector<std::string> pos;
  TCpu to = TCpu::Cpu927;
  bool given = false;
  if (!Split(a, pos, &to, &given) || pos.size() != 2 || !given) return Usage(kConvertHelp);
  TStderrMessages m;
  TDocument doc(&m);
  TCpu from = TCpu::Cpu927;
  if (!Load(doc, pos[0], from)) return kFailure;
  const int readMessages = m.errors;
  if (!SaveConfigFile(doc, pos[1], to)) return kFailure;
  return readMessages == 0 ? kOk : kFailure;
}

const char* kExportHelp =
    "Usage: tavrik32-cli export FILE.cfg\n"
    "Prints a lossless JSON form of the configuration on stdout (import reads it back).\n";
int Export(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kExportHelp), kOk;
  std::vector<std::string> pos;
  if (!Split(a, pos, nullptr) || pos.size() != 1) return Usage(kExportHelp);
  TStderrMessages m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  if (!Load(doc, pos[0], cpu)) return kFailure;
  std::string j = ExportJson(doc, cpu);
  if (j.empty()) return kFailure;
  std::fwrite(j.data(), 1, j.size(), stdout);
  return kOk;
}

const char* kImportHelp =
    "Usage: tavrik32-cli import FILE.json OUT.cfg\n"
    "Writes the configuration described by a JSON file made by export.\n";
int Import(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kImportHelp), kOk;
  std::vector<std::string> pos;
  if (!Split(a, pos, nullptr) || pos.size() != 2) return Usage(kImportHelp);
  std::string text, err;
  if (!ReadWholeFile(pos[0], text, &err, 512u << 20)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kFailure;
  }
  TStderrMessages m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  if (!ImportJson(doc, text, &cpu, &err)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kFailure;
  }
  return SaveConfigFile(doc, pos[1], cpu) ? kOk : kFailure;
}

const char* kDeflateHelp =
    "Usage: tavrik32-cli deflate [--mode 0-5] IN OUT\n"
    "Compresses a file into the controller's compression container: 0 stores, 1 to 4 search\n"
    "ever harder, 5 parses for the smallest output (slowest; the default, as for images\n"
    "written to the controller).\n";
const char* kInflateHelp =
    "Usage: tavrik32-cli inflate IN OUT\n"
    "Decompresses a compression container.\n";
int Pack(const Args& a, bool deflate) {
  const char* help = deflate ? kDeflateHelp : kInflateHelp;
  if (WantsHelp(a)) return std::printf("%s", help), kOk;
  std::vector<std::string> pos;
  int mode = kImageDeflateMode;
  if (!Split(a, pos, nullptr, nullptr, deflate ? &mode : nullptr) || pos.size() != 2) return Usage(help);
  std::string in, err;
  if (!ReadWholeFile(pos[0], in, &err, deflate ? 0x7FFFFFFFu : kMaxImageSize)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kFailure;
  }
  std::vector<std::uint8_t> out;
  const auto* src = reinterpret_cast<const std::uint8_t*>(in.data());
  bool ok = deflate ? Deflate(src, in.size(), mode, out, &err) : Inflate(src, in.size(), out, kMaxImageSize, &err);
  if (!ok || !WriteFileAtomic(pos[1], std::string_view(reinterpret_cast<const char*>(out.data()), out.size()), &err)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kFailure;
  }
  return kOk;
}
int DeflateVerb(const Args& a) { return Pack(a, true); }
int InflateVerb(const Args& a) { return Pack(a, false); }

}  // namespace

void AddFileVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"new", "write a new configuration", New});
  verbs.push_back({"info", "show a file's head and integrity", Info});
  verbs.push_back({"check", "exit 0 when a file reads cleanly", Check});
  verbs.push_back({"dump", "print the tree with every setting and signal", Dump});
  verbs.push_back({"convert", "rewrite a file for the other processor board", Convert});
  verbs.push_back({"export", "print a lossless JSON form", Export});
  verbs.push_back({"import", "write a configuration from its JSON form", Import});
  verbs.push_back({"deflate", "compress a file into the controller's container", DeflateVerb});
  verbs.push_back({"inflate", "decompress a container", InflateVerb});
}

}  // namespace t32::cli
