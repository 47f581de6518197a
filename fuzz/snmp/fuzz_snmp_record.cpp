// Arbitrary bytes as a stored SNMP agent record; whatever loads must save again and load back
// to the same tags.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "snmp/snmprecord.h"

using namespace t32;
using namespace t32::snmp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TSNMP_device d;
  TMemStream s(static_cast<const void*>(data), size);
  bool ok = d.LoadFrom(s);
  if (static_cast<std::size_t>(s.MemPos()) > size) std::abort();
  for (const auto& t : d.Tags.Items) {
    if (t->Name.size() > TSNMP_Tag::kMaxName || t->OidLength > TSNMP_Tag::kOidBytes) std::abort();
    TSnmpOid oid;
    if (t->GetOid(oid)) (void)SnmpOidToString(oid);
  }
  if (!ok) return 0;
  std::vector<std::uint8_t> buf(size + 16);
  TMemStream w(buf.data(), buf.size());
  if (!d.SaveTo(w) || static_cast<std::size_t>(w.MemPos()) != size - s.Left()) std::abort();
  if (std::memcmp(buf.data() + 2, data + 2, static_cast<std::size_t>(w.MemPos()) - 2) != 0) std::abort();
  return 0;
}
