// Tests for the strict XML reader behind structured queries: what a query
// document may contain, and the malformed inputs it must refuse.
#include "formats/xpath/xml_reader.h"

#include <gtest/gtest.h>

namespace xpath {
namespace {

XmlDocument MustParse(std::string_view text) {
  XmlDocument doc;
  std::string error;
  EXPECT_TRUE(ParseXml(text, &doc, &error)) << text << ": " << error;
  return doc;
}

TEST(XmlReaderTest, ReadsElementsAttributesAndText) {
  const XmlDocument doc = MustParse(
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- head -->\n<QueryList>\n  <Query Id=\"0\" Path='Application'>"
      "<Select Path=\"Security\">*[System]</Select><!-- c --><Suppress/>"
      "</Query>\n</QueryList>\n<!-- tail -->\n");
  ASSERT_EQ(doc.elements.size(), 4u);
  EXPECT_EQ(doc.elements[0].name, "QueryList");
  ASSERT_EQ(doc.elements[0].children.size(), 1u);
  const XmlElement& query = doc.elements[doc.elements[0].children[0]];
  ASSERT_EQ(query.attributes.size(), 2u);
  EXPECT_EQ(query.attributes[0], std::make_pair(std::string("Id"), std::string("0")));
  EXPECT_EQ(query.attributes[1].second, "Application");
  ASSERT_EQ(query.children.size(), 2u);
  EXPECT_EQ(doc.elements[query.children[0]].text, "*[System]");
  EXPECT_EQ(doc.elements[query.children[0]].attributes[0].second, "Security");
  EXPECT_EQ(doc.elements[query.children[1]].name, "Suppress");
  EXPECT_TRUE(doc.elements[query.children[1]].text.empty());
}

TEST(XmlReaderTest, DecodesEntitiesCharacterReferencesAndCData) {
  const XmlDocument doc = MustParse(
      "<a x='&lt;&amp;&quot;&apos;&gt;' y=\"a&#10;b\tc\">"
      "1 &lt; 2 &amp;&amp; &#x41;&#66;&#xE9;&#x20AC;&#x1F600;"
      "<![CDATA[<raw & text>]]></a>");
  const XmlElement& a = doc.elements[0];
  EXPECT_EQ(a.attributes[0].second, "<&\"'>");
  // Character references survive attribute normalisation; literal tabs don't.
  EXPECT_EQ(a.attributes[1].second, "a\nb c");
  EXPECT_EQ(a.text, "1 < 2 && AB\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80<raw & text>");
}

TEST(XmlReaderTest, RefusesMalformedDocuments) {
  const char* const kBad[] = {
      "",
      "   ",
      "<a>",
      "<a></b>",
      "<a><b></a></b>",
      "<a/><b/>",
      "<a/>text",
      "text<a/>",
      "<a x='1' x='2'/>",
      "<a x='1'y='2'/>",
      "<a x=1/>",
      "<a x='<'/>",
      "<a x='unterminated/>",
      // An apostrophe inside a '-quoted value ends it early.
      "<Query Path='Windows PowerShell's'/>",
      "<a>&unknown;</a>",
      "<a>&lt</a>",
      "<a>a & b</a>",
      "<a>&#0;</a>",
      "<a>&#xD800;</a>",
      "<a>&#x110000;</a>",
      "<a>&#;</a>",
      "<a>&#x;</a>",
      "<a><!-- a -- b --></a>",
      "<a><!-- open</a>",
      "<!DOCTYPE a><a/>",
      "<a><?pi data?></a>",
      "<a>]]></a>",
      "<a><![CDATA[x</a>",
      "<?xml?><a/>",
      "<a>\x01</a>",
      "< a/>",
      "<1a/>",
      "<a></a >x",
  };
  for (const char* text : kBad) {
    XmlDocument doc;
    std::string error;
    EXPECT_FALSE(ParseXml(text, &doc, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_TRUE(doc.elements.empty()) << text;
  }
}

TEST(XmlReaderTest, CapsNestingDepth) {
  std::string ok_text;
  std::string deep_text;
  for (size_t i = 0; i < kMaxXmlDepth; ++i) ok_text += "<a>";
  for (size_t i = 0; i < kMaxXmlDepth; ++i) ok_text += "</a>";
  for (size_t i = 0; i <= kMaxXmlDepth; ++i) deep_text += "<a>";
  for (size_t i = 0; i <= kMaxXmlDepth; ++i) deep_text += "</a>";
  XmlDocument doc;
  std::string error;
  EXPECT_TRUE(ParseXml(ok_text, &doc, &error)) << error;
  EXPECT_FALSE(ParseXml(deep_text, &doc, &error));
  // A hostile depth fails fast instead of exhausting the stack.
  std::string hostile;
  for (int i = 0; i < 100'000; ++i) hostile += "<a>";
  EXPECT_FALSE(ParseXml(hostile, &doc, &error));
}

}  // namespace
}  // namespace xpath
