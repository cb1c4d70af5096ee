// The channel and provider name rule: its three forms (UTF-8 pair, map key,
// UTF-16 unit) agree on every pair.
#include "formats/event_names.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/utf16.h"

namespace {

bool SameByUnits(const std::string& a, const std::string& b) {
  const std::u16string x = text::Utf8ToUtf16(a);
  const std::u16string y = text::Utf8ToUtf16(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (event_names::FoldUnit(x[i]) != event_names::FoldUnit(y[i])) return false;
  }
  return true;
}

TEST(EventNamesTest, AsciiLettersIgnoreCaseEverythingElseAsIs) {
  struct Case {
    std::string a;
    std::string b;
    bool same;
  };
  const Case cases[] = {
      {"Microsoft-Windows-Kernel-General/Operational", "MICROSOFT-windows-kernel-general/operational", true},
      {"Application", "Applicatio", false},
      {"Setup", "Setup ", false},
      // Differ only in the bit that sets letter case, but are no letters.
      {"A@[", "a`{", false},
      // Letters outside ASCII keep their case (the registry would fold them).
      {"\xc3\x89v\xc3\xa9nements", "\xc3\xa9v\xc3\xa9nements", false},
      {"\xc3\x89v\xc3\xa9nements", "\xc3\x89V\xc3\xa9NEMENTS", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(event_names::Same(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(event_names::Key(c.a) == event_names::Key(c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(SameByUnits(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
}

}  // namespace
