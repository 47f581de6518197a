// Arbitrary bytes as MIB modules. The input is split at the first line "====": the first part
// is the module loaded, the second one a module named OTHER-MIB that it may import (and that
// may import it back). Both live in a temporary folder; no system folder is searched.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "snmp/mib.h"

namespace {
// The temporary folder of this run, removed when the fuzzer exits.
struct TTempFolder {
  TTempFolder() {
    char tmpl[] = "/tmp/fuzz_mibXXXXXX";
    const char* d = ::mkdtemp(tmpl);
    if (!d) std::abort();
    path = std::string(d) + "/";
  }
  ~TTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TTempFolder folder;
  const std::string& dir = folder.path;
  std::string in(reinterpret_cast<const char*>(data), size);
  std::string other;
  std::size_t cut = in.find("\n====\n");
  if (cut != std::string::npos) {
    other = in.substr(cut + 6);
    in.resize(cut);
  }
  std::ofstream(dir + "FUZZ-MIB", std::ios::binary | std::ios::trunc) << in;
  std::ofstream(dir + "OTHER-MIB", std::ios::binary | std::ios::trunc) << other;
  t32::snmp::TMibCatalogue cat;
  cat.SystemMibFolders = false;
  std::size_t n = 0;
  cat.OnMibError = [&](const std::string& s) { n += s.size(); };
  cat.LoadMib(dir + "FUZZ-MIB");
  // Everything the catalogue hands out must be consistent after the resolution.
  for (const auto& s : cat.Sequences.Items)
    for (const auto& c : s->Columns)
      if (!c.Object) std::abort();
  for (const auto& g : cat.Groups.Items)
    for (const auto& m : g->Members)
      if (!m.Object) std::abort();
  for (const auto& o : cat.Objects) n += t32::snmp::SnmpOidToString(o->Oid).size();
  return n == static_cast<std::size_t>(-1);
}
