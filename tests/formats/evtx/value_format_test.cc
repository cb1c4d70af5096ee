// Value rendering edge cases the writer round trip does not reach: UTF-16
// repair, torn arrays, short values.
#include "formats/evtx/value_format.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "formats/evtx/bytes.h"
#include "formats/evtx/system_properties.h"
#include "formats/evtx/utf16_text.h"
#include "formats/utf16.h"

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

// AppendUtf16 copies plain ASCII runs in one piece; it must equal taking
// every unit through AppendCodePoint, in each escape mode.
TEST(ValueFormatTest, Utf16RunsEqualUnitByUnitConversion) {
  const uint16_t pieces[] = {'a', 'Z', ' ', '&', '<', '>', '\'', '"', 0x7F,
                             0x80, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDC00, 0};
  std::mt19937 random(3);
  for (int round = 0; round < 600; ++round) {
    std::vector<uint16_t> units;
    // Every tenth round opens with an ASCII run longer than the narrowing
    // buffer, cut at a different length each time.
    if (round % 10 == 0) units.assign(250 + round / 10, 'x');
    for (int i = 0; i < round % 12; ++i) {
      units.push_back(pieces[random() % std::size(pieces)]);
    }
    std::vector<uint8_t> le;
    for (uint16_t u : units) {
      le.push_back(static_cast<uint8_t>(u));
      le.push_back(static_cast<uint8_t>(u >> 8));
    }
    for (Escape escape : {Escape::kNone, Escape::kText, Escape::kAttribute}) {
      std::string expected = "prefix";
      for (size_t i = 0; i < units.size(); ++i) {
        bool pair = false;
        const int32_t next = i + 1 < units.size() ? units[i + 1] : -1;
        AppendCodePoint(text::Utf16CodePoint(units[i], next, &pair), escape,
                        &expected);
        if (pair) ++i;
      }
      std::string s = "prefix";
      AppendUtf16(le.data(), units.size(), escape, &s);
      EXPECT_EQ(s, expected);
    }
  }
}

// The NUL search looks at four units at a time: a NUL (or a zero byte that
// is only half a unit) at every place of a block and of the tail.
TEST(ValueFormatTest, Utf16LengthStopsAtTheFirstNulUnit) {
  for (size_t units = 0; units <= 13; ++units) {
    for (size_t nul = 0; nul <= units; ++nul) {
      std::vector<uint8_t> le;
      for (size_t i = 0; i < units; ++i) {
        // Units with a zero low or high byte are not NULs.
        const uint16_t u = i == nul ? 0 : i % 2 == 0 ? 0x4100 : 0x0041;
        le.push_back(static_cast<uint8_t>(u));
        le.push_back(static_cast<uint8_t>(u >> 8));
      }
      EXPECT_EQ(Utf16LengthToNul(le.data(), units), nul)
          << units << " units, NUL at " << nul;
    }
  }
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
