#include "model/memstream.h"

#include <cstring>

namespace t32 {

void TMemStream::MemBegin(void* buffer, std::size_t size) {
  wbuf_ = static_cast<unsigned char*>(buffer);
  rbuf_ = wbuf_;
  size_ = buffer ? size : 0;
  pos_ = 0;
  failed_ = false;
}

void TMemStream::MemBegin(const void* buffer, std::size_t size) {
  wbuf_ = nullptr;
  rbuf_ = static_cast<const unsigned char*>(buffer);
  size_ = buffer ? size : 0;
  pos_ = 0;
  failed_ = false;
}

bool TMemStream::MemPut(const void* src, std::size_t count) {
  if (failed_ || !wbuf_ || count > size_ - pos_) return !(failed_ = true);
  if (count) std::memcpy(wbuf_ + pos_, src, count);
  pos_ += count;
  return true;
}

bool TMemStream::MemGet(void* dst, std::size_t count) {
  if (failed_ || count > size_ - pos_) return !(failed_ = true);
  if (count) std::memcpy(dst, rbuf_ + pos_, count);
  pos_ += count;
  return true;
}

bool TMemStream::PutShortString(std::string_view s) {
  if (s.size() > 255) s = s.substr(0, 255);
  std::uint8_t n = static_cast<std::uint8_t>(s.size());
  return MemPut(&n, 1) && MemPut(s.data(), n);
}

bool TMemStream::GetShortString(std::string& s, std::size_t capacity) {
  std::uint8_t n = 0;
  if (!MemGet(&n, 1)) return false;
  if (n > capacity) return false;
  if (n == 0) {
    s.clear();
    return true;
  }
  std::string tmp(n, '\0');
  if (!MemGet(tmp.data(), n)) return false;
  s = std::move(tmp);
  return true;
}

namespace {
bool ParseNumber(std::string_view part, std::uint8_t& out) {
  std::size_t b = 0, e = part.size();
  while (b < e && part[b] == ' ') ++b;
  while (e > b && part[e - 1] == ' ') --e;
  if (b == e || e - b > 10) return false;
  unsigned long long v = 0;
  for (std::size_t i = b; i < e; ++i) {
    if (part[i] < '0' || part[i] > '9') return false;
    v = v * 10 + static_cast<unsigned>(part[i] - '0');
  }
  // An octet above 255 is a typing error, not an address: wrapping it would quietly aim at
  // another host.
  if (v > 255) return false;
  out = static_cast<std::uint8_t>(v);
  return true;
}
}  // namespace

bool IpTextToOctets(std::string_view text, std::uint8_t out[4]) {
  std::uint8_t r[4] = {0, 0, 0, 0};
  std::memset(out, 0, 4);
  for (int i = 0; i < 3; ++i) {
    std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || !ParseNumber(text.substr(0, dot), r[i])) return false;
    text.remove_prefix(dot + 1);
  }
  if (!ParseNumber(text, r[3])) return false;
  std::memcpy(out, r, 4);
  return true;
}

std::string OctetsToIpText(const std::uint8_t in[4]) {
  return std::to_string(in[0]) + "." + std::to_string(in[1]) + "." + std::to_string(in[2]) + "." +
         std::to_string(in[3]);
}

std::string OctetsToHexText(const void* bytes, std::size_t count) {
  static const char* kHex = "0123456789ABCDEF";
  auto p = static_cast<const unsigned char*>(bytes);
  std::string s;
  s.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    s += kHex[p[i] >> 4];
    s += kHex[p[i] & 15];
    s += ' ';
  }
  return s;
}

std::uint32_t IpTextToU32(std::string_view text, bool* ok) {
  std::uint8_t o[4];
  bool good = IpTextToOctets(text, o);
  if (ok) *ok = good;
  return (std::uint32_t(o[0]) << 24) | (std::uint32_t(o[1]) << 16) | (std::uint32_t(o[2]) << 8) | o[3];
}

std::string U32ToIpText(std::uint32_t ip) {
  std::uint8_t o[4] = {std::uint8_t(ip >> 24), std::uint8_t(ip >> 16), std::uint8_t(ip >> 8), std::uint8_t(ip)};
  return OctetsToIpText(o);
}

}  // namespace t32
