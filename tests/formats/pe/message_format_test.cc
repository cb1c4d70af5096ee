// FormatMessage-style expansion: inserts, escapes, missing inserts and %%n
// parameter strings from a caller-supplied lookup.
#include "formats/pe/message_format.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace pe {
namespace {

std::string Format(std::string_view text, std::vector<std::string> inserts,
                   const ParameterLookup& parameters = nullptr) {
  return FormatMessageText(text, inserts, parameters);
}

ParameterLookup Table(std::map<uint32_t, std::string> table) {
  return [table](uint32_t id) -> std::optional<std::string> {
    const auto it = table.find(id);
    if (it == table.end()) return std::nullopt;
    return it->second;
  };
}

// The event log fails with 15029 exactly when an insert is left as written.
TEST(MessageFormat, ReportsAnInsertLeftForWantOfAValue) {
  const struct {
    const char* text;
    std::vector<std::string> inserts;
    bool unresolved;
  } cases[] = {
      {"%1 and %2", {"a"}, true},
      {"%2!s!", {"a"}, true},
      {"%1 and %1", {"a"}, false},
      {"100%% %n%t%0 %5", {}, false},  // %0 ends the text before %5
      {"plain", {}, false},
  };
  for (const auto& c : cases) {
    bool unresolved = !c.unresolved;
    FormatMessageText(c.text, c.inserts, nullptr, &unresolved);
    EXPECT_EQ(unresolved, c.unresolved) << c.text;
  }
}

TEST(MessageFormat, InsertsByNumberWithOptionalPrintfSuffix) {
  EXPECT_EQ(Format("The %1 service entered the %2 state.\r\n",
                   {"Spooler", "running"}),
            "The Spooler service entered the running state.\r\n");
  EXPECT_EQ(Format("%2!s! then %1!d!, %1", {"7", "b"}), "b then 7, 7");
  // Two digits at most: %123 is %12 followed by "3".
  std::vector<std::string> twelve(12);
  twelve[11] = "L";
  EXPECT_EQ(Format("%123", twelve), "L3");
  // A '!' with no closing '!' is not a format suffix.
  EXPECT_EQ(Format("%1!x", {"a"}), "a!x");
}

TEST(MessageFormat, EscapesAndEnd) {
  EXPECT_EQ(Format("a%%b%nc%rd%te%.f%!g% h", {}), "a%b\r\nc\rd\te.f!g h");
  EXPECT_EQ(Format("done%0 ignored %1", {"x"}), "done");
  EXPECT_EQ(Format("%q and 100%", {}), "q and 100%");
}

TEST(MessageFormat, MissingInsertsStayAsWritten) {
  EXPECT_EQ(Format("%1 and %2 and %3!d!", {"one"}), "one and %2 and %3!d!");
  EXPECT_EQ(Format("%1", {}), "%1");
}

TEST(MessageFormat, InsertsAreNotRescanned) {
  EXPECT_EQ(Format("[%1]", {"%2 %n"}), "[%2 %n]");
  EXPECT_EQ(Format("[%1]", {"%%5"}), "[%%5]");
}

TEST(MessageFormat, ParameterStringsWithoutLookupArePlainPercent) {
  EXPECT_EQ(Format("Access: %%1833", {}), "Access: %1833");
}

TEST(MessageFormat, ParameterStringsFromLookupInTextAndInserts) {
  const ParameterLookup params = Table({{1833, "Yes"}, {5, "Five"}});
  EXPECT_EQ(Format("Elevated: %%1833.", {}, params), "Elevated: Yes.");
  EXPECT_EQ(Format("Token: %1 / %2", {"%%1833", "x%%5y %%9"}, params),
            "Token: Yes / xFivey %%9");
  // Unknown ids stay visible, as Event Viewer shows them.
  EXPECT_EQ(Format("%%404 and %%%%", {}, params), "%%404 and %%");
  // Ids beyond 32 bits are never looked up.
  EXPECT_EQ(Format("%%99999999999", {}, params),
            "%%9999999999"
            "9");
}

}  // namespace
}  // namespace pe
