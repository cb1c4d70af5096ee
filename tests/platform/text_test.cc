#include "platform/text.h"

#include <gtest/gtest.h>

#include <set>

#include "formats/utf16.h"
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

TEST_F(TextTest, ConversionsSplitAtTheFirstNonAsciiCharacterAnywhere) {
  // The leading ASCII run is copied in steps and the rest goes to the code
  // page: a non-ASCII character at, just before and just after a step's
  // edge, a pair right after the run, runs with embedded NULs, and
  // ASCII after the first non-ASCII character must all convert whole. The
  // forms that write into a string are handed the same strings throughout,
  // holding the previous case's longer or shorter text.
  const std::u16string tails[] = {u"", u"\u00e9", u"\u00e9 and more ascii",
                                  u"\U0001F600x", std::u16string(3, u'\0')};
  std::string ansi_into = "left over";
  std::u16string wide_into = u"left over";
  // Every run length up to past two steps: the run is copied sixteen,
  // eight, four and one at a time, and each may be cut short.
  for (size_t run = 0; run <= 40; ++run) {
    for (const std::u16string& tail : tails) {
      std::u16string wide;
      for (size_t i = 0; i < run; ++i) wide += static_cast<char16_t>(u'a' + i % 26);
      wide += tail;
      const std::string ansi = text::Utf16ToUtf8(wide);
      EXPECT_EQ(ToAnsi(wide), ansi) << run;
      EXPECT_EQ(ToAnsi(std::u16string_view(wide).substr(0, run)),
                ansi.substr(0, run));
      EXPECT_EQ(ToWide(ansi), wide) << run;
      ToAnsi(wide, &ansi_into);
      EXPECT_EQ(ansi_into, ansi) << run;
      ToWide(ansi, &wide_into);
      EXPECT_EQ(wide_into, wide) << run;
    }
  }
}

}  // namespace
}  // namespace qrv
