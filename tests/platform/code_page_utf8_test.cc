#include "platform/code_page_utf8.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32_types.h"

namespace qrv {
namespace {

std::string ToUtf8(const std::u16string& s, int length) {
  const ConversionResult need = WideCharToUtf8(s.c_str(), length, nullptr, 0);
  std::string out(static_cast<size_t>(need.length), '\0');
  const ConversionResult done =
      WideCharToUtf8(s.c_str(), length, out.data(), need.length);
  EXPECT_EQ(done.length, need.length);
  return out;
}

TEST(WideCharToUtf8, SizesThenConvertsIncludingTerminatorWhenLengthIsMinusOne) {
  const std::u16string text = u"Gr\u00fc\u00dfe \u20ac";
  EXPECT_EQ(ToUtf8(text, -1), std::string("Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac", 11) + '\0');
  EXPECT_EQ(ToUtf8(text, static_cast<int>(text.size())),
            "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac");
}

TEST(WideCharToUtf8, SurrogatePairsAndUnpairedSurrogates) {
  const std::u16string pair = u"\U0001F600";
  EXPECT_EQ(ToUtf8(pair, 2), "\xf0\x9f\x98\x80");
  const std::u16string lone = {char16_t(0xD800), u'a'};
  EXPECT_EQ(ToUtf8(lone, 2), "\xef\xbf\xbd" "a");
}

TEST(WideCharToUtf8, TooSmallBufferFailsWithInsufficientBuffer) {
  char out[2];
  const ConversionResult r = WideCharToUtf8(u"abc", 3, out, 2);
  EXPECT_EQ(r.length, 0);
  EXPECT_EQ(r.error, kErrorInsufficientBuffer);
  EXPECT_EQ(WideCharToUtf8(u"abc", 0, out, 2).error, kErrorInvalidParameter);
}

TEST(Utf8ToWideChar, InvalidBytesBecomeReplacementCharacters) {
  // A stray byte, a lead byte without its continuation, and a sequence cut
  // by the end each give one U+FFFD.
  const char text[] = "a\xff\xc3(b\xe2\x82";
  char16_t out[16];
  const ConversionResult r = Utf8ToWideChar(text, 7, out, 16);
  ASSERT_EQ(r.length, 6);
  EXPECT_EQ(std::u16string(out, 6), u"a\uFFFD\uFFFD(b\uFFFD");
}

TEST(Utf8ToWideChar, FourByteSequenceGivesSurrogatePair) {
  char16_t out[4];
  const ConversionResult r = Utf8ToWideChar("\xf0\x9f\x98\x80", -1, out, 4);
  ASSERT_EQ(r.length, 3);
  EXPECT_EQ(out[0], 0xD83D);
  EXPECT_EQ(out[1], 0xDE00);
  EXPECT_EQ(out[2], 0);
}

TEST(Utf8CharLength, CountsWholeSequencesAndNeverPassesTheEnd) {
  EXPECT_EQ(Utf8CharLength("a", 1), 1u);
  EXPECT_EQ(Utf8CharLength("\xc3\xbc", 2), 2u);
  EXPECT_EQ(Utf8CharLength("\xe2\x82\xac", 3), 3u);
  EXPECT_EQ(Utf8CharLength("\xe2\x82\xac", 2), 2u);  // cut sequence
  EXPECT_EQ(Utf8CharLength("\x80", 1), 1u);
  EXPECT_EQ(Utf8CharLength("", 0), 0u);
}

}  // namespace
}  // namespace qrv
