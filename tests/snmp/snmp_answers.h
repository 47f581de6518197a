// Shared by the SNMP tests: reading hex fixtures and taking a recorded agent answer apart
// through the SNMP tool's own BER values, the way the controller's records are checked.
#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "snmp/snmpber.h"

namespace snmptest {

using Bytes = std::vector<std::uint8_t>;

// Hex octets, one block per answer; "#" starts a comment line, "." ends a block.
inline std::vector<Bytes> ReadHexBlocks(const std::string& path) {
  std::ifstream in(path);
  std::vector<Bytes> out;
  Bytes cur;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '.') {
      out.push_back(cur);
      cur.clear();
      continue;
    }
    std::istringstream ss(line);
    std::string h;
    while (ss >> h) cur.push_back(static_cast<std::uint8_t>(std::stoul(h, nullptr, 16)));
  }
  return out;
}

struct TVarbind {
  t32::snmp::TSnmpOid oid;
  bool valid = false;         // the value component decoded
  std::int32_t tagNumber = 0; // of the value component (0x80... when an exception stood there)
  std::int64_t integer = 0;
  Bytes octets;
  bool isInteger = false;
};

struct TAnswer {
  bool ok = false;
  std::int32_t version = -1;
  std::string community;
  std::int32_t pduTag = -1;
  std::int64_t requestId = 0, errorStatus = -1;
  std::vector<TVarbind> varbinds;
};

// expected: for each varbind, true when the value is a number, false for an octet string.
inline TAnswer DecodeAnswer(const Bytes& msg, const std::vector<bool>& expected) {
  using namespace t32::snmp;
  TAnswer a;
  TSnmpHeader outer;
  if (!SnmpParseHeader(msg.data(), msg.size(), outer) || outer.tag != 16) return a;
  TSNMPresponse r;
  std::size_t used;
  if (!r.Decode(msg.data() + outer.headerSize, outer.length, used)) return a;
  a.version = r.Version;
  a.community = r.Community;
  a.pduTag = r.Pdu->SeenTag;

  TASNSequence pdu(kContext, -1);
  auto* reqId = pdu.Add<TASNInteger>(kUniversal, 2);
  auto* status = pdu.Add<TASNInteger>(kUniversal, 2);
  pdu.Add<TASNInteger>(kUniversal, 2);
  auto* list = pdu.Add<TASNSequence>(kUniversal, 16);
  std::vector<TASNSequence*> vbs;
  std::vector<TASNObjectIdentifier*> names;
  std::vector<TASNobject*> values;
  for (bool number : expected) {
    auto* vb = list->Add<TASNSequence>(kUniversal, 16);
    names.push_back(vb->Add<TASNObjectIdentifier>(kUniversal, TSnmpOid{}, 6));
    if (number)
      values.push_back(vb->Add<TASNInteger>(kUniversal, 2));
    else
      values.push_back(vb->Add<TASNOctetString>(kUniversal, 4));
    vbs.push_back(vb);
  }
  if (!pdu.DecodeContents(r.Pdu->ContentData(), r.Pdu->ContentLength())) return a;
  a.requestId = reqId->Value;
  a.errorStatus = status->Value;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    TVarbind v;
    v.oid = names[i]->Oid;
    v.valid = values[i]->Valid;
    v.tagNumber = values[i]->TagNumber;
    v.isInteger = expected[i];
    if (expected[i])
      v.integer = static_cast<TASNInteger*>(values[i])->Value;
    else
      v.octets = static_cast<TASNOctetString*>(values[i])->Octets();
    a.varbinds.push_back(v);
  }
  a.ok = true;
  return a;
}

}  // namespace snmptest
