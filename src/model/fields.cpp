#include "model/fields.h"

#include <cstdio>

#include "model/config.h"
#include "model/memstream.h"

namespace t32 {

void TImageWriter::U8(const TField& f, std::uint8_t& v) { if (f.key >= 0) c_.PutU8(static_cast<std::uint16_t>(f.key), v); }
void TImageWriter::U16(const TField& f, std::uint16_t& v) { if (f.key >= 0) c_.PutU16(static_cast<std::uint16_t>(f.key), v); }
void TImageWriter::U32(const TField& f, std::uint32_t& v) { if (f.key >= 0) c_.PutU32(static_cast<std::uint16_t>(f.key), v); }
void TImageWriter::I32(const TField& f, std::int32_t& v) { if (f.key >= 0) c_.PutI32(static_cast<std::uint16_t>(f.key), v); }
void TImageWriter::F32(const TField& f, float& v) { if (f.key >= 0) c_.PutF32(static_cast<std::uint16_t>(f.key), v); }
void TImageWriter::Text(const TField& f, std::string& v) { if (f.key >= 0) c_.PutText(static_cast<std::uint16_t>(f.key), v); }
void TImageWriter::Bytes(const TField& f, void* data, std::size_t size) {
  if (f.key >= 0) c_.PutEntry(static_cast<std::uint16_t>(f.key), size, data);
}

void TImageReader::U8(const TField& f, std::uint8_t& v) { if (f.key >= 0) c_.GetU8(static_cast<std::uint16_t>(f.key), v); }
void TImageReader::U16(const TField& f, std::uint16_t& v) { if (f.key >= 0) c_.GetU16(static_cast<std::uint16_t>(f.key), v); }
void TImageReader::U32(const TField& f, std::uint32_t& v) { if (f.key >= 0) c_.GetU32(static_cast<std::uint16_t>(f.key), v); }
void TImageReader::I32(const TField& f, std::int32_t& v) { if (f.key >= 0) c_.GetI32(static_cast<std::uint16_t>(f.key), v); }
void TImageReader::F32(const TField& f, float& v) { if (f.key >= 0) c_.GetF32(static_cast<std::uint16_t>(f.key), v); }
void TImageReader::Text(const TField& f, std::string& v) { if (f.key >= 0) c_.GetText(static_cast<std::uint16_t>(f.key), v); }
void TImageReader::Bytes(const TField& f, void* data, std::size_t size) {
  if (f.key >= 0) c_.GetEntry(static_cast<std::uint16_t>(f.key), size, data);
}

void TDumpVisitor::Line(const TField& f, const std::string& value) {
  out_ += indent_;
  out_ += f.id;
  out_ += " = ";
  out_ += value;
  out_ += '\n';
}
void TDumpVisitor::F32(const TField& f, float& v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.7g", static_cast<double>(v));
  Line(f, b);
}
void TDumpVisitor::Ip(const TField& f, std::uint32_t& v) { Line(f, U32ToIpText(v)); }
void TDumpVisitor::Bytes(const TField& f, void* data, std::size_t size) {
  std::string hex = OctetsToHexText(data, size);
  if (!hex.empty()) hex.pop_back();
  Line(f, "[" + hex + "]");
}

}  // namespace t32
