// Code page 866 (DOS Cyrillic), which the oldest images use for a device's type name. Only
// decoding is needed: the program never writes that code page.
#pragma once
#include <string>
#include <string_view>

namespace t32 {

// Converts cp866 bytes to UTF-8; every byte has a meaning (box-drawing signs included).
std::string Cp866ToUtf8(std::string_view cp);

}  // namespace t32
