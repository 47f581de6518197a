// The settings of a Modbus device that a device type fixes and that the template buffer
// carries: polling blocks, clock, command password and the two event logs.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace t32 {

// One polling block: function code, start address and count; ТИ blocks add the value type.
struct TRTUBlock {
  std::uint8_t type = 0;  // ТИ only: 0..7
  std::uint8_t function = 0;
  std::uint16_t address = 0;
  std::uint8_t count = 0;
  bool operator==(const TRTUBlock&) const = default;
};

struct TRTULog {
  static constexpr std::size_t kMaxCodes = 512;
  std::uint16_t start = 0;     // "Адрес начала журнала, hex"
  std::uint16_t select = 0;    // "Адрес выбора записи, hex"
  std::uint16_t interval = 0;  // words between records
  std::uint16_t records = 0;
  std::string text;            // record string, at most 64 characters
  std::vector<std::uint16_t> codes;  // selected event codes, at most kMaxCodes
  bool operator==(const TRTULog&) const = default;
};

// ТИ value types 1..4 and 6..7 take two registers per value.
inline bool WideTiType(int type) { return type != 0 && type != 5; }

struct TRTUSettings {
  std::string typeName = "RTU";
  std::uint8_t attempts = 5;
  std::array<TRTUBlock, 8> ts{}, tu{}, ti{}, tr{};
  std::string password;
  std::uint16_t passwordAddress = 0;
  std::uint16_t autoRelease = 0;
  std::uint16_t clockAddress = 0;
  std::string clockText;
  std::uint8_t eventsAsMts = 1;
  TRTULog sysLog, alarmLog;
  TRTUSettings() {
    for (auto& b : ts) b.function = 1;
    for (auto& b : tu) b.function = 5;
    for (auto& b : ti) b.function = 4;
    for (auto& b : tr) b.function = 6;
  }
  bool operator==(const TRTUSettings&) const = default;
};

}  // namespace t32
