// The JSON form of an IEC 104 station block (a polled station's key 102): its channels,
// settings, groups and objects as named values, so that a review or a bulk edit reads the
// station rather than a wall of hex. Importing the form writes the station block again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace t32 {

// The block as an object; false when the bytes do not read as a station or its form would
// not give the very same bytes back (the caller then keeps them as hex: nothing is lost).
bool StationBlockToJson(const std::uint8_t* v, std::size_t n, nlohmann::ordered_json& out);
// The block from its object; false with a Russian *error on a missing or out-of-range value,
// an unknown object kind, a text the station cannot hold, or a block past 1 MiB.
bool StationBlockFromJson(const nlohmann::ordered_json& j, std::vector<std::uint8_t>& out, std::string* error);

}  // namespace t32
