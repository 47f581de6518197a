// Agent and tag records (see snmprecord.h).
#include "snmp/snmprecord.h"

#include <cstring>

namespace t32::snmp {

bool TSNMP_Tag::SetOid(const TSnmpOid& oid) {
  TASNObjectIdentifier value(kUniversal, oid, 6);
  std::uint8_t tmp[kOidBytes];
  SnmpBeginEncode(tmp, sizeof tmp);
  if (!value.EncodeContents()) {
    OidLength = 0;
    return false;
  }
  OidLength = static_cast<std::uint8_t>(SnmpEncodedLength());
  std::memcpy(OidBytes, tmp, OidLength);
  return true;
}

bool TSNMP_Tag::GetOid(TSnmpOid& oid) const {
  return OidLength <= kOidBytes && DecodeOidContents(OidBytes, OidLength, oid);
}

static bool PutLE16(TMemStream& s, std::uint16_t v) {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  return s.MemPut(b, 2);
}

static bool GetLE16(TMemStream& s, std::uint16_t& v) {
  std::uint8_t b[2];
  if (!s.MemGet(b, 2)) return false;
  v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool TSNMP_TagList::SaveTo(TMemStream& s) const {
  std::uint32_t n = static_cast<std::uint32_t>(Items.size());
  std::uint8_t b[4] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
                       static_cast<std::uint8_t>(n >> 24)};
  if (!s.MemPut(b, 4)) return false;
  for (const auto& t : Items) {
    if (t->Name.size() > TSNMP_Tag::kMaxName || t->OidLength > TSNMP_Tag::kOidBytes) return false;
    if (!s.PutShortString(t->Name) || !s.MemPut(&t->OidLength, 1) || !s.MemPut(t->OidBytes, t->OidLength)) return false;
  }
  return true;
}

bool TSNMP_TagList::LoadFrom(TMemStream& s) {
  Items.clear();  // a load replaces the list, it does not add to it
  std::uint8_t b[4];
  if (!s.MemGet(b, 4)) return false;
  std::int32_t n = static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                                             std::uint32_t(b[3]) << 24);
  // Each entry takes at least two octets (name length and OidLength): a count beyond that
  // is a corrupt record, refused before anything is allocated for it.
  if (n < 0 || static_cast<std::size_t>(n) > s.Left() / 2) return false;
  for (std::int32_t i = 0; i < n; ++i) {
    auto t = std::make_unique<TSNMP_Tag>();
    if (!s.GetShortString(t->Name, TSNMP_Tag::kMaxName)) return false;
    if (!s.MemGet(&t->OidLength, 1) || t->OidLength > TSNMP_Tag::kOidBytes) return false;
    if (!s.MemGet(t->OidBytes, t->OidLength)) return false;
    Items.push_back(std::move(t));
  }
  return true;
}

bool TSNMP_device::SaveTo(TMemStream& s) const {
  return s.MemPut(Reserved, 2) && s.MemPut(Address, 4) && PutLE16(s, Port) && PutLE16(s, ExtraWord1) &&
         PutLE16(s, ExtraWord2) && Tags.SaveTo(s);
}

bool TSNMP_device::LoadFrom(TMemStream& s) {
  std::uint8_t reserved[2];
  return s.MemGet(reserved, 2) && s.MemGet(Address, 4) && GetLE16(s, Port) && GetLE16(s, ExtraWord1) &&
         GetLE16(s, ExtraWord2) && Tags.LoadFrom(s);
}

}  // namespace t32::snmp
