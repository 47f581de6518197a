// The cp866 decoder, byte by byte: bytes 0x80..0xFF as the system's iconv decodes CP866
// (taken once and written here so the test needs no iconv), ASCII unchanged.
#include <gtest/gtest.h>

#include "model/cp866.h"

using namespace t32;

TEST(Cp866, EveryByteDecodesAsIconvDoes) {
  const std::string high =
      "АБВГДЕЖЗИЙКЛМНОП"
      "РСТУФХЦЧШЩЪЫЬЭЮЯ"
      "абвгдежзийклмноп"
      "░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
      "└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
      "╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
      "рстуфхцчшщъыьэюя"
      "ЁёЄєЇїЎў°∙·√№¤■\u00A0";
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string want;
  for (int b = 0; b < 128; ++b) want += static_cast<char>(b);
  want += high;
  EXPECT_EQ(Cp866ToUtf8(all), want);
  // Each byte alone, so a shifted table cannot pass.
  std::size_t at = 0;
  for (int b = 128; b < 256; ++b) {
    std::string one = Cp866ToUtf8(std::string(1, static_cast<char>(b)));
    EXPECT_EQ(one, high.substr(at, one.size())) << b;
    at += one.size();
  }
  EXPECT_EQ(at, high.size());
}
