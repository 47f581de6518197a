#include "model/cp1251.h"

#include <array>
#include <cstdint>

namespace t32 {
namespace {

// Unicode code points of cp1251 bytes 0x80..0xBF; 0xC0..0xFF map to U+0410..U+044F.
constexpr std::array<char32_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457};

char32_t ByteToCode(unsigned char b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return 0x0410 + (b - 0xC0);
  return kHigh[b - 0x80];
}

int CodeToByte(char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<int>(0xC0 + (c - 0x0410));
  if (c == 0xFFFD) return -1;
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == c) return static_cast<int>(0x80 + i);
  return -1;
}

// Decodes one UTF-8 sequence at s[i]; invalid input yields U+FFFD and advances one byte.
char32_t Next(std::string_view s, std::size_t& i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) { ++i; return b; }
  int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || i + extra >= s.size()) { ++i; return 0xFFFD; }
  char32_t c = b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) { ++i; return 0xFFFD; }
    c = (c << 6) | (cb & 0x3F);
  }
  i += extra + 1;
  return c;
}

void Put(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8, bool* lossless) {
  std::string out;
  out.reserve(utf8.size());
  if (lossless) *lossless = true;
  for (std::size_t i = 0; i < utf8.size();) {
    int b = CodeToByte(Next(utf8, i));
    if (b < 0) {
      if (lossless) *lossless = false;
      b = '?';
    }
    out += static_cast<char>(b);
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view cp) {
  std::string out;
  out.reserve(cp.size() * 2);
  for (unsigned char b : cp) Put(out, ByteToCode(b));
  return out;
}

bool FitsCp1251(std::string_view utf8) {
  bool ok = true;
  Utf8ToCp1251(utf8, &ok);
  return ok;
}

std::size_t Utf8Length(std::string_view utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size(); ++n) Next(utf8, i);
  return n;
}

std::string Utf8Left(std::string_view utf8, std::size_t chars) {
  if (utf8.size() <= chars) return std::string(utf8);  // never more characters than bytes
  std::size_t i = 0;
  for (std::size_t n = 0; n < chars && i < utf8.size(); ++n) Next(utf8, i);
  return std::string(utf8.substr(0, i));
}

std::string Utf8Upper(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    // ASCII (keys, hex addresses) needs no decoding.
    if (auto b = static_cast<unsigned char>(utf8[i]); b < 0x80) {
      out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
      ++i;
      continue;
    }
    char32_t c = Next(utf8, i);
    if (c >= 'a' && c <= 'z') c -= 32;
    else if (c >= 0x0430 && c <= 0x044F) c -= 0x20;
    else if (c >= 0x0450 && c <= 0x045F) c -= 0x50;
    Put(out, c);
  }
  return out;
}

}  // namespace t32
