// BER decoding and the upper-layer parsers on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "iec61850/acse.h"
#include "iec61850/mmsmodel.h"

using namespace t32;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t used;
  TASNSequence seq(kContext, 9);
  seq.Add<TASNInteger>(kContext, 0, 0);
  seq.Add<TASNBitString>(kContext, 0, nullptr, 1);
  seq.Add<TASNGeneralizedTime>(kUniversal, 24);
  seq.Add<TASNObjectIdentifier>(kUniversal, TOidArcs{}, 6);
  seq.Add<TASNSequenceOf>(kUniversal, std::make_unique<TASNVisibleString>(kUniversal, "", 26), 16);
  seq.Add<TASNdata>(kUniversal, -1);
  seq.Decode(data, size, used);
  std::vector<TMMSDataContainer> fifo;
  if (DecodeMmsData(data, size, fifo, 3))
    for (auto& c : fifo) (void)ValueText(c);
  std::int64_t ctx;
  const std::uint8_t* user;
  std::size_t n;
  presentation::ParseCPA(data, size, ctx, user, n);
  presentation::ParseUserData(data, size, ctx, user, n);
  acse::TAare aare;
  acse::ParseAARE(data, size, aare);
  session::ParseAccept(data, size, user, n);
  std::uint8_t code;
  cotp::ParseCC(data, size, code);
  return 0;
}
