#include "platform/text.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

class TextTest : public ::testing::Test {
 protected:
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(TextTest, TrimRemovesTheSixBlanksAtBothEndsOnly) {
  EXPECT_EQ(Trim(" \t\n\v\f\rSystem Log \r\n"), "System Log");
  EXPECT_EQ(Trim(" \t "), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("a"), "a");
}

TEST_F(TextTest, TrimKeepsMultiByteCharactersWhole) {
  // U+2028 is not one of the six blanks, and its bytes must not be taken
  // apart; a trailing space after it is removed.
  EXPECT_EQ(Trim(" \xe2\x80\xa8x\xc3\xa9 "), "\xe2\x80\xa8x\xc3\xa9");
}

TEST_F(TextTest, EqualsNoCaseComparesWholeWordsAsciiCaseInsensitively) {
  EXPECT_TRUE(EqualsNoCase("NOWARN", "nowarn"));
  EXPECT_TRUE(EqualsNoCase("getEventsQuery", "GETEVENTSQUERY"));
  EXPECT_FALSE(EqualsNoCase("NOWARN ", "NOWARN"));
  EXPECT_FALSE(EqualsNoCase("Stat", "State"));
  EXPECT_FALSE(EqualsNoCase("\xc3\xa9", "\xc3\x89"));  // only ASCII folds
  EXPECT_TRUE(EqualsNoCase("\xc3\xa9X", "\xc3\xa9x"));
}

TEST_F(TextTest, ConversionsRoundTripThroughTheCodePage) {
  EXPECT_EQ(ToWide("Caf\xc3\xa9"), u"Caf\u00e9");
  EXPECT_EQ(ToAnsi(u"Caf\u00e9"), "Caf\xc3\xa9");
  EXPECT_EQ(ToAnsi(static_cast<const char16_t*>(nullptr)), "");
  EXPECT_EQ(ToWide(""), u"");
  // argv and the registry's ANSI text are in the system code page, not the
  // thread's: every conversion names CP_ACP.
  EXPECT_EQ(fake_.system.code_pages_used(), (std::set<uint32_t>{kCpAcp}));
}

}  // namespace
}  // namespace qrv
