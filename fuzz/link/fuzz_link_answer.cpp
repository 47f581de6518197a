// Arbitrary bytes as a controller's answer: the frame check and every answer parser must stay
// inside the 256-byte response buffer and never accept more data than the frame carries.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/frame.h"

using namespace t32::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // What the link does: clear the buffer, copy at most its size, then check the frame.
  std::uint8_t response[kFrameBufferSize] = {};
  std::size_t got = size < sizeof response ? size : sizeof response;
  std::memcpy(response, data, got);
  if (CheckFrame(response, got) != TFrameStatus::kOk) return 0;
  std::uint16_t error;
  std::uint32_t value;
  const std::uint8_t* piece;
  std::uint8_t count;
  for (std::uint8_t cmd : {kCmdOpenDisk, kCmdWritePiece}) (void)ParseErrorAnswer(response, got, cmd, error);
  (void)ParseFindAnswer(response, got, error, value);
  if (ParseReadAnswer(response, got, error, piece, count) && count) {
    // The data must lie inside the received frame.
    if (piece < response || piece + count > response + got) __builtin_trap();
    std::uint8_t copy[kPieceSize];
    std::memcpy(copy, piece, count);
  }
  (void)ParseSetTimeAnswer(response, got);
  (void)ParseValueAnswer(response, got, error, value);
  (void)ErrorText(GetU16(response + 2));
  // The same bytes as a request, as the simulator sees them.
  TRequest r;
  if (ParseRequest(response, got, r) && r.data && r.data + r.dataAvailable > response + got) __builtin_trap();
  return 0;
}
