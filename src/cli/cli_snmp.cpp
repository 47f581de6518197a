// tavrik32-cli mib: reads a MIB module (with what it imports) and prints what an engineer
// could poll from it: modules, readable numeric objects, tables with their columns, groups.
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "model/document.h"
#include "ports/port_menu.h"
#include "ports/port_snmp.h"
#include "snmp/mib.h"

namespace t32::cli {
namespace {

const char* kMibHelp =
    "Usage: tavrik32-cli mib FILE [--mibs DIR]... [--oids]\n"
    "Reads the MIB module FILE and the modules it imports, and prints its modules, the\n"
    "readable numeric objects (OID, syntax, access), the tables with their columns and the\n"
    "object groups. Imports are looked up beside FILE, in the folder MIBs beside this program,\n"
    "in each --mibs DIR in turn, then in /usr/share/snmp/mibs (and its iana and ietf folders).\n\n"
    "  --mibs DIR   another folder of MIB modules (may be repeated)\n"
    "  --oids       print only \"name\"<TAB>\"oid\" lines, as snmptranslate -Tz does\n\n"
    "Progress and errors go to stderr. Exit status: 0 success, 1 FILE cannot be read,\n"
    "2 bad usage.\n";

using namespace t32::snmp;

void PrintObject(const TSNMPObject& o, const char* indent) {
  std::printf("%s%-32s %-28s %-28s %s\n", indent, o.Name.c_str(), SnmpOidToString(o.Oid).c_str(), o.Syntax.c_str(),
              o.Access.c_str());
}

void PrintOid(const std::string& name, const TSnmpOid& oid) {
  std::printf("\"%s\"\t\"%s\"\n", name.c_str(), SnmpOidToString(oid).c_str());
}

void PrintList(const TSNMPObjList& list, bool oids) {
  for (const TSNMPObject* o : list.Items) {
    if (oids) {
      PrintOid(o->Name, o->Oid);
      if (o->Entry) {
        PrintOid(o->Entry->Name, o->Entry->Oid);
        if (o->Entry->Sequence)
          for (const auto& c : o->Entry->Sequence->Columns) PrintOid(c.Name, c.Object->Oid);
      }
      continue;
    }
    if (!o->IsTable) {
      PrintObject(*o, "  ");
      continue;
    }
    std::printf("  table %s %s\n", o->Name.c_str(), SnmpOidToString(o->Oid).c_str());
    if (o->Entry) {
      PrintObject(*o->Entry, "    ");
      if (o->Entry->Sequence)
        for (const auto& c : o->Entry->Sequence->Columns) PrintObject(*c.Object, "      ");
    }
  }
}

int RunMib(const Args& args) {
  if (WantsHelp(args)) {
    std::printf("%s", kMibHelp);
    return kOk;
  }
  TMibCatalogue cat;
  std::string file;
  bool oids = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mibs" && i + 1 < args.size()) {
      cat.ExtraMibFolders.push_back(args[++i]);
    } else if (args[i] == "--oids") {
      oids = true;
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::fprintf(stderr, "tavrik32-cli mib: unknown option '%s'\n%s", args[i].c_str(), kMibHelp);
      return kUsage;
    } else if (file.empty()) {
      file = args[i];
    } else {
      std::fprintf(stderr, "%s", kMibHelp);
      return kUsage;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "%s", kMibHelp);
    return kUsage;
  }
  // "MIBs" beside the program, as the desktop program keeps its own modules.
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) cat.ProgramMibFolder = (self.parent_path() / "MIBs").string() + "/";
  cat.OnMibMessage = [](const std::string& s) { std::fprintf(stderr, "%s\n", s.c_str()); };
  cat.OnMibError = [](const std::string& s) { std::fprintf(stderr, "%s\n", s.c_str()); };
  if (!cat.LoadMib(file)) return kFailure;

  for (const auto& m : cat.Modules.Items) {
    if (!oids) std::printf("module %s\n", m.Name.c_str());
    PrintList(*m.Objects, oids);
  }
  if (!cat.LooseObjects.Items.empty()) {
    if (!oids) std::printf("objects without a module identity\n");
    PrintList(cat.LooseObjects, oids);
  }
  for (const auto& g : cat.Groups.Items) {
    if (oids) {
      for (const auto& m : g->Members) PrintOid(m.Name, m.Object->Oid);
      continue;
    }
    std::printf("group %s %s\n", g->Name.c_str(), SnmpOidToString(g->Oid).c_str());
    for (const auto& m : g->Members) PrintObject(*m.Object, "  ");
  }
  return kOk;
}

}  // namespace

void AddSnmpVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"mib", "read a MIB module and list the objects an agent can be polled for", RunMib});
}

void AddSampleSnmp(TDocument& doc) {
  TNode* n = AddPortFromMenu(doc, 134);
  if (!n) return;
  auto* port = static_cast<TPortSNMP*>(n->Item());
  if (TSNMP* a = port->AddAgent()) {
    const std::uint8_t ip[4] = {192, 168, 1, 20};
    a->SetAddress(ip);
    a->SetPlace("Щит");
    a->SetTags({{"sysUpTime", snmp::MakeSnmpOid({1, 3, 6, 1, 2, 1, 1, 3, 0})},
                {"ifInOctets[1]", snmp::MakeSnmpOid({1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 1})}});
    a->UpdateStatusTable();
  }
  port->AddAgent();
  doc.AfterEdit();
}

}  // namespace t32::cli
