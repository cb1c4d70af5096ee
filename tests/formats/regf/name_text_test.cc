// Name folding, ordering, the lh hash and the UTF conversions.
#include "formats/regf/name_text.h"

#include <gtest/gtest.h>

namespace regf {
namespace {

TEST(NameTextTest, Utf16RoundTripsThroughUtf8) {
  const std::u16string text = u"Ab\u00e9\u03a9\u4e2d\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(text), "Ab\xc3\xa9\xce\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(NameTextTest, BrokenInputBecomesReplacementCharacter) {
  // Unpaired surrogates occur in real names; they must not vanish or crash.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xDC00})), "\xef\xbf\xbd");
  EXPECT_EQ(Utf8ToUtf16("\xff" "a"), u"\ufffd" u"a");
  EXPECT_EQ(Utf8ToUtf16("\xc3"), u"\ufffd");          // truncated sequence
  // An overlong '/': C0 is never a lead byte (utf8.h), so it and the stray
  // continuation byte are one replacement each.
  EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\ufffd\ufffd");
  EXPECT_EQ(Utf8ToUtf16("\xe0\x80\xaf"), u"\ufffd");  // overlong '/', three bytes
  EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"), u"\ufffd");  // encoded surrogate
}

TEST(NameTextTest, NulUnitsAreKept) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(NameTextTest, UpcaseFoldsLettersOnly) {
  EXPECT_EQ(UpcaseUnit(u'a'), u'A');
  EXPECT_EQ(UpcaseUnit(u'z'), u'Z');
  EXPECT_EQ(UpcaseUnit(u'_'), u'_');
  EXPECT_EQ(UpcaseUnit(u'{'), u'{');
  EXPECT_EQ(UpcaseUnit(u'\u00e9'), u'\u00c9');
  EXPECT_EQ(UpcaseUnit(u'\u00f7'), u'\u00f7');  // division sign has no case
  EXPECT_EQ(UpcaseUnit(u'\u00ff'), u'\u0178');
  EXPECT_EQ(UpcaseUnit(u'\u0101'), u'\u0100');
  EXPECT_EQ(UpcaseUnit(u'\u013a'), u'\u0139');
  EXPECT_EQ(UpcaseUnit(u'\u017e'), u'\u017d');
  EXPECT_EQ(UpcaseUnit(u'\u03c9'), u'\u03a9');
  EXPECT_EQ(UpcaseUnit(u'\u03c2'), u'\u03a3');  // final sigma
  EXPECT_EQ(UpcaseUnit(u'\u044f'), u'\u042f');
  EXPECT_EQ(UpcaseUnit(u'\u0451'), u'\u0401');
  EXPECT_EQ(UpcaseUnit(u'\uff41'), u'\uff21');
  EXPECT_EQ(UpcaseUnit(u'\u00df'), u'\u00df');  // one unit to one unit
}

TEST(NameTextTest, OrderIsByUppercasedUnit) {
  // Uppercase folding puts 'E' (0x45) before '_' (0x5F); lowercase folding
  // would put "abce" after "abc_d".
  EXPECT_LT(CompareNamesIgnoreCase(u"abce", u"ABC_D"), 0);
  EXPECT_LT(CompareNamesIgnoreCase(u"1", u"10"), 0);
  EXPECT_LT(CompareNamesIgnoreCase(u"100", u"11"), 0);
  EXPECT_GT(CompareNamesIgnoreCase(u"b", u"A"), 0);
  EXPECT_EQ(CompareNamesIgnoreCase(u"Control", u"CONTROL"), 0);
  EXPECT_TRUE(NamesEqualIgnoreCase(u"\u00e9t\u00e9", u"\u00c9T\u00c9"));
  EXPECT_FALSE(NamesEqualIgnoreCase(u"abc", u"abcd"));
}

TEST(NameTextTest, LhHashMatchesDefinition) {
  EXPECT_EQ(LhNameHash(u""), 0u);
  EXPECT_EQ(LhNameHash(u"a"), 0x41u);
  EXPECT_EQ(LhNameHash(u"Ab"), 0x41u * 37 + 0x42);
  EXPECT_EQ(LhNameHash(u"software"), LhNameHash(u"SOFTWARE"));
}

TEST(NameTextTest, StoredNamesCompareInBothEncodings) {
  const uint8_t latin1[] = {'S', 'y', 0xE9};
  const uint8_t utf16[] = {'S', 0, 'y', 0, 0xE9, 0};
  EXPECT_EQ(DecodeStoredName(latin1, true), u"Sy\u00e9");
  EXPECT_EQ(DecodeStoredName(utf16, false), u"Sy\u00e9");
  EXPECT_TRUE(StoredNameEquals(latin1, true, u"SY\u00c9"));
  EXPECT_TRUE(StoredNameEquals(utf16, false, u"sY\u00c9"));
  EXPECT_FALSE(StoredNameEquals(utf16, false, u"Sy"));
  const uint8_t odd[] = {'A', 0, 'B'};
  EXPECT_EQ(DecodeStoredName(odd, false), u"A");
}

}  // namespace
}  // namespace regf
