// Port verbs of tavrik32-cli: the output rows of a port with their protocol addresses, and the
// INI export of a port's signal list.
#include <cstdio>
#include <iterator>
#include <string>

#include "cli/cli.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/output_port.h"
#include "ports/port_pc.h"
#include "project/cfgfile.h"
#include "review/signal_list.h"

namespace t32::cli {
namespace {

class TStderr : public TMessages {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str()); }
  int AskConfirm(const std::string&, bool) override { return kYes; }
};

TItem* FindPort(TDocument& doc, const std::string& what);

// PORT/N: the N-th workstation (from 1) under the IP port; workstations share one caption.
TItem* FindWorkstation(TDocument& doc, const std::string& what) {
  std::size_t slash = what.rfind('/');
  std::string n = what.substr(slash + 1);
  if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos) return nullptr;
  auto* ip = dynamic_cast<TPortIP*>(FindPort(doc, what.substr(0, slash)));
  if (!ip) return nullptr;
  auto pcs = ip->Workstations();
  std::size_t i = static_cast<std::size_t>(std::stoi(n));
  return i >= 1 && i <= pcs.size() ? pcs[i - 1] : nullptr;
}

// PORT: a port's caption ("1_Порт ПУ") or its position under the processor (the IP port is 0);
// "0_Порт_IP/2" or "0/2": the second workstation of the IP port.
TItem* FindPort(TDocument& doc, const std::string& what) {
  if (what.find('/') != std::string::npos) return FindWorkstation(doc, what);
  TNode* proc = doc.ProcNode();
  if (!proc) return nullptr;
  bool digits = !what.empty() && what.find_first_not_of("0123456789") == std::string::npos;
  if (digits && what.size() < 4) {
    TNode* n = proc->Child(std::stoi(what));
    if (n) return n->Item();
  }
  for (int i = 0; i < proc->ChildCount(); ++i)
    if (proc->Child(i)->caption == what) return proc->Child(i)->Item();
  return nullptr;
}

// Loads FILE and finds PORT; prints the reason and returns null on failure.
TOutputPort* LoadPort(TDocument& doc, const std::string& file, const std::string& port) {
  TCpu cpu = TCpu::Cpu927;
  if (!OpenConfigFile(doc, file, &cpu)) return nullptr;
  TItem* item = FindPort(doc, port);
  if (!item) {
    std::fprintf(stderr, "tavrik32-cli: no port '%s' in %s\n", port.c_str(), file.c_str());
    return nullptr;
  }
  auto* out = dynamic_cast<TOutputPort*>(item);
  if (!out) std::fprintf(stderr, "tavrik32-cli: port '%s' passes no signals on\n", item->Caption().c_str());
  return out;
}

const char* kSignalsHelp =
    "Usage: tavrik32-cli signals FILE.cfg [PORT] [--csv [--cp1251] [--semicolon] | --json]\n"
    "Prints the output rows of a port (of every output port without PORT), table by table (ТС,\n"
    "ТУ, ТИ, ТИИ, ТР, МТС), one line each: table, index, protocol address, name and \"unresolved\"\n"
    "for a row whose source is gone.\n"
    "PORT is the port's caption (for example \"1_Порт ПУ\") or its position under the processor\n"
    "(the IP port is 0); a workstation is PORT/N, the N-th under the IP port (\"0_Порт_IP/2\").\n"
    "--csv: the list for a control centre as CSV (UTF-8, a header line): port, table, index, name,\n"
    "address, source item, storage index, board, channel and input of the source row;\n"
    "--cp1251 writes it in code page 1251 and --semicolon separates fields by \";\", as\n"
    "spreadsheets set up for Russian expect. --json: the same rows as a JSON array.\n";
