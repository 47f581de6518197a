// Code page 1251 at the borders of the model: image records, files, INI and the controller
// link carry cp1251 bytes, while the model keeps UTF-8 text.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace t32 {

// Converts UTF-8 to cp1251. A character cp1251 cannot hold becomes '?', and *lossless
// (when given) turns false, so callers can refuse the input instead of corrupting it.
std::string Utf8ToCp1251(std::string_view utf8, bool* lossless = nullptr);
// Converts cp1251 bytes to UTF-8 (every byte has a meaning; 0x98 becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view cp);
// True when every character of the UTF-8 text exists in cp1251.
bool FitsCp1251(std::string_view utf8);
// Number of characters (code points) of a UTF-8 text; invalid bytes count one each.
std::size_t Utf8Length(std::string_view utf8);
// The first `chars` characters of a UTF-8 text.
std::string Utf8Left(std::string_view utf8, std::size_t chars);
// Upper and lower case for Latin and Cyrillic letters of UTF-8 text.
std::string Utf8Upper(std::string_view utf8);

}  // namespace t32
