// Arbitrary bytes as an agent's answer, taken apart like a GetResponse with three varbinds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "snmp/snmpber.h"

using namespace t32::snmp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TSnmpHeader outer;
  const std::uint8_t* body = data;
  std::size_t len = size;
  if (SnmpParseHeader(data, size, outer)) {
    body = data + outer.headerSize;
    len = outer.length;
  }
  TSNMPresponse r;
  std::size_t used;
  r.Decode(body, len, used);
  const std::uint8_t* p = r.Pdu->ContentData();
  std::size_t n = r.Pdu->ContentLength();
  if (n && (p < data || p + n > data + size)) std::abort();
  TASNSequence pdu(kContext, -1);
  pdu.Add<TASNInteger>(kUniversal, 2);
  pdu.Add<TASNInteger>(kUniversal, 2);
  pdu.Add<TASNInteger>(kUniversal, 2);
  auto* list = pdu.Add<TASNSequence>(kUniversal, 16);
  for (int i = 0; i < 3; ++i) {
    auto* vb = list->Add<TASNSequence>(kUniversal, 16);
    vb->Add<TASNObjectIdentifier>(kUniversal, TSnmpOid{}, 6);
    if (i == 1)
      vb->Add<TASNOctetString>(kUniversal, 4);
    else
      vb->Add<TASNInteger>(kUniversal, 2);
  }
  if (p) pdu.DecodeContents(p, n);
  TSNMPdata any;
  any.Decode(data, size, used);
  if (used > size) std::abort();
  return 0;
}
