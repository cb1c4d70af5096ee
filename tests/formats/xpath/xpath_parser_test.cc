// Tests for the XPath compiler: which texts are in the subset, which are
// refused (never silently accepted), the limits, and the System-only flag.
#include "formats/xpath/xpath_parser.h"

#include <gtest/gtest.h>

namespace xpath {
namespace {

bool Compiles(std::string_view text, std::string* error = nullptr) {
  XPathProgram program;
  std::string why;
  const bool ok = CompileXPath(text, &program, &why);
  if (error != nullptr) *error = why;
  return ok;
}

TEST(XPathParserTest, AcceptsTheSubset) {
  const char* const kGood[] = {
      "*",
      "Event",
      "Event/System",
      " Event / System [ Level = 2 ] ",
      "Event/System[TimeCreated[@SystemTime >= '2022-08-09T17:28:57.000000000Z']]",
      "Event/System[EventID=4624 and TimeCreated[@SystemTime >= '2022-08-09T17:28:57.000Z']]",
      "Event/System[((Level=3) or (Level=2) or (Level=1)) and "
      "TimeCreated[@SystemTime >= '2022-08-09T17:28:57.000Z']]",
      "Event/System[((Level=0 and band(Keywords,9007199254740992)) or "
      "(Level=0 and band(Keywords,4503599627370496)))]",
      "*[System[Provider[@Name='Microsoft-Windows-Security-Auditing'] and "
      "(EventID=4624 or EventID=4625)]]",
      "*[EventData[Data[@Name='TargetUserName']='jdoe']]",
      "*[EventData[Data=\"x\"]]",
      "*[UserData/LowOnMemory]",
      "*[System/TimeCreated[timediff(@SystemTime) <= 86400000]]",
      "*[System/TimeCreated[timediff(@SystemTime, '2025-01-01T00:00:00Z') > 0]]",
      "*[System[band(Keywords, 0x10000000000000) = 0x10000000000000]]",
      "*[System[band('0x10000000000000', Keywords)]]",
      "*[EventData/Data[2]='x']",
      "*[EventData/Data[position() >= 2]/@Name]",
      "*[EventData/Data[@Name='a'][1]]",
      "*[System/Security[@UserID='S-1-5-18']]",
      "*[System/Provider[@Guid='{54849625-5478-4994-a5ba-3e3b0328c30d}']]",
      "*[System[Level != 4 and Level <= 3 and Level < 9 and Level > 0]]",
      "*[@*]",
      "Event/System/Provider/@Name",
      "*[and/or = 'x' or and]",
      "*[System[EventID=1.5 or EventID=.5]]",
      // Top-level expressions over location paths, as custom views and
      // forwarding subscriptions write them.
      "*[System[Provider[@Name='Microsoft-Windows-Security-Auditing'] and EventID=4648]] and "
      "*[EventData[Data[@Name='ProcessName']!='C:\\Windows\\System32\\taskhost.exe']]",
      "*[System[(EventID=4662)]] and *[System[Task='14080']]",
      "*[System[Level=1]] or *[System[Level=2]]",
      "*[System[Level=1]] or *[System[Level=2]] or Event[System[Level=3]]",
      "(*[System[Level=2]])",
      "(*[System[Level=1]] and *[System[EventID=1]]) or *[EventData[Data='x']]",
      "*[System/Level=1] and (Event/System or *[UserData/*/Name='x'])",
      "*\n and\n *",
  };
  for (const char* text : kGood) {
    std::string error;
    EXPECT_TRUE(Compiles(text, &error)) << text << ": " << error;
  }
}

TEST(XPathParserTest, RefusesConstructsOutsideTheSubset) {
  const char* const kBad[] = {
      "",
      "System",                         // must start with * or Event
      "event[System]",                  // names are case-sensitive
      "/Event",                         // absolute
      "//Event",
      "*//EventID",
      "*[System/..]",
      "*[.='x']",
      "*[System | EventData]",
      "*[not(System)]",
      "*[System[not(Level=2)]]",
      "*[last()]",
      "*[count(System)=1]",
      "*[contains(System/Channel, 'x')]",
      "*[System/text()='x']",
      "*[$x]",
      "*[child::System]",
      "*[e:System]",
      "*[System/Level=1+1]",
      "*[System/Level=-1]",
      "*[System/Level=1=1]",
      "*['x'=System/Level]",
      "*[4=System/Level]",
      "*[System/Level=System/Task]",
      "*[(System/Level)=2]",
      "*[System/Level=]",
      "*[System/Level]]",
      "*[System/Level",
      "*[System[Level=2]",
      "*[System/Level='unterminated]",
      "*[System/Level=2 and]",
      "*[System/Level=2 xor System/Level=3]",
      "*[System/EventID &lt; 5]",       // entities are XML, not XPath
      "*[@Name[1]]",                    // predicates on attributes
      "*[@Name/x]",
      "*[System[2]/Level]",             // position on a non-leaf step
      "*[System[position()=1]/Level]",
      "*[System[band(Keywords)]]",
      "*[System[band(Keywords, 'abc')]]",
      "*[System[band(Keywords, 1.5)]]",
      "*[System[band(Keywords, 0x10000000000000000)]]",
      "*[System[timediff(@SystemTime)]]",
      "*[System[timediff(@SystemTime) <= 'abc']]",
      "*[System[timediff(5) < 1]]",
      "*[System[timediff('yesterday') < 1]]",
      "*[System[position()]]",
      "*[System/Provider[@Guid > '{54849625-5478-4994-a5ba-3e3b0328c30d}']]",
      "*[System/Security[@UserID < 'S-1-5-18']]",
      "*[System/Level=4624x]",
      "*[System/Level=2] extra",
      "* *",
      "*['x']",
      "*[1 and System]",
      // Top-level expressions: operands must be location paths, operator
      // words are lower case (Event Viewer refuses `OR`).
      "*[System[Level=1]] OR *[System[Level=2]]",
      "*[System[Level=1]] AND *[System[Level=2]]",
      "*[System[Level=1]] Or *[System[Level=2]]",
      "*[System[Level=1]] and",
      "and *[System[Level=1]]",
      "*[System[Level=1]] and System[Level=2]",
      "*[System[Level=1]] or 'x'",
      "*[System[Level=1]] or not(*[System[Level=2]])",
      "(*[System[Level=1]]",
      "*[System[Level=1]])",
      "()",
      "(*) = 'x'",
      "* and * *",
      "*[System[Level=1]] | *[System[Level=2]]",
  };
  for (const char* text : kBad) {
    std::string error;
    EXPECT_FALSE(Compiles(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

std::string Nested(size_t levels) {
  std::string text = "*";
  for (size_t i = 0; i < levels; ++i) text += "[(a";
  for (size_t i = 0; i < levels; ++i) text += ")]";
  return text;
}

TEST(XPathParserTest, NestingDepthIsCapped) {
  // Each level above opens a predicate and a parenthesis.
  EXPECT_TRUE(Compiles(Nested(kMaxNestingDepth / 2)));
  EXPECT_FALSE(Compiles(Nested(kMaxNestingDepth / 2 + 1)));
  std::string hostile = "*";
  for (int i = 0; i < 100'000; ++i) hostile += "[(";
  EXPECT_FALSE(Compiles(hostile));
}

TEST(XPathParserTest, TermCountIsCapped) {
  std::string text = "*[System[EventID=0";
  for (size_t i = 1; i + 1 < kMaxTermsPerSelect; ++i) text += " or EventID=" + std::to_string(i);
  // The System existence test is the last term allowed.
  EXPECT_TRUE(Compiles(text + "]]"));
  EXPECT_FALSE(Compiles(text + " or EventID=99]]"));
}

TEST(XPathParserTest, CapsCountOverTheWholeTopLevelExpression) {
  // Each `*[System[EventID=n]]` holds two terms.
  std::string paths = "*[System[EventID=0]]";
  for (size_t i = 1; i < kMaxTermsPerSelect / 2; ++i) {
    paths += (i % 2 ? " or " : " and ") + std::string("*[System[EventID=") + std::to_string(i) + "]]";
  }
  EXPECT_TRUE(Compiles(paths));
  EXPECT_FALSE(Compiles(paths + " or *[System]"));
  // A path with no term counts as one, so a long chain of them is refused.
  std::string stars = "*";
  for (size_t i = 1; i < kMaxTermsPerSelect; ++i) stars += " or *";
  EXPECT_TRUE(Compiles(stars));
  EXPECT_FALSE(Compiles(stars + " or Event"));
  // Top-level parentheses open levels like any other.
  EXPECT_TRUE(Compiles(std::string(kMaxNestingDepth, '(') + "*" + std::string(kMaxNestingDepth, ')')));
  EXPECT_FALSE(Compiles(std::string(kMaxNestingDepth + 1, '(') + "*" +
                        std::string(kMaxNestingDepth + 1, ')')));
  EXPECT_FALSE(Compiles(std::string(100'000, '(')));
}

TEST(XPathParserTest, PathStepsAndPredicatesPerStepAreCapped) {
  std::string path = "*";
  for (size_t i = 1; i < kMaxPathSteps; ++i) path += "/a";
  EXPECT_TRUE(Compiles(path));
  EXPECT_FALSE(Compiles(path + "/a"));
  std::string predicates = "*[a";
  for (size_t i = 0; i < kMaxPredicatesPerStep; ++i) predicates += "[b]";
  EXPECT_TRUE(Compiles(predicates + "]"));
  EXPECT_FALSE(Compiles(predicates + "[b]]"));
}

TEST(XPathParserTest, FlagsQueriesThatReachOutsideSystem) {
  const std::pair<const char*, bool> kCases[] = {
      {"*", true},
      {"Event/System[EventID=4624]", true},
      {"*[System[Provider[@Name='x'] and TimeCreated[timediff(@SystemTime) < 5]]]", true},
      {"*[System/Level=2 or System/Keywords]", true},
      {"*[EventData[Data='x']]", false},
      {"*[System/Level=2 and UserData/LowOnMemory]", false},
      {"*[System[band(Keywords,1)] or *[Data]]", false},
      {"Event/*", false},
      {"*[@xmlns]", false},
      {"*[System[Data]]", true},
      {"*[System[Level=1]] or Event/System[EventID=2]", true},
      {"*[System[Level=1]] and *[EventData[Data='x']]", false},
  };
  for (const auto& [text, system_only] : kCases) {
    XPathProgram program;
    std::string error;
    ASSERT_TRUE(CompileXPath(text, &program, &error)) << text << ": " << error;
    EXPECT_EQ(program.system_only, system_only) << text;
  }
}

}  // namespace
}  // namespace xpath
