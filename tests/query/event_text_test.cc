// CleanText and GetErrorText; the message itself is tested through
// RenderEvent (event_values_test.cc).
#include "query/event_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;

TEST(CleanTextTest, TrimsDropsQuotesAndBlanksLineBreaks) {
  fake::FakePlatform fake;
  fake::FakeScope scope(fake);
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},
      {" \t\r\n\v\fedges\f\v\n\r\t ", "edges"},
      {"say \"hi\"", "say hi"},
      {"a\r\nb", "a  b"},
      {"a\tb\nc\rd", "a b c d"},
      {"\" inner \"", " inner "},  // quotes go after the trim: spaces stay
      {"\"\"", ""},
      {"", ""},
      {"caf\xc3\xa9 \"x\"", "caf\xc3\xa9 x"},
  };
  for (const auto& [in, expected] : cases) {
    std::string text = in;
    EXPECT_EQ(CleanText(text), *expected != '\0') << in;
    EXPECT_EQ(text, expected);
  }
}

// CleanText trims and cleans in one pass and skips the code page for ASCII;
// it must equal trimming first and then walking every character.
TEST(CleanTextTest, OnePassEqualsTrimThenCharacterWalk) {
  fake::FakePlatform fake;
  fake::FakeScope scope(fake);
  const auto reference = [](const std::string& in) {
    const std::string trimmed = Trim(in);
    std::string out;
    for (size_t pos = 0, len = 0; pos < trimmed.size(); pos += len) {
      len = AnsiCharLength(trimmed.data() + pos, trimmed.size() - pos);
      const char c = trimmed[pos];
      if (len > 1 || (c != '\n' && c != '\r' && c != '\t' && c != '"')) {
        out.append(trimmed, pos, len);
      } else if (c != '"') {
        out.push_back(' ');
      }
    }
    return out;
  };
  // Long pieces make runs that span several sixteen-byte steps.
  const std::string pieces[] = {"a",    "word", " ",        "\t",      "\r\n",
                                "seventeen bytes..", "a run of 19 bytes. ",
                                "\v",   "\f",   "\"",       "\xc3\xa9", "\xe2\x82",
                                "\x80", "\xff", "\xf0\x9f\x98\x80"};
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    std::string in;
    for (int i = 0; i < round % 12; ++i) {
      in += pieces[random() % std::size(pieces)];
    }
    std::string text = in;
    const std::string expected = reference(in);
    EXPECT_EQ(CleanText(text), !expected.empty()) << in;
    EXPECT_EQ(text, expected) << in;
  }
}

TEST(GetErrorTextTest, SystemTextAsGivenOrEmpty) {
  fake::FakePlatform fake;
  fake::FakeScope scope(fake);
  fake.system.SetErrorText(kErrorEvtChannelNotFound,
                           "The specified channel could not be found.\r\n");
  EXPECT_EQ(GetErrorText(kErrorEvtChannelNotFound),
            "The specified channel could not be found.\r\n");
  EXPECT_EQ(GetErrorText(12345), "");
  fake.faults.Fail(Call::kFormatMessageA, 3, kErrorNotEnoughMemory);
  EXPECT_EQ(GetErrorText(kErrorEvtChannelNotFound), "");
  EXPECT_EQ(fake.system.outstanding_local_allocations(), 0);
}

}  // namespace
}  // namespace qrv
