// Little-endian byte strings written out by hand for the station's serialised form.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/cp1251.h"

struct TBytes {
  std::vector<std::uint8_t> b;
  TBytes& u8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); return *this; }
  TBytes& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8); }
  TBytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  TBytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  TBytes& f32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    return u32(v);
  }
  TBytes& u64(std::uint64_t v) { return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32)); }
  // A short string: length byte, then cp1251 characters.
  TBytes& str(const std::string& utf8) {
    std::string cp = t32::Utf8ToCp1251(utf8);
    u8(static_cast<unsigned>(cp.size()));
    b.insert(b.end(), cp.begin(), cp.end());
    return *this;
  }
  TBytes& raw(std::initializer_list<unsigned> v) {
    for (unsigned x : v) u8(x);
    return *this;
  }
  TBytes& append(const TBytes& o) {
    b.insert(b.end(), o.b.begin(), o.b.end());
    return *this;
  }
  // A channel record: version, local IP, t0, retry, t1, t2, t3, k, w, remote IP.
  TBytes& channel(std::int32_t version, std::initializer_list<unsigned> local, std::int32_t t0, std::int32_t retry,
                  std::int32_t t1, std::int32_t t2, std::int32_t t3, std::int32_t k, std::int32_t w,
                  std::initializer_list<unsigned> remote) {
    i32(version).raw(local).i32(t0).i32(retry).i32(t1).i32(t2).i32(t3).i32(k).i32(w).raw(remote);
    return *this;
  }
};
