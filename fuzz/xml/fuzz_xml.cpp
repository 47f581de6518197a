// Arbitrary bytes as an XML file: encoding choice, parsing, and every walk over the tree.
#include <cstdint>
#include <string_view>

#include "xml/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  t32::TXMLDocument doc;
  doc.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  t32::TXMLNode root = doc.Root();
  root.FindElement("Item");
  // Visit every element without recursion, reading names, attributes, text and lines.
  t32::TXMLNode cur = root.FirstChild();
  size_t seen = 0;
  while (cur && seen < 100000) {
    ++seen;
    (void)cur.Name();
    (void)cur.Attribute("name");
    (void)cur.Attributes();
    (void)cur.Text();
    (void)cur.Line();
    if (t32::TXMLNode c = cur.FirstChild()) {
      cur = c;
      continue;
    }
    while (cur && !cur.NextSibling()) cur = cur.Parent();
    if (cur) cur = cur.NextSibling();
  }
  return 0;
}
