#include "xml/xml.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include <pugixml.hpp>

#include "model/cp1251.h"

namespace t32 {

// ---------------------------------------------------------------------------------------------
// Encodings. The file is transcoded to UTF-8 once, before parsing.
namespace {

void PutUtf8(std::string& out, char32_t c) {
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

// Offset of the first byte that breaks UTF-8 (overlong forms, surrogates and code points
// above U+10FFFF included), or npos when the whole text is valid.
std::size_t FirstInvalidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  std::size_t n = s.size(), i = 0;
  while (i < n) {
    // ASCII runs, eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (w & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    unsigned char b = p[i];
    if (b < 0x80) { ++i; continue; }
    int extra;
    char32_t c, min;
    if ((b & 0xE0) == 0xC0) { extra = 1; c = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { extra = 2; c = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { extra = 3; c = b & 0x07; min = 0x10000; }
    else return i;
    if (i + extra >= n) return i;
    for (int k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return i;
      c = (c << 6) | (p[i + k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return i;
    i += extra + 1;
  }
  return std::string_view::npos;
}

// cp1251 to UTF-8 in one pass over a table of each byte's UTF-8 form; ASCII runs are copied
// eight bytes at a time. Large files are mostly markup, so this keeps transcoding cheap.
std::string Cp1251ToUtf8Fast(std::string_view in) {
  struct Seq {
    std::uint8_t len;
    char b[3];
  };
  static const std::array<Seq, 256> table = [] {
    std::array<Seq, 256> t{};
    for (int i = 0; i < 256; ++i) {
      char c = static_cast<char>(i);
      std::string u = Cp1251ToUtf8(std::string_view(&c, 1));
      t[i].len = static_cast<std::uint8_t>(u.size());
      std::memcpy(t[i].b, u.data(), u.size());
    }
    return t;
  }();
  std::string out;
  out.resize(in.size() * 3);
  char* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  std::size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (!(w & 0x8080808080808080ull)) {
        std::memcpy(o, &w, 8);
        o += 8;
        i += 8;
        continue;
      }
    }
    const Seq& q = table[p[i++]];
    o[0] = q.b[0];
    o[1] = q.b[1];
    o[2] = q.b[2];
    o += q.len;
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string AsciiLower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// The value of encoding="..." in an XML declaration at the start of single-byte text;
// nullopt when there is no declaration or it names no encoding.
std::optional<std::string> DeclaredEncoding(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (s.substr(i, 5) != "<?xml" || i + 5 >= s.size() || !IsBlank(s[i + 5])) return std::nullopt;
  std::size_t end = s.find("?>", i);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view decl = s.substr(i + 5, end - i - 5);
  std::size_t k = 0;
  while (k < decl.size()) {
    while (k < decl.size() && IsBlank(decl[k])) ++k;
    std::size_t nb = k;
    while (k < decl.size() && !IsBlank(decl[k]) && decl[k] != '=') ++k;
    std::string_view name = decl.substr(nb, k - nb);
    while (k < decl.size() && IsBlank(decl[k])) ++k;
    if (k >= decl.size() || decl[k] != '=') return std::nullopt;
    ++k;
    while (k < decl.size() && IsBlank(decl[k])) ++k;
    if (k >= decl.size() || (decl[k] != '"' && decl[k] != '\'')) return std::nullopt;
    char q = decl[k++];
    std::size_t vb = k;
    while (k < decl.size() && decl[k] != q) ++k;
    if (k >= decl.size()) return std::nullopt;
    std::string_view value = decl.substr(vb, k - vb);
    ++k;
    if (name == "encoding") return std::string(value);
  }
  return std::nullopt;
}

// UTF-16 or UTF-32 to UTF-8; false with the offset of the fault in `bad`.
bool WideToUtf8(std::string_view in, int unit, bool big, std::string& out, std::size_t& bad) {
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  std::size_t n = in.size();
  out.clear();
  out.reserve(n);
  auto get = [&](std::size_t i) -> char32_t {
    if (unit == 2) return big ? (char32_t(p[i]) << 8 | p[i + 1]) : (char32_t(p[i + 1]) << 8 | p[i]);
    return big ? (char32_t(p[i]) << 24 | char32_t(p[i + 1]) << 16 | char32_t(p[i + 2]) << 8 | p[i + 3])
               : (char32_t(p[i + 3]) << 24 | char32_t(p[i + 2]) << 16 | char32_t(p[i + 1]) << 8 | p[i]);
  };
  std::size_t i = 0;
  for (; i + unit <= n; i += unit) {
    char32_t c = get(i);
    if (unit == 2 && c >= 0xD800 && c <= 0xDBFF) {
      if (i + 4 > n) { bad = i; return false; }
      char32_t lo = get(i + 2);
      if (lo < 0xDC00 || lo > 0xDFFF) { bad = i; return false; }
      c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
      i += 2;
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      bad = i;
      return false;
    }
    PutUtf8(out, c);
  }
  if (i != n) { bad = i; return false; }
  return true;
}

struct Decoded {
  std::string utf8;
  std::string encoding;
  // Set on failure: what went wrong and where in the UTF-8 text decoded so far (npos when
  // the fault has no place in the text).
  std::string error;
  std::size_t errorAt = std::string_view::npos;
};

bool Decode(std::string_view bytes, Decoded& d) {
  auto starts = [&](std::initializer_list<unsigned char> sig) {
    if (bytes.size() < sig.size()) return false;
    std::size_t i = 0;
    for (unsigned char c : sig)
      if (static_cast<unsigned char>(bytes[i++]) != c) return false;
    return true;
  };
  struct Wide { std::initializer_list<unsigned char> sig; std::size_t skip; int unit; bool big; const char* name; };
  // A byte order mark decides first; UTF-16 without a mark shows itself by "<?" in two bytes.
  const Wide wides[] = {
      {{0xFF, 0xFE, 0, 0}, 4, 4, false, "UTF-32LE"}, {{0, 0, 0xFE, 0xFF}, 4, 4, true, "UTF-32BE"},
      {{0xFF, 0xFE}, 2, 2, false, "UTF-16LE"},       {{0xFE, 0xFF}, 2, 2, true, "UTF-16BE"},
      {{'<', 0, '?', 0}, 0, 2, false, "UTF-16LE"},   {{0, '<', 0, '?'}, 0, 2, true, "UTF-16BE"}};
  for (const Wide& w : wides) {
    if (!starts(w.sig)) continue;
    d.encoding = w.name;
    std::size_t bad = 0;
    if (!WideToUtf8(bytes.substr(w.skip), w.unit, w.big, d.utf8, bad)) {
      d.error = "недопустимый символ в кодировке " + d.encoding;
      d.errorAt = d.utf8.size();
      return false;
    }
    return true;
  }
  bool bom = starts({0xEF, 0xBB, 0xBF});
  if (bom) bytes.remove_prefix(3);
  bool asUtf8;
  if (bom) {
    asUtf8 = true;
  } else if (auto enc = DeclaredEncoding(bytes)) {
    std::string e = AsciiLower(*enc);
    if (e == "windows-1251" || e == "cp1251") {
      asUtf8 = false;
    } else if (e == "utf-8" || e == "us-ascii") {
      asUtf8 = true;
    } else {
      d.error = "кодировка «" + Cp1251ToUtf8(enc->substr(0, 64)) +
                "» не поддерживается (допустимы windows-1251, utf-8, us-ascii, UTF-16)";
      return false;
    }
  } else {
    asUtf8 = FirstInvalidUtf8(bytes) == std::string_view::npos;
  }
  if (asUtf8) {
    d.encoding = "UTF-8";
    std::size_t bad = FirstInvalidUtf8(bytes);
    d.utf8.assign(bytes.data(), bytes.size());
    if (bad != std::string_view::npos) {
      d.error = "недопустимая последовательность байтов UTF-8";
      d.errorAt = bad;
      return false;
    }
  } else {
    d.encoding = "windows-1251";
    d.utf8 = Cp1251ToUtf8Fast(bytes);
  }
  return true;
}

// Line and column (both 1-based, column in characters) of a UTF-8 offset.
void Place(std::string_view s, std::size_t at, int& line, int& column) {
  at = std::min(at, s.size());
  line = 1;
  std::size_t ls = 0;
  for (std::size_t i = 0; i < at; ++i)
    if (s[i] == '\n') { ++line; ls = i + 1; }
  column = 1;
  for (std::size_t i = ls; i < at; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++column;
}

const char* Describe(pugi::xml_parse_status st, bool atEnd) {
  switch (st) {
    case pugi::status_out_of_memory: return "недостаточно памяти";
    case pugi::status_unrecognized_tag: return "неверная разметка тега";
    case pugi::status_bad_pi: return "неверная инструкция обработки или объявление XML";
    case pugi::status_bad_comment: return "неверный комментарий";
    case pugi::status_bad_cdata: return "неверный раздел CDATA";
    case pugi::status_bad_doctype: return "неверное объявление типа документа";
    case pugi::status_bad_pcdata: return "неверный текст между тегами";
    case pugi::status_bad_start_element: return atEnd ? "файл оборван внутри начального тега" : "неверный начальный тег";
    case pugi::status_bad_attribute: return atEnd ? "файл оборван внутри атрибута" : "неверный атрибут";
    case pugi::status_bad_end_element: return atEnd ? "файл оборван внутри конечного тега" : "неверный конечный тег";
    case pugi::status_end_element_mismatch:
      return atEnd ? "файл оборван: не все элементы закрыты" : "конечный тег не соответствует начальному";
    case pugi::status_no_document_element: return "в файле нет ни одного элемента";
    case pugi::status_append_invalid_root: return "недопустимый корневой элемент";
    default: return "внутренняя ошибка разбора";
  }
}

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool IsElement(pugi::xml_node_struct* n) {
  return n && pugi::xml_node(n).type() == pugi::node_element;
}

}  // namespace

bool XmlNameEquals(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
  return Utf8Upper(a) == Utf8Upper(b);
}

namespace {

// XmlNameEquals for a parser's zero-terminated name, without measuring it first: names are
// compared on every lookup, so the common ASCII case stays one pass.
bool NameIs(const char* z, std::string_view b) {
  for (std::size_t i = 0; i < b.size(); ++i) {
    char x = z[i], y = b[i];
    if (x == 0) return false;
    if ((static_cast<unsigned char>(x) | static_cast<unsigned char>(y)) & 0x80) return XmlNameEquals(z, b);
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return z[b.size()] == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
struct TXMLDocument::Impl {
  std::string buffer;                   // the UTF-8 text that pugixml parses in place
  std::vector<std::uint32_t> newlines;  // offsets of '\n' in the text before parsing
  pugi::xml_document doc;
};

TXMLDocument::TXMLDocument() : impl_(std::make_unique<Impl>()) {}
TXMLDocument::~TXMLDocument() = default;

bool TXMLDocument::Parse(std::string_view bytes) {
  impl_ = std::make_unique<Impl>();
  error_ = {};
  encoding_.clear();
  Decoded d;
  bool decoded = Decode(bytes, d);
  encoding_ = d.encoding;
  if (!decoded) {
    error_.description = d.error;
    if (d.errorAt != std::string_view::npos) Place(d.utf8, d.errorAt, error_.line, error_.column);
    return false;
  }
  // XML has no place for the character 0, and the parser would take it for the end.
  if (std::size_t z = d.utf8.find('\0'); z != std::string::npos) {
    error_.description = "недопустимый символ с кодом 0";
    Place(d.utf8, z, error_.line, error_.column);
    return false;
  }
  if (d.utf8.size() > 0xFFFFFFFFu) {
    error_.description = "файл слишком велик";
    return false;
  }
  impl_->buffer = std::move(d.utf8);
  const std::string& b = impl_->buffer;
  for (const char* p = b.data(); (p = static_cast<const char*>(std::memchr(p, '\n', b.data() + b.size() - p)));
       ++p)
    impl_->newlines.push_back(static_cast<std::uint32_t>(p - b.data()));
  // Comments, declarations, processing instructions and DOCTYPE are skipped and leave no
  // node; entities and CDATA are decoded.
  unsigned opts = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol;
  std::size_t size = impl_->buffer.size();
  pugi::xml_parse_result r = impl_->doc.load_buffer_inplace(impl_->buffer.data(), size, opts, pugi::encoding_utf8);
  if (r) return true;
  // The text was changed in place while parsing: place the error in a fresh copy.
  Decoded again;
  Decode(bytes, again);
  std::size_t at = r.offset < 0 ? 0 : static_cast<std::size_t>(r.offset);
  bool atEnd;
  if (r.status == pugi::status_end_element_mismatch) {
    // A wrong end tag is reported at its name; anything else is a file that stops early,
    // best shown at its end.
    atEnd = !(at >= 2 && again.utf8.compare(at - 2, 2, "</") == 0);
    if (atEnd) at = again.utf8.size();
  } else if (r.status == pugi::status_no_document_element) {
    atEnd = true;
    at = again.utf8.size();
  } else {
    atEnd = at + 1 >= size;
  }
  error_.description = Describe(r.status, atEnd);
  Place(again.utf8, at, error_.line, error_.column);
  return false;
}

TXMLNode TXMLDocument::Root() const { return TXMLNode(this, impl_->doc.internal_object()); }

TXMLNode TXMLDocument::DocumentElement() const {
  return TXMLNode(this, impl_->doc.document_element().internal_object());
}

int TXMLDocument::LineOf(std::size_t offset) const {
  const auto& nl = impl_->newlines;
  return 1 + static_cast<int>(std::lower_bound(nl.begin(), nl.end(), offset) - nl.begin());
}

// ---------------------------------------------------------------------------------------------
std::string_view TXMLNode::Name() const {
  if (!IsElement(node_)) return {};
  return pugi::xml_node(node_).name();
}

TXMLNode TXMLNode::FindElement(std::string_view name) const {
  if (!node_) return {};
  pugi::xml_node self(node_);
  if (self.type() == pugi::node_element && NameIs(self.name(), name)) return *this;
  pugi::xml_node cur = self.first_child();
  while (cur) {
    if (cur.type() == pugi::node_element && NameIs(cur.name(), name))
      return TXMLNode(doc_, cur.internal_object());
    if (cur.first_child()) {
      cur = cur.first_child();
      continue;
    }
    while (cur != self && !cur.next_sibling()) cur = cur.parent();
    if (cur == self) break;
    cur = cur.next_sibling();
  }
  return {};
}

std::optional<std::string> TXMLNode::Attribute(std::string_view name) const {
  if (!IsElement(node_)) return std::nullopt;
  for (pugi::xml_attribute a : pugi::xml_node(node_).attributes()) {
    if (!NameIs(a.name(), name)) continue;
    std::string_view v = a.value();
    while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
    while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
    return std::string(v);
  }
  return std::nullopt;
}

std::vector<std::pair<std::string_view, std::string_view>> TXMLNode::Attributes() const {
  std::vector<std::pair<std::string_view, std::string_view>> r;
  if (!IsElement(node_)) return r;
  for (pugi::xml_attribute a : pugi::xml_node(node_).attributes()) r.emplace_back(a.name(), a.value());
  return r;
}

std::vector<TXMLNode> TXMLNode::Children() const {
  std::vector<TXMLNode> r;
  for (TXMLNode c = FirstChild(); c; c = c.NextSibling()) r.push_back(c);
  return r;
}

TXMLNode TXMLNode::FirstChild() const {
  if (!node_) return {};
  for (pugi::xml_node c = pugi::xml_node(node_).first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) return TXMLNode(doc_, c.internal_object());
  return {};
}

TXMLNode TXMLNode::NextSibling() const {
  if (!node_) return {};
  for (pugi::xml_node c = pugi::xml_node(node_).next_sibling(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) return TXMLNode(doc_, c.internal_object());
  return {};
}

TXMLNode TXMLNode::Parent() const {
  if (!node_) return {};
  pugi::xml_node p = pugi::xml_node(node_).parent();
  return p ? TXMLNode(doc_, p.internal_object()) : TXMLNode();
}

std::string TXMLNode::Text() const {
  std::string r;
  if (!node_) return r;
  for (pugi::xml_node c = pugi::xml_node(node_).first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) r += c.value();
  return r;
}

int TXMLNode::Line() const {
  if (!IsElement(node_) || !doc_) return 0;
  const char* name = pugi::xml_node(node_).name();
  const std::string& b = doc_->impl_->buffer;
  if (name < b.data() || name >= b.data() + b.size()) return 0;
  return doc_->LineOf(static_cast<std::size_t>(name - b.data()));
}

}  // namespace t32
