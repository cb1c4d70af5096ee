// Tests for the query time literal: grammar, calendar arithmetic checked
// against a day-by-day count, and 100 ns precision.
#include "formats/xpath/time_literal.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "event_builder.h"

namespace xpath {
namespace {

using xpath_test::Ticks;

TEST(TimeLiteralTest, ConvertsToFileTimeTicks) {
  EXPECT_EQ(ParseTimeLiteral("1601-01-01T00:00:00Z"), 0u);
  EXPECT_EQ(ParseTimeLiteral("1970-01-01T00:00:00Z"), 116444736000000000u);
  EXPECT_EQ(ParseTimeLiteral("2000-01-01T00:00:00.000Z"), 125911584000000000u);
  EXPECT_EQ(ParseTimeLiteral("2022-08-09T17:28:57.000000000Z"),
            Ticks(2022, 8, 9, 17, 28, 57));
  EXPECT_EQ(ParseTimeLiteral("2024-02-29T23:59:59Z"), Ticks(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(ParseTimeLiteral("2100-03-01T00:00:00Z"), Ticks(2100, 3, 1, 0, 0, 0));
  // Every year boundary over four centuries, leap rules included.
  for (int year = 1601; year < 2401; ++year) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-12-31T12:00:00Z", year);
    ASSERT_EQ(ParseTimeLiteral(text), Ticks(year, 12, 31, 12, 0, 0)) << text;
  }
}

TEST(TimeLiteralTest, FractionKeepsHundredNanosecondPrecision) {
  const uint64_t base = Ticks(2025, 1, 7, 21, 42, 44);
  EXPECT_EQ(ParseTimeLiteral("2025-01-07T21:42:44.5Z"), base + 5'000'000);
  EXPECT_EQ(ParseTimeLiteral("2025-01-07T21:42:44.999Z"), base + 9'990'000);
  EXPECT_EQ(ParseTimeLiteral("2025-01-07T21:42:44.5217753Z"), base + 5'217'753);
  EXPECT_EQ(ParseTimeLiteral("2025-01-07T21:42:44.521775399Z"), base + 5'217'753);
  EXPECT_EQ(ParseTimeLiteral("2025-01-07T21:42:44.Z"), base);
}

TEST(TimeLiteralTest, RefusesTextOutsideTheGrammar) {
  const char* const kBad[] = {
      "2025-01-07T21:42:44",            "2025-01-07 21:42:44Z",
      "2025-1-07T21:42:44Z",            "2025-01-07T21:42:44.1234567890Z",
      "2025-13-01T00:00:00Z",           "2025-00-01T00:00:00Z",
      "2025-02-29T00:00:00Z",           "2100-02-29T00:00:00Z",
      "2025-01-32T00:00:00Z",           "2025-01-07T24:00:00Z",
      "2025-01-07T23:60:00Z",           "2025-01-07T23:59:60Z",
      "1600-12-31T23:59:59Z",           "2025-01-07T21:42:44Zx",
      "2025-01-07T21:42:44+01:00",      "",
  };
  for (const char* text : kBad) EXPECT_FALSE(ParseTimeLiteral(text)) << text;
}

}  // namespace
}  // namespace xpath
