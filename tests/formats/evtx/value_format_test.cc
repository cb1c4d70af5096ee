// Value rendering edge cases the writer round trip does not reach: time
// limits and text forms, odd SIDs, UTF-16 repair, torn arrays, short values.
#include "formats/evtx/value_format.h"

#include <gtest/gtest.h>

#include "formats/evtx/bytes.h"
#include "formats/evtx/system_properties.h"
#include "formats/evtx/value_parse.h"

namespace evtx {
namespace {

std::vector<uint8_t> Le16(std::initializer_list<uint16_t> units) {
  std::vector<uint8_t> out;
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

TEST(ValueFormatTest, FileTimesPrintSevenDigitsAndParseAnyPrecision) {
  std::string s;
  AppendFileTime(0, &s);
  EXPECT_EQ(s, "1601-01-01T00:00:00.0000000Z");
  uint64_t ticks = 0;
  ASSERT_TRUE(ParseFileTimeText("2021-04-27T15:03:16.983Z", &ticks));
  s.clear();
  AppendFileTime(ticks, &s);
  EXPECT_EQ(s, "2021-04-27T15:03:16.9830000Z");
  ASSERT_TRUE(ParseFileTimeText("2021-12-16T10:19:08.502468900Z", &ticks));
  s.clear();
  AppendFileTime(ticks, &s);
  EXPECT_EQ(s, "2021-12-16T10:19:08.5024689Z");
  ASSERT_TRUE(ParseFileTimeText("2000-02-29T00:00:00Z", &ticks));
  for (const char* bad :
       {"2021-04-27 15:03:16Z", "2021-13-01T00:00:00Z", "2021-04-27T15:03:16",
        "1600-01-01T00:00:00Z", "2021-04-27T15:03:16.9x3Z", ""}) {
    EXPECT_FALSE(ParseFileTimeText(bad, &ticks)) << bad;
  }
}

TEST(ValueFormatTest, SidsWithHugeAuthorityOrMissingBytes) {
  const uint8_t huge[] = {1, 1, 0x01, 0, 0, 0, 0, 5, 7, 0, 0, 0};
  std::string s;
  ASSERT_TRUE(AppendSid(huge, sizeof(huge), &s));
  EXPECT_EQ(s, "S-1-0x010000000005-7");
  const uint8_t torn[] = {1, 2, 0,  0, 0, 0,
                          0, 5, 18, 0, 0, 0};  // says 2 parts, has 1
  s.clear();
  EXPECT_FALSE(AppendSid(torn, sizeof(torn), &s));
  EXPECT_TRUE(s.empty());
  std::vector<uint8_t> sid;
  ASSERT_TRUE(ParseSidText("S-1-5-21-1-2-3-500", &sid));
  s.clear();
  ASSERT_TRUE(AppendSid(sid.data(), sid.size(), &s));
  EXPECT_EQ(s, "S-1-5-21-1-2-3-500");
  EXPECT_FALSE(ParseSidText("S-1", &sid));
  EXPECT_FALSE(ParseSidText("X-1-5", &sid));
}

TEST(ValueFormatTest, Utf16IsRepairedAndEscapedPerContext) {
  const auto text = Le16({'<', 0xD83D, 0xDE00, 0xDC00, '\'', 0xD800});
  std::string s;
  AppendUtf16(text.data(), 6, Escape::kText, &s);
  EXPECT_EQ(s, "&lt;\xF0\x9F\x98\x80\xEF\xBF\xBD'\xEF\xBF\xBD");
  s.clear();
  AppendUtf16(text.data(), 6, Escape::kAttribute, &s);
  EXPECT_EQ(s, "&lt;\xF0\x9F\x98\x80\xEF\xBF\xBD&apos;\xEF\xBF\xBD");
  const auto with_nul = Le16({'a', 'b', 0, 'c'});
  s.clear();
  AppendValueText(static_cast<uint8_t>(ValueType::kString), with_nul.data(),
                  with_nul.size(), Escape::kNone, &s);
  EXPECT_EQ(s, "ab");
  const Utf16Ref ref{with_nul.data(), 2};
  EXPECT_EQ(ref.ToU16(), u"ab");
  EXPECT_EQ(ref.ToUtf8(), "ab");
}

TEST(ValueFormatTest, ArrayItemsStopAtTornData) {
  const uint8_t u32s[] = {1, 0, 0, 0, 2,
                          0, 0, 0, 3, 0};  // two and a half items
  const uint8_t* pos = u32s;
  const uint8_t* item;
  size_t size;
  int n = 0;
  while (NextArrayItem(static_cast<uint8_t>(ValueType::kUInt32), &pos,
                       u32s + sizeof(u32s), &item, &size))
    ++n;
  EXPECT_EQ(n, 2);
  const uint8_t sids[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0,
                          0, 0, 1, 0, 0, 0, 0, 0, 0,  1};
  pos = sids;
  std::vector<std::string> seen;
  while (NextArrayItem(static_cast<uint8_t>(ValueType::kSid), &pos,
                       sids + sizeof(sids), &item, &size)) {
    std::string s;
    AppendSid(item, size, &s);
    seen.push_back(s);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"S-1-5-18", "S-1-1"}));
  const auto strings = Le16({'a', 0, 'b', 'c'});  // last item unterminated
  pos = strings.data();
  seen.clear();
  while (NextArrayItem(static_cast<uint8_t>(ValueType::kString), &pos,
                       strings.data() + strings.size(), &item, &size)) {
    std::string s;
    AppendUtf16(item, size / 2, Escape::kNone, &s);
    seen.push_back(s);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "bc"}));
}

TEST(ValueFormatTest, ShortValuesRenderNothingAndSizedTypesAdapt) {
  const uint8_t two[] = {0xFF, 0xFF};
  std::string s;
  AppendValueText(static_cast<uint8_t>(ValueType::kUInt32), two, 2,
                  Escape::kNone, &s);
  AppendValueText(static_cast<uint8_t>(ValueType::kFileTime), two, 2,
                  Escape::kNone, &s);
  AppendValueText(static_cast<uint8_t>(ValueType::kGuid), two, 2, Escape::kNone,
                  &s);
  EXPECT_EQ(s, "");
  uint64_t v = 0;
  EXPECT_FALSE(
      ValueAsUnsigned(static_cast<uint8_t>(ValueType::kUInt32), two, 2, &v));
  // SizeT is 4 bytes in 32-bit logs, Bool sometimes 1 byte.
  const uint8_t four[] = {0x10, 0x20, 0, 0};
  AppendValueText(static_cast<uint8_t>(ValueType::kSizeT), four, 4,
                  Escape::kNone, &s);
  EXPECT_EQ(s, "0x2010");
  const uint8_t one[] = {1};
  ASSERT_TRUE(
      ValueAsUnsigned(static_cast<uint8_t>(ValueType::kBool), one, 1, &v));
  EXPECT_EQ(v, 1u);
  const uint8_t minus_two[] = {0xFE};
  ASSERT_TRUE(ValueAsUnsigned(static_cast<uint8_t>(ValueType::kInt8), minus_two,
                              1, &v));
  EXPECT_EQ(static_cast<int64_t>(v), -2);
}

}  // namespace
}  // namespace evtx
