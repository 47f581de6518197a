// Arbitrary bytes as an INI file (settings, Boot.ini, library files).
#include <cstdint>
#include <string>

#include "model/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  t32::TIniFile ini;
  ini.Parse(std::string(reinterpret_cast<const char*>(data), size));
  for (const auto& s : ini.Sections())
    for (const auto& k : ini.Keys(s)) ini.ReadInteger(s, k, 0);
  t32::TIniFile again;
  again.Parse(ini.Serialize());
  return 0;
}
