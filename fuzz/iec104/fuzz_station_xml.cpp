// Arbitrary bytes as a station XML file: the import either refuses and changes nothing, or
// gives a station whose serialised block fits and reads back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "iec104/station_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  t32::TWS_104 st;
  const std::vector<uint8_t> before = st.Serialise();
  t32::TImportResult r = t32::ImportXml(st, std::string_view(reinterpret_cast<const char*>(data), size), "f.xml");
  std::vector<uint8_t> after = st.Serialise();
  if (!r.ok) {
    if (after != before) std::abort();
    return 0;
  }
  if (after.size() > t32::kMaxStationBytes) std::abort();
  t32::DumpStation(st);
  t32::TWS_104 back;
  t32::TMemStream in(static_cast<const void*>(after.data()), after.size());
  if (!back.ReadFrom(in) || back.Serialise() != after) std::abort();
  return 0;
}
