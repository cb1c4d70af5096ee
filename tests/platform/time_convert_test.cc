#include "platform/time_convert.h"

#include <gtest/gtest.h>

namespace qrv {
namespace {

TEST(ConvertFileTimeToSystemTime, KnownInstants) {
  SystemTime t;
  ASSERT_TRUE(ConvertFileTimeToSystemTime(0, &t));
  EXPECT_EQ(t.year, 1601);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.day_of_week, 1);  // a Monday

  ASSERT_TRUE(ConvertFileTimeToSystemTime(
      kUnixEpochTicks + 1660152537ull * kTicksPerSecond + 1333044, &t));
  EXPECT_EQ(t.year, 2022);
  EXPECT_EQ(t.month, 8);
  EXPECT_EQ(t.day, 10);
  EXPECT_EQ(t.hour, 17);
  EXPECT_EQ(t.minute, 28);
  EXPECT_EQ(t.second, 57);
  EXPECT_EQ(t.milliseconds, 133);

  // 2000-02-29 exists (a leap day in a century divisible by 400).
  ASSERT_TRUE(ConvertFileTimeToSystemTime(
      kUnixEpochTicks + 951782400ull * kTicksPerSecond, &t));
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 29);
}

TEST(ConvertFileTimeToSystemTime, LargestAcceptedAndFirstRefusedValue) {
  SystemTime t;
  ASSERT_TRUE(ConvertFileTimeToSystemTime(0x7FFFFFFFFFFFFFFFull, &t));
  EXPECT_EQ(t.year, 30828);
  EXPECT_EQ(t.month, 9);
  EXPECT_EQ(t.day, 14);
  EXPECT_FALSE(ConvertFileTimeToSystemTime(0x8000000000000000ull, &t));
}

}  // namespace
}  // namespace qrv
