// Arbitrary text as a JSON configuration.
#include <cstdint>
#include <string>

#include "model/document.h"
#include "model/messages.h"
#include "ports/register.h"
#include "project/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  t32::TRecordedMessages m;
  t32::TDocument doc(&m, &t32::PortsFactory());  // every class a real build knows
  std::string err;
  t32::TCpu cpu;
  t32::ImportJson(doc, std::string(reinterpret_cast<const char*>(data), size), &cpu, &err);
  return 0;
}
