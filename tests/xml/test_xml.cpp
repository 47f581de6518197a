// The XML reader: tree shape, lookups, encodings, errors with their place, deep nesting.
#include <gtest/gtest.h>

#include <string>

#include "model/cp1251.h"
#include "xml/xml.h"

using namespace t32;

namespace {

// Every element below `n` as "name(attr=value,...)[children]" in document order.
std::string Shape(TXMLNode n) {
  std::string s(n.Name());
  auto attrs = n.Attributes();
  if (!attrs.empty()) {
    s += "(";
    for (std::size_t i = 0; i < attrs.size(); ++i)
      s += (i ? "," : "") + std::string(attrs[i].first) + "=" + std::string(attrs[i].second);
    s += ")";
  }
  auto kids = n.Children();
  if (!kids.empty()) {
    s += "[";
    for (std::size_t i = 0; i < kids.size(); ++i) s += (i ? " " : "") + Shape(kids[i]);
    s += "]";
  }
  return s;
}

std::string Utf16(std::string_view utf8, bool big, bool bom) {
  std::string out;
  auto put = [&](unsigned u) {
    out += static_cast<char>(big ? u >> 8 : u & 0xFF);
    out += static_cast<char>(big ? u & 0xFF : u >> 8);
  };
  if (bom) put(0xFEFF);
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char b = utf8[i];
    unsigned c;
    if (b < 0x80) { c = b; i += 1; }
    else if ((b & 0xE0) == 0xC0) { c = (b & 0x1F) << 6 | (utf8[i + 1] & 0x3F); i += 2; }
    else { c = (b & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F); i += 3; }
    put(c);
  }
  return out;
}

}  // namespace

TEST(Xml, StandardMarkupGivesTheElementTree) {
  struct Case { const char* xml; const char* shape; } cases[] = {
      {"<a x=\"one two\" y='3'/>", "a(x=one two,y=3)"},
      {"<?xml version=\"1.0\"?><!-- note --><a><!-- inner --><b/></a>", "a[b]"},
      {"<a><b/><c/></a>", "a[b c]"},
      {"<a n = \"v\"  m\t=\t'w'/>", "a(n=v,m=w)"},
      {"<a v=\"&lt;&amp;&gt;&quot;&apos;&#65;&#x42;\"/>", "a(v=<&>\"'AB)"},
      {"<!DOCTYPE a [<!ENTITY e \"x\">]><a><![CDATA[<b/>]]><c/></a>", "a[c]"},
      {"<a>words between tags<b/>more</a>", "a[b]"},
      {"<a v=\"line1\nline2\"/>", "a(v=line1 line2)"},
  };
  for (const Case& c : cases) {
    TXMLDocument doc;
    EXPECT_TRUE(doc.Parse(c.xml)) << c.xml << ": " << doc.Error().description;
    EXPECT_EQ(Shape(doc.DocumentElement()), c.shape) << c.xml;
  }
}

TEST(Xml, LookupsIgnoreCaseTrimAndTakeTheFirstMatch) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.Parse("<Root><Group NAME=\"  g1 \" name=\"second\" empty=\"\">"
                        "<Item id=\"1\"/></Group><group name=\"g2\"><ITEM id=\"2\"/></group></Root>"));
  TXMLNode root = doc.Root();
  EXPECT_TRUE(root.Name().empty());
  TXMLNode g = root.FindElement("group");
  ASSERT_TRUE(g);
  EXPECT_EQ(g.Name(), "Group");
  EXPECT_EQ(g.Attribute("name"), "g1");
  EXPECT_EQ(g.Attribute("EMPTY"), "");
  EXPECT_EQ(g.Attribute("missing"), std::nullopt);
  // Depth first: the item inside the first group comes before the second group.
  EXPECT_EQ(root.FindElement("item").Attribute("id"), "1");
  EXPECT_EQ(g.NextSibling().FindElement("Item").Attribute("id"), "2");
  // A search starts at the node itself and never leaves its subtree.
  EXPECT_EQ(g.FindElement("GROUP"), g);
  EXPECT_FALSE(g.FindElement("Root"));
  EXPECT_FALSE(TXMLNode().FindElement("x"));
  // Cyrillic names compare without case as well.
  TXMLDocument cyr;
  ASSERT_TRUE(cyr.Parse("<Станция Имя=\"x\"/>"));
  EXPECT_EQ(cyr.Root().FindElement("СТАНЦИЯ").Attribute("имя"), "x");
}

