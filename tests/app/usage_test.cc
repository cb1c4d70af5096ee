// PrintUsage: the exact bytes of the usage text.
#include "app/usage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/app/expected_usage.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

TEST(UsageTest, PrintsTheThirtySixLinesByteForByte) {
  fake::FakePlatform fake;
  fake::FakeScope scope(fake);
  PrintUsage();
  EXPECT_EQ(fake.Output(), ExpectedUsage());
  const std::string out = fake.Output();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 36);
  EXPECT_EQ(out.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace qrv
