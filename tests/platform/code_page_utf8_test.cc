#include "platform/code_page_utf8.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "formats/utf16.h"
#include "formats/utf8.h"
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

// The conversions count, then write into the caller's buffer, with a short
// loop for ASCII runs; they must give what converting one code point at a
// time gives. Texts are built from pieces that sit at every boundary: the
// ASCII edge, each UTF-8 length, surrogates paired, lone and cut by the end.
std::string ReferenceUtf8(const std::u16string& wide) {
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    bool pair = false;
    const int32_t next = i + 1 < wide.size() ? wide[i + 1] : -1;
    utf8::Append(text::Utf16CodePoint(wide[i], next, &pair), &out);
    if (pair) ++i;
  }
  return out;
}

std::u16string ReferenceUtf16(const std::string& bytes) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0, len = 1; i < bytes.size(); i += len) {
    const char32_t cp = utf8::Decode(p + i, bytes.size() - i, &len);
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

TEST(CodePageUtf8, TwoCallConversionsMatchCodePointByCodePoint) {
  const std::u16string wide_pieces[] = {
      u"a", u"plain ascii text ", std::u16string(1, u'\0'), u"\u007f",
      u"\u0080", u"\u07ff", u"\u0800", u"\uffff", u"\U0001F600",
      {char16_t(0xD800)}, {char16_t(0xDC00)}, {char16_t(0xDBFF), u'x'}};
  const std::string byte_pieces[] = {
      "a", "plain ascii text ", std::string(1, '\0'), "\x7f", "\xc3\xa9",
      "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x80", "\xff", "\xc0\x80",
      "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82", "\xf0\x9f"};
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    std::u16string wide;
    std::string bytes;
    const int pieces = 1 + round % 9;
    for (int i = 0; i < pieces; ++i) {
      wide += wide_pieces[random() % std::size(wide_pieces)];
      bytes += byte_pieces[random() % std::size(byte_pieces)];
    }
    EXPECT_EQ(ToUtf8(wide, static_cast<int>(wide.size())), ReferenceUtf8(wide));
    EXPECT_EQ(text::Utf16ToUtf8(wide), ReferenceUtf8(wide));
    const int n = static_cast<int>(bytes.size());
    const ConversionResult need = Utf8ToWideChar(bytes.data(), n, nullptr, 0);
    std::u16string out(static_cast<size_t>(need.length), u'?');
    EXPECT_EQ(Utf8ToWideChar(bytes.data(), n, out.data(), need.length).length,
              need.length);
    EXPECT_EQ(out, ReferenceUtf16(bytes)) << bytes;
    EXPECT_EQ(text::Utf8ToUtf16(bytes), ReferenceUtf16(bytes)) << bytes;
  }
}

}  // namespace
}  // namespace qrv
