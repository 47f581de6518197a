// The configuration image and its one record reader/writer.
//
// An image is a sequence of tagged records after a 144-byte file head. Long records (written
// and read) are 8-byte heads: type F1 FF (section) or F2 FF (entry), a 16-bit code or key and a
// 32-bit length; short records (old images, read only) are 4-byte heads: F0 (section) or E0
// (entry), an 8-bit code or key and a 16-bit length. Every read here is bounded by the written
// data: a record whose length is shorter than its head or runs past the data counts as the end
// of the records, so a corrupt image can neither loop a walk nor read outside the buffer.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace t32 {

class TConfig {
 public:
  static constexpr std::size_t kMaxImage = 104857600;  // largest image the controller takes
  static constexpr std::int32_t kDataStart = 144;      // records start after the file head
  static constexpr int kNoSection = -1;                 // a walk found no further section

  std::int32_t Pos = 0;   // current offset
  std::int32_t Mark = 0;  // section record of the top-level item being read

  // --- the buffer --------------------------------------------------------------------------
  // Starts a write pass: an all-zero image of kDataStart bytes, Pos at the data start.
  void BeginWrite();
  // Takes a whole image (file head included) for reading. Fails beyond kMaxImage.
  bool SetImage(std::vector<std::uint8_t> bytes);
  const std::vector<std::uint8_t>& Image() const { return image_; }
  std::vector<std::uint8_t>& MutableImage() { return image_; }
  // End of the written data (for writing: Pos's high-water mark).
  std::int32_t End() const { return static_cast<std::int32_t>(image_.size()); }
  // True once a write would have passed kMaxImage; everything after it was dropped.
  bool Overflowed() const { return overflow_; }
  // An item that cannot be written as the controller takes it (a station block past its
  // limit) refuses the image: it still writes a readable form of itself, names the reason here,
  // and nothing that leaves the program (file, controller, JSON) may be made from this image.
  // A write pass starts with no refusals; a reason already named is not named twice (every
  // IEC 61850 port of an image writes the same shared block and finds the same fault).
  void Refuse(std::string reason) {
    if (std::find(refusals_.begin(), refusals_.end(), reason) == refusals_.end()) refusals_.push_back(std::move(reason));
  }
  const std::vector<std::string>& Refusals() const { return refusals_; }

  // --- writing long records ----------------------------------------------------------------
  void BeginSection(std::uint16_t code);
  void PutEntry(std::uint16_t key, std::size_t size, const void* src);
  // Patches the length of the section that started at `start` to Pos - start.
  void EndSection(std::int32_t start);

  // Copies records as they stand (a section kept from an image) to Pos.
  void PutBytes(const std::vector<std::uint8_t>& bytes);

  void PutU8(std::uint16_t key, std::uint8_t v) { PutEntry(key, 1, &v); }
  void PutU16(std::uint16_t key, std::uint16_t v);
  void PutU32(std::uint16_t key, std::uint32_t v);
  void PutI32(std::uint16_t key, std::int32_t v) { PutU32(key, static_cast<std::uint32_t>(v)); }
  void PutF32(std::uint16_t key, float v);
  // A 65-byte text field: length byte and up to 64 cp1251 characters (UTF-8 in, cut to 64).
  void PutText(std::uint16_t key, std::string_view utf8);

  // --- reading long records ----------------------------------------------------------------
  bool GetEntry(std::uint16_t key, std::size_t size, void* dst) const;
  int PeekSection() const;  // code of the next section, or 0 when a foreign record comes first
  int NextSection();        // code of the section entered, or kNoSection
  void MarkSection() { Mark = Pos; }
  // Offset of the next section record from Pos (over entries), or -1.
  std::int32_t FindSection() const;
  // End of the section whose record is at `at` (at + its length), or End() when unreadable.
  std::int32_t SectionEnd(std::int32_t at) const;
  // The whole section whose record is at `at` (head, entries and nested sections), or
  // nothing when no readable section record stands there.
  std::vector<std::uint8_t> SectionBytes(std::int32_t at) const;
  // Passes over the next section with everything nested in it; returns its code or kNoSection.
  int SkipNextSection();
  void SkipSection();

  bool GetU8(std::uint16_t key, std::uint8_t& v) const { return GetEntry(key, 1, &v); }
  bool GetU16(std::uint16_t key, std::uint16_t& v) const;
  bool GetU32(std::uint16_t key, std::uint32_t& v) const;
  bool GetI32(std::uint16_t key, std::int32_t& v) const;
  bool GetF32(std::uint16_t key, float& v) const;
  bool GetText(std::uint16_t key, std::string& utf8) const;
  // Size of the value of the first entry with this key, or -1.
  long EntrySize(std::uint16_t key) const;

  // --- reading short records (old images) --------------------------------------------------
  bool GetShortEntry(std::uint8_t key, std::uint16_t size, void* dst) const;
  // Bytes of a short entry's value, -1 when absent.
  long ShortEntrySize(std::uint8_t key) const;
  int NextShortSection();
  void SkipShortSection();
  bool GetShortText(std::uint8_t key, std::string& utf8) const;

  // Whether the records after the data start are short ones (first byte F0).
  bool LooksShort(std::int32_t at = kDataStart) const;

  // Decodes a 65-byte text field (length byte, cp1251 characters) to UTF-8.
  static std::string DecodeText(const std::uint8_t* field, std::size_t size);
  // Encodes UTF-8 text into a 65-byte field.
  static void EncodeText(std::string_view utf8, std::uint8_t field[65]);

 private:
  bool Ensure(std::size_t bytes);
  // Validated long record at p: fills type, code, length; false when none can be read there.
  bool LongAt(std::int64_t p, std::uint16_t& type, std::uint16_t& code, std::uint32_t& len) const;
  bool ShortAt(std::int64_t p, std::uint8_t& type, std::uint8_t& code, std::uint16_t& len) const;

  std::vector<std::uint8_t> image_;
  bool overflow_ = false;
  std::vector<std::string> refusals_;
};

}  // namespace t32
