// One declarative list of an item's settings feeds the image writer and reader, the text dump
// and the JSON export: an item's Fields() names each setting once, in the order the controller
// expects the entries, with its image key (or -1 for settings that are not written).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace t32 {

struct TField {
  const char* id;       // stable identifier (dump, JSON)
  int key = -1;         // image entry key, -1 when the setting is not written as an entry
  double min = 0;       // editor range (documentation for dumps and forms)
  double max = 0;
};

class TFieldVisitor {
 public:
  virtual ~TFieldVisitor() = default;
  virtual void U8(const TField& f, std::uint8_t& v) = 0;
  virtual void U16(const TField& f, std::uint16_t& v) = 0;
  // A signed 16-bit setting: two bytes like U16, shown with its sign where it is shown.
  virtual void I16(const TField& f, std::int16_t& v) {
    std::uint16_t u = static_cast<std::uint16_t>(v);
    U16(f, u);
    if (Reading()) v = static_cast<std::int16_t>(u);
  }
  virtual void U32(const TField& f, std::uint32_t& v) = 0;
  virtual void I32(const TField& f, std::int32_t& v) = 0;
  virtual void F32(const TField& f, float& v) = 0;
  // Text of up to 64 characters, 65 bytes in the image.
  virtual void Text(const TField& f, std::string& utf8) = 0;
  // IPv4 address held as a number, most significant byte first octet; 4 bytes little-endian.
  virtual void Ip(const TField& f, std::uint32_t& v) = 0;
  // A fixed block of raw bytes (arrays, records).
  virtual void Bytes(const TField& f, void* data, std::size_t size) = 0;
  // True for visitors that read values into the item (image reader, JSON import).
  virtual bool Reading() const = 0;
};

class TConfig;

// Writes each keyed field as an entry.
class TImageWriter : public TFieldVisitor {
 public:
  explicit TImageWriter(TConfig& c) : c_(c) {}
  void U8(const TField& f, std::uint8_t& v) override;
  void U16(const TField& f, std::uint16_t& v) override;
  void U32(const TField& f, std::uint32_t& v) override;
  void I32(const TField& f, std::int32_t& v) override;
  void F32(const TField& f, float& v) override;
  void Text(const TField& f, std::string& v) override;
  void Ip(const TField& f, std::uint32_t& v) override { U32(f, v); }
  void Bytes(const TField& f, void* data, std::size_t size) override;
  bool Reading() const override { return false; }

 private:
  TConfig& c_;
};

// Reads each keyed field that is present; absent keys keep the field's value.
class TImageReader : public TFieldVisitor {
 public:
  explicit TImageReader(const TConfig& c) : c_(c) {}
  void U8(const TField& f, std::uint8_t& v) override;
  void U16(const TField& f, std::uint16_t& v) override;
  void U32(const TField& f, std::uint32_t& v) override;
  void I32(const TField& f, std::int32_t& v) override;
  void F32(const TField& f, float& v) override;
  void Text(const TField& f, std::string& v) override;
  void Ip(const TField& f, std::uint32_t& v) override { U32(f, v); }
  void Bytes(const TField& f, void* data, std::size_t size) override;
  bool Reading() const override { return true; }

 private:
  const TConfig& c_;
};

// Renders "id = value" lines for dumps.
class TDumpVisitor : public TFieldVisitor {
 public:
  explicit TDumpVisitor(std::string& out, std::string indent) : out_(out), indent_(std::move(indent)) {}
  void U8(const TField& f, std::uint8_t& v) override { Line(f, std::to_string(v)); }
  void U16(const TField& f, std::uint16_t& v) override { Line(f, std::to_string(v)); }
  void I16(const TField& f, std::int16_t& v) override { Line(f, std::to_string(v)); }
  void U32(const TField& f, std::uint32_t& v) override { Line(f, std::to_string(v)); }
  void I32(const TField& f, std::int32_t& v) override { Line(f, std::to_string(v)); }
  void F32(const TField& f, float& v) override;
  void Text(const TField& f, std::string& v) override { Line(f, "\"" + v + "\""); }
  void Ip(const TField& f, std::uint32_t& v) override;
  void Bytes(const TField& f, void* data, std::size_t size) override;
  bool Reading() const override { return false; }

 private:
  void Line(const TField& f, const std::string& value);
  std::string& out_;
  std::string indent_;
};

}  // namespace t32
