// Text forms back to binary and round trips through the renderer: times
// with any number of fraction digits, SIDs including authorities past 32
// bits and SIDs cut short.
#include "formats/evtx/value_parse.h"

#include <gtest/gtest.h>

#include "formats/evtx/value_format.h"

namespace evtx {
namespace {

TEST(ValueParseTest, FileTimesPrintSevenDigitsAndParseAnyPrecision) {
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

TEST(ValueParseTest, SidsWithHugeAuthorityOrMissingBytes) {
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

}  // namespace
}  // namespace evtx
