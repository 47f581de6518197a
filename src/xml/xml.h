// The XML reader of the station import and the SCL reader: a read-only element tree over a
// file held in memory, with lookups by element and attribute name that ignore letter case.
// Texts are UTF-8 whatever the file's encoding. The parser (pugixml) and every walk here are
// iterative, so deeply nested files cannot exhaust the stack.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
struct xml_node_struct;
}

namespace t32 {

struct TXMLError {
  int line = 0;    // 1-based; 0 when the error has no place (encoding of the whole file)
  int column = 0;  // 1-based, in characters
  std::string description;  // Russian
};

class TXMLDocument;

// A handle to one element (or to the document node, which has no name and holds the
// top-level elements). Valid while its TXMLDocument lives; a default handle is null.
class TXMLNode {
 public:
  TXMLNode() = default;
  bool IsNull() const { return node_ == nullptr; }
  explicit operator bool() const { return node_ != nullptr; }

  // The tag name; empty for the document node.
  std::string_view Name() const;
  // The node itself, then its descendants depth-first in document order: the first element
  // whose name equals `name` without regard to letter case; null when there is none.
  TXMLNode FindElement(std::string_view name) const;
  // The value of the first attribute named `name` (letter case ignored), without leading
  // and trailing blanks; nullopt when there is no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;
  // Every attribute in document order, values untrimmed.
  std::vector<std::pair<std::string_view, std::string_view>> Attributes() const;
  // The child elements in document order (text, comments and declarations leave no node).
  std::vector<TXMLNode> Children() const;
  // Cheap iteration without a vector: the first child element and the next sibling element.
  TXMLNode FirstChild() const;
  TXMLNode NextSibling() const;
  TXMLNode Parent() const;  // null above the document node
  // The text directly inside this element (character data and CDATA joined).
  std::string Text() const;
  // The line of the element's start tag in the file (1-based); 0 when unknown.
  int Line() const;

  bool operator==(const TXMLNode& o) const { return node_ == o.node_; }

 private:
  friend class TXMLDocument;
  TXMLNode(const TXMLDocument* doc, pugi::xml_node_struct* n) : doc_(doc), node_(n) {}
  const TXMLDocument* doc_ = nullptr;
  pugi::xml_node_struct* node_ = nullptr;
};

class TXMLDocument {
 public:
  TXMLDocument();
  ~TXMLDocument();
  TXMLDocument(const TXMLDocument&) = delete;
  TXMLDocument& operator=(const TXMLDocument&) = delete;

  // Reads the file's bytes. The encoding is chosen by a byte order mark first, then by the
  // prolog ("windows-1251"/"cp1251" or "utf-8"/"us-ascii"), and with neither: UTF-8 when
  // the bytes are valid UTF-8, else cp1251. Any other declared encoding is an error.
  // On failure Error() says where and why and Root() keeps the tree read so far.
  bool Parse(std::string_view bytes);
  const TXMLError& Error() const { return error_; }
  // The document node: no name; its children are the top-level elements.
  TXMLNode Root() const;
  // The first top-level element; null when there is none.
  TXMLNode DocumentElement() const;
  // The encoding the file was read in: "UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE",
  // "UTF-32BE" or "windows-1251".
  const std::string& Encoding() const { return encoding_; }

 private:
  friend class TXMLNode;
  int LineOf(std::size_t offset) const;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TXMLError error_;
  std::string encoding_;
};

// Letter case ignored for Latin and Cyrillic letters.
bool XmlNameEquals(std::string_view a, std::string_view b);

}  // namespace t32
