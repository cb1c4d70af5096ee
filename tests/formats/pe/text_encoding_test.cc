// Encoding conversions: the Windows-1252 upper half, surrogate pairs and
// damaged input in both directions.
#include "formats/pe/text_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pe {
namespace {

Bytes B(const std::vector<uint8_t>& v) { return Bytes(v.data(), v.size()); }

TEST(Windows1252, MapsUpperHalfAndStopsAtNul) {
  const std::vector<uint8_t> ansi = {'A', 0x80, 0x92, 0xE9, 0x81, 0x9F, 0, 'X'};
  EXPECT_EQ(Windows1252ToUtf8(B(ansi)),
            "A\xE2\x82\xAC\xE2\x80\x99\xC3\xA9\xC2\x81\xC5\xB8");
}

TEST(Windows1252, EncoderInvertsDecoderAndReplacesTheRest) {
  const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D";
  const std::vector<uint8_t> ansi = Utf8ToWindows1252(text);
  EXPECT_EQ(Windows1252ToUtf8(B(ansi)), text);
  EXPECT_EQ(Utf8ToWindows1252("\xE4\xB8\xAD"), std::vector<uint8_t>{'?'});
}

TEST(Utf16, SurrogatePairsAndLoneSurrogates) {
  // U+1F600 as a pair, then a lone high surrogate, then 'a'.
  const std::vector<uint8_t> utf16 = {0x3D, 0xD8, 0x00, 0xDE,
                                      0x3D, 0xD8, 'a',  0x00};
  EXPECT_EQ(Utf16LeToUtf8(B(utf16), false),
            "\xF0\x9F\x98\x80\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf8ToUtf16Le("\xF0\x9F\x98\x80"),
            (std::vector<uint8_t>{0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(Utf16, StopAtNulOnlyWhenAsked) {
  const std::vector<uint8_t> utf16 = {'a', 0, 0, 0, 'b', 0};
  EXPECT_EQ(Utf16LeToUtf8(B(utf16), true), "a");
  EXPECT_EQ(Utf16LeToUtf8(B(utf16), false), std::string("a\0b", 3));
}

TEST(Utf16, NulTerminatedReadReportsMissingTerminator) {
  const std::vector<uint8_t> bytes = {'x', 0, 'h', 0, 'i', 0, 0, 0, 'z', 0};
  std::string out;
  EXPECT_TRUE(Utf16LeNulTerminatedToUtf8(ByteView(B(bytes)), 2, &out));
  EXPECT_EQ(out, "hi");
  EXPECT_FALSE(Utf16LeNulTerminatedToUtf8(ByteView(B(bytes)), 8, &out));
  EXPECT_EQ(out, "z");
  EXPECT_FALSE(Utf16LeNulTerminatedToUtf8(ByteView(B(bytes)), 11, &out));
}

TEST(Utf8, SanitizeReplacesInvalidSequences) {
  const std::string bad =
      "ok\xC3"        // truncated two-byte sequence
      "\xC0\xAF"      // overlong '/'
      "\xED\xA0\x80"  // surrogate
      "\xE2\x82\xAC";
  const std::string out = SanitizeUtf8(
      Bytes(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()));
  EXPECT_EQ(out.substr(0, 2), "ok");
  EXPECT_EQ(out.substr(out.size() - 3), "\xE2\x82\xAC");
  EXPECT_EQ(out.find("\xC0"), std::string::npos);
  EXPECT_EQ(out.find("\xED\xA0"), std::string::npos);
}

}  // namespace
}  // namespace pe