int Signals(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kSignalsHelp), kOk;
  Args pos;
  bool csv = false, json = false;
  TCsvOptions opt;
  for (const auto& x : a) {
    if (x == "--csv") csv = true;
    else if (x == "--json") json = true;
    else if (x == "--cp1251") opt.cp1251 = true;
    else if (x == "--semicolon") opt.separator = ';';
    else if (x.size() > 1 && x[0] == '-') return std::fprintf(stderr, "%s", kSignalsHelp), kUsage;
    else pos.push_back(x);
  }
  if (pos.empty() || pos.size() > 2 || (csv && json) || ((opt.cp1251 || opt.separator != ',') && !csv))
    return std::fprintf(stderr, "%s", kSignalsHelp), kUsage;
  TStderr m;
  TDocument doc(&m);
  std::vector<TOutputPort*> ports;
  if (pos.size() == 2) {
    TOutputPort* port = LoadPort(doc, pos[0], pos[1]);
    if (!port) return kFailure;
    ports.push_back(port);
  } else {
    TCpu cpu = TCpu::Cpu927;
    if (!OpenConfigFile(doc, pos[0], &cpu)) return kFailure;
    doc.Tree().ForEach([&](TNode* n) {
      if (auto* p = dynamic_cast<TOutputPort*>(n->Item())) ports.push_back(p);
    });
  }
  if (csv || json) {
    std::vector<TSignalListRow> rows;
    for (TOutputPort* p : ports) {
      auto r = SignalList(doc, p);
      rows.insert(rows.end(), std::make_move_iterator(r.begin()), std::make_move_iterator(r.end()));
    }
    std::string text = csv ? SignalListCsv(rows, opt) : SignalListJson(rows);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kOk;
  }
  for (TOutputPort* port : ports) {
    std::printf("# %s\n", port->Caption().c_str());
    for (int t = 1; t <= 6; ++t) {
      const TParams* p = port->Table(t);
      if (!p) continue;
      std::vector<std::string> addr = port->SignalAddressTexts(t, p->Count());
      for (int i = 0; i < p->Count(); ++i) {
        const TParam* r = p->At(i);
        std::printf("%s\t%d\t%s\t%s%s\n", SignalTypeInfo(t).tableName, i, addr[static_cast<std::size_t>(i)].c_str(),
                    r ? r->Name().c_str() : "", r && r->unresolved ? "\tunresolved" : "");
      }
    }
  }
  return kOk;
}

const char* kExportSignalsHelp =
    "Usage: tavrik32-cli export-signals FILE.cfg PORT OUT.ini|OUT.xml\n"
    "Writes the port's signal list as INI (cp1251): sections TS., MTS., TU., TI., TII., TR. with\n"
    "the name's leading parts, keys = protocol addresses, values = the name's last part. Rows\n"
    "without an address are left out and counted on stderr. PORT as for signals.\n"
    "OUT.xml (a workstation only): the configuration of the IEC 104 workstation program (cp1251).\n";
int ExportSignals(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kExportSignalsHelp), kOk;
  if (a.size() != 3) return std::fprintf(stderr, "%s", kExportSignalsHelp), kUsage;
  TStderr m;
  TDocument doc(&m);
  TOutputPort* port = LoadPort(doc, a[0], a[1]);
  if (!port) return kFailure;
  std::string err;
  const std::string& out = a[2];
  if (out.size() > 4 && (out.compare(out.size() - 4, 4, ".xml") == 0 || out.compare(out.size() - 4, 4, ".XML") == 0)) {
    auto* pc = dynamic_cast<TPC*>(port);
    if (!pc) {
      std::fprintf(stderr, "tavrik32-cli: only a workstation (PORT/N under the IP port) exports XML\n");
      return kFailure;
    }
    if (!pc->ExportXml(out, &err)) {
      std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
      return kFailure;
    }
    return kOk;
  }
  int skipped = 0;
  if (!port->ExportIni(a[2], &err, &skipped)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kFailure;
  }
  if (skipped) std::fprintf(stderr, "tavrik32-cli: %s\n", TOutputPort::SkippedText(skipped).c_str());
  return kOk;
}

}  // namespace

void AddPortVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"signals", "output rows of a port (or all) with their addresses; --csv/--json lists", Signals});
  verbs.push_back({"export-signals", "a port's signal list as INI (a workstation's also as XML)", ExportSignals});
}

}  // namespace t32::cli