TEST(Xml, ElementsKnowTheirLineAndTextIsAvailable) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.Parse("<?xml version=\"1.0\"?>\r\n<a>\r\n  <b\r\n x=\"1\">text<![CDATA[ & more]]></b>\n<c/></a>"));
  TXMLNode a = doc.DocumentElement();
  EXPECT_EQ(a.Line(), 2);
  EXPECT_EQ(a.FindElement("b").Line(), 3);
  EXPECT_EQ(a.FindElement("c").Line(), 5);
  EXPECT_EQ(a.FindElement("b").Text(), "text & more");
}

TEST(Xml, EncodingIsChosenByMarkThenPrologThenValidity) {
  const std::string utf8 = "<a n=\"Подстанция\"/>";
  const std::string cp = Utf8ToCp1251(utf8);
  struct Case { std::string bytes; const char* encoding; } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>" + cp, "windows-1251"},
      {"<?xml version='1.0' encoding = 'CP1251' ?>" + cp, "windows-1251"},
      {cp, "windows-1251"},  // no prolog, not valid UTF-8
      {utf8, "UTF-8"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + utf8, "UTF-8"},
      {"<?xml version=\"1.0\" encoding=\"us-ascii\"?>" + utf8, "UTF-8"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1251\"?>" + utf8, "UTF-8"},  // mark wins
      {Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + utf8, false, true), "UTF-16LE"},
      {Utf16(utf8, true, true), "UTF-16BE"},
      {Utf16("<?xml version=\"1.0\"?>" + utf8, false, false), "UTF-16LE"},
  };
  for (const Case& c : cases) {
    TXMLDocument doc;
    ASSERT_TRUE(doc.Parse(c.bytes)) << c.encoding << ": " << doc.Error().description;
    EXPECT_EQ(doc.Encoding(), c.encoding);
    EXPECT_EQ(doc.Root().FindElement("a").Attribute("n"), "Подстанция") << c.encoding;
  }
}

TEST(Xml, FaultsSayWhereAndWhy) {
  struct Case { std::string bytes; int line, column; const char* description; } cases[] = {
      {"", 1, 1, "в файле нет ни одного элемента"},
      {"just text, no markup", 1, 21, "в файле нет ни одного элемента"},
      {"<a>\n<b>\n</a>", 3, 3, "конечный тег не соответствует начальному"},
      {"<a>\n<b x=\"1\">\n", 3, 1, "файл оборван: не все элементы закрыты"},
      {"<a>\n  <b x=\"1></a>", 2, 0, nullptr},
      {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>", 0, 0,
       "кодировка «Shift_JIS» не поддерживается (допустимы windows-1251, utf-8, us-ascii, UTF-16)"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a n=\"\xCF\xF1\"/>", 2, 7,
       "недопустимая последовательность байтов UTF-8"},
      {std::string("<a>\n <b/>\0</a>", 14), 2, 6, "недопустимый символ с кодом 0"},
      {std::string("\xFF\xFE<\x00\x00\xD8>\x00", 8), 1, 2, "недопустимый символ в кодировке UTF-16LE"},
  };
  for (const Case& c : cases) {
    TXMLDocument doc;
    EXPECT_FALSE(doc.Parse(c.bytes)) << c.bytes;
    if (c.description) {
      EXPECT_EQ(doc.Error().description, c.description) << c.bytes;
    }
    EXPECT_FALSE(doc.Error().description.empty());
    if (!c.line) continue;
    EXPECT_EQ(doc.Error().line, c.line) << c.bytes;
    if (c.column) {
      EXPECT_EQ(doc.Error().column, c.column) << c.bytes;
    }
  }
}

TEST(Xml, AFailedParseKeepsTheTreeSoFar) {
  TXMLDocument doc;
  EXPECT_FALSE(doc.Parse("<a><b x=\"1\"/><c><d"));
  EXPECT_EQ(doc.Root().FindElement("b").Attribute("x"), "1");
  EXPECT_TRUE(doc.Root().FindElement("c"));
}

TEST(Xml, DeepNestingNeitherCrashesNorRecurses) {
  const int depth = 200000;
  std::string open, close;
  for (int i = 0; i < depth; ++i) open += "<e>";
  for (int i = 0; i < depth; ++i) close += "</e>";
  {
    TXMLDocument doc;
    ASSERT_TRUE(doc.Parse(open + "<last k=\"v\"/>" + close));
    EXPECT_EQ(doc.Root().FindElement("LAST").Attribute("k"), "v");
    EXPECT_FALSE(doc.Root().FindElement("absent"));
  }
  TXMLDocument cut;
  EXPECT_FALSE(cut.Parse(open));
  EXPECT_EQ(cut.Error().description, "файл оборван: не все элементы закрыты");
  // Reparsing the same document object drops the previous tree.
  EXPECT_TRUE(cut.Parse("<x/>"));
  EXPECT_EQ(cut.DocumentElement().Name(), "x");
}
