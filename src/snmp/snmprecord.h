// The records of one polled SNMP agent as they travel inside the configuration image: the
// agent (address, port, two words the controller takes as they are) and its tags, each a
// name and the BER contents octets of the object identifier to poll.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/memstream.h"
#include "snmp/snmpber.h"

namespace t32::snmp {

struct TSNMP_Tag {
  static constexpr std::size_t kMaxName = 63;
  static constexpr std::size_t kOidBytes = 32;

  std::string Name;  // cp1251, at most kMaxName octets
  std::uint8_t OidBytes[kOidBytes] = {};
  std::uint8_t OidLength = 0;

  // Encodes the identifier into OidBytes through the encode cursor. An identifier whose
  // contents need more than 32 octets is refused (false, OidLength 0), never cut short.
  bool SetOid(const TSnmpOid& oid);
  // The stored identifier back as arcs; false when the stored octets are not a valid one.
  bool GetOid(TSnmpOid& oid) const;
};

class TSNMP_TagList {
 public:
  std::vector<std::unique_ptr<TSNMP_Tag>> Items;

  TSNMP_Tag& Add() { return *Items.emplace_back(std::make_unique<TSNMP_Tag>()); }
  void Clear() { Items.clear(); }
  std::size_t Count() const { return Items.size(); }
  // Refuses (false, nothing written past what fit) a tag that could not be loaded back.
  bool SaveTo(TMemStream& s) const;
  // Fails on a name over 63, an OidLength over 32, a count beyond the bytes stored or a
  // record cut short; the tags read before the failure stay in the list.
  bool LoadFrom(TMemStream& s);
};

struct TSNMP_device {
  std::uint8_t Reserved[2] = {0, 0};
  std::uint8_t Address[4] = {0, 0, 0, 0};
  std::uint16_t Port = 161;
  std::uint16_t ExtraWord1 = 3;
  std::uint16_t ExtraWord2 = 10;
  TSNMP_TagList Tags;

  // 16-octet head (reserved, address, port, two words, tag count), then the tags.
  bool SaveTo(TMemStream& s) const;
  bool LoadFrom(TMemStream& s);
};

}  // namespace t32::snmp
