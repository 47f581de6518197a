// A cursor over a caller's byte buffer, used by items that keep a whole object model as one
// block inside an image entry (IEC 104 station, IEC 61850 device model, SNMP agent).
// Unlike a bare cursor, it knows its buffer's size: a put or get that would cross the end
// fails and leaves the buffer untouched, so a corrupt block can never read or write outside.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace t32 {

class TMemStream {
 public:
  TMemStream() = default;
  TMemStream(void* buffer, std::size_t size) { MemBegin(buffer, size); }
  TMemStream(const void* buffer, std::size_t size) { MemBegin(buffer, size); }

  void MemBegin(void* buffer, std::size_t size);
  // Read-only stream: puts fail.
  void MemBegin(const void* buffer, std::size_t size);
  bool MemPut(const void* src, std::size_t count);
  bool MemGet(void* dst, std::size_t count);
  std::int32_t MemPos() const { return static_cast<std::int32_t>(pos_); }
  std::size_t Size() const { return size_; }
  std::size_t Left() const { return size_ - pos_; }
  // Set once a put or get failed; every later operation then fails too.
  bool Failed() const { return failed_; }

  template <class T> bool Put(const T& v) { return MemPut(&v, sizeof v); }
  template <class T> bool Get(T& v) { return MemGet(&v, sizeof v); }

  // Short string: one length byte then that many cp1251 bytes (the text here is cp1251).
  bool PutShortString(std::string_view cp1251);
  // Fails when the stored length exceeds capacity (the length byte is consumed, dst untouched).
  bool GetShortString(std::string& cp1251, std::size_t capacity = 255);

 private:
  unsigned char* wbuf_ = nullptr;
  const unsigned char* rbuf_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

// "192.168.001.010" -> {192,168,1,10}. Blanks around numbers are allowed. Returns false (and
// leaves out all zero) when a part is not a decimal number from 0 to 255.
bool IpTextToOctets(std::string_view text, std::uint8_t out[4]);
std::string OctetsToIpText(const std::uint8_t in[4]);
// Each byte as two upper-case hexadecimal digits followed by a blank.
std::string OctetsToHexText(const void* bytes, std::size_t count);
// Addresses held as numbers whose most significant byte is the first octet.
std::uint32_t IpTextToU32(std::string_view text, bool* ok = nullptr);
std::string U32ToIpText(std::uint32_t ip);

}  // namespace t32
