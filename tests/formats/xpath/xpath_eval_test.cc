// Tests for evaluating compiled XPaths on event trees: node-set rules,
// existence, positions, band(), timediff() with an injected "now", and
// robustness against damaged trees.
#include <gtest/gtest.h>

#include "event_builder.h"
#include "formats/xpath/xpath_parser.h"

namespace xpath {
namespace {

using evtx::ValueType;
using xpath_test::EventBuilder;
using xpath_test::Str;
using xpath_test::Ticks;
using xpath_test::Typed;
using xpath_test::UInt;

constexpr uint64_t kAuditSuccess = 0x8020000000000000;
constexpr uint64_t kAuditFailure = 0x8010000000000000;

bool Eval(std::string_view xpath, const evtx::EventTree& tree, uint64_t now = 0) {
  XPathProgram program;
  std::string error;
  EXPECT_TRUE(CompileXPath(xpath, &program, &error)) << xpath << ": " << error;
  return program.Matches(tree, now);
}

// A logon event with named EventData, and a classic event with unnamed Data.
class XPathEvalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const uint32_t system = logon_.System(4624, 0, kAuditSuccess,
                                          Ticks(2022, 8, 9, 17, 28, 57) + 5,
                                          "Microsoft-Windows-Security-Auditing");
    const uint32_t security = logon_.Add(system, "Security");
    logon_.Attr(security, "UserID", Typed(ValueType::kSid, "S-1-5-18"));
    const uint32_t data = logon_.Add(0, "EventData");
    const uint32_t user = logon_.Add(data, "Data", Str("jdoe"));
    logon_.Attr(user, "Name", Str("TargetUserName"));
    const uint32_t domain = logon_.Add(data, "Data", Str("CORP"));
    logon_.Attr(domain, "Name", Str("TargetDomainName"));
    const uint32_t type = logon_.Add(data, "Data", UInt(ValueType::kUInt32, 3));
    logon_.Attr(type, "Name", Str("LogonType"));

    classic_.System(7036, 4, 0x0080000000000000, Ticks(2014, 1, 1, 0, 0, 0),
                    "Service Control Manager");
    const uint32_t classic_data = classic_.Add(0, "EventData");
    classic_.Add(classic_data, "Data", Str("Windows Update"));
    classic_.Add(classic_data, "Data", Str("running"));
    classic_.Add(classic_data, "Binary", Str("D9060000"));
  }

  EventBuilder logon_;
  EventBuilder classic_;
};

TEST_F(XPathEvalTest, SystemFieldsTheToolQueries) {
  const auto& t = logon_.tree();
  EXPECT_TRUE(Eval("*", t));
  EXPECT_TRUE(Eval("Event/System", t));
  EXPECT_TRUE(Eval("Event/System[EventID=4624]", t));
  EXPECT_FALSE(Eval("Event/System[EventID=4625]", t));
  EXPECT_TRUE(Eval("Event/System[EventID='4624']", t));
  EXPECT_TRUE(Eval("Event/System[EventID>=4000 and EventID<5000]", t));
  EXPECT_TRUE(Eval("Event/System[TimeCreated[@SystemTime >= '2022-08-09T17:28:57.000000000Z']]", t));
  EXPECT_FALSE(Eval("Event/System[TimeCreated[@SystemTime >= '2022-08-09T17:28:57.0000006Z']]", t));
  EXPECT_TRUE(Eval("Event/System[EventID=4624 and TimeCreated[@SystemTime >= '2022-08-09T17:28:57Z']]", t));
  EXPECT_FALSE(Eval("Event/System[EventID=4624 and TimeCreated[@SystemTime >= '2022-08-10T00:00:00Z']]", t));
  EXPECT_TRUE(Eval("*[System[Provider[@Name='microsoft-windows-security-auditing'] and "
                   "(EventID=4624 or EventID=4625)]]", t));
  EXPECT_FALSE(Eval("*[System[Provider[@Name='Microsoft-Windows-Security'] and "
                    "(EventID=4624 or EventID=4625)]]", t));
  EXPECT_TRUE(Eval("*[System/Security[@UserID='s-1-5-18']]", t));
  EXPECT_TRUE(Eval("*[System[Channel='SECURITY']]", t));
  EXPECT_TRUE(Eval("*[System[Keywords='0x8020000000000000']]", t));
  EXPECT_TRUE(Eval("*[System[Keywords=9232379236109516800]]", t));
}

TEST_F(XPathEvalTest, LevelAndKeywordFiltersTheToolBuilds) {
  const char* kErrors = "Event/System[((Level=3) or (Level=2) or (Level=1))]";
  const char* kAudits =
      "Event/System[((Level=0 and band(Keywords,9007199254740992)) or "
      "(Level=0 and band(Keywords,4503599627370496)))]";
  EXPECT_FALSE(Eval(kErrors, logon_.tree()));
  EXPECT_FALSE(Eval(kErrors, classic_.tree()));
  EXPECT_TRUE(Eval(kAudits, logon_.tree()));
  EXPECT_FALSE(Eval(kAudits, classic_.tree()));
  EventBuilder failure;
  failure.System(4625, 0, kAuditFailure, 0, "x");
  EXPECT_TRUE(Eval(kAudits, failure.tree()));
  EXPECT_FALSE(Eval("Event/System[band(Keywords,9007199254740992)]", failure.tree()));
  EventBuilder error;
  error.System(1000, 2, 0x80000000000000, 0, "Application Error");
  EXPECT_TRUE(Eval(kErrors, error.tree()));
  EXPECT_TRUE(Eval("*[System[band(Keywords, 0x80000000000000) = 0x80000000000000]]",
                   error.tree()));
  EXPECT_FALSE(Eval("*[System[band(Keywords, 0x80000000000000) = 0]]", error.tree()));
}

TEST_F(XPathEvalTest, NodeSetComparisonsAreExistential) {
  const auto& t = logon_.tree();
  EXPECT_TRUE(Eval("*[EventData[Data[@Name='TargetUserName']='jdoe']]", t));
  EXPECT_TRUE(Eval("*[EventData[Data[@Name='TargetUserName']='JDOE']]", t));
  EXPECT_FALSE(Eval("*[EventData[Data[@Name='TargetDomainName']='jdoe']]", t));
  EXPECT_TRUE(Eval("*[EventData[Data='CORP']]", t));  // any Data item
  EXPECT_TRUE(Eval("*[EventData[Data!='jdoe']]", t));  // some other item
  EXPECT_TRUE(Eval("*[EventData[Data[@Name='LogonType']=3]]", t));
  EXPECT_TRUE(Eval("*[EventData[Data > 2]]", t));  // only LogonType is numeric
  EXPECT_FALSE(Eval("*[EventData[Data > 3]]", t));
  // Missing nodes make every comparison false, != included.
  EXPECT_FALSE(Eval("*[EventData[Data[@Name='Missing']!='x']]", t));
  EXPECT_FALSE(Eval("*[System/Opcode!=0]", t));
  EXPECT_FALSE(Eval("*[UserData/LowOnMemory]", t));
  // Elements with children have no comparable value.
  EXPECT_FALSE(Eval("*[EventData='jdoeCORP3']", t));
  EXPECT_FALSE(Eval("*[EventData!='x']", t));
}

// Each top-level path is true for an event it selects; `and` binds tighter
// than `or`, as in XPath 1.0.
TEST_F(XPathEvalTest, TopLevelPathsCombine) {
  const auto& t = logon_.tree();
  const char* const kYes = "*[System[EventID=4624]]";
  const char* const kNo = "*[System[EventID=4625]]";
  const std::pair<std::string, bool> kCases[] = {
      {std::string(kYes) + " and " + kYes, true},
      {std::string(kYes) + " and " + kNo, false},
      {std::string(kNo) + " and " + kYes, false},
      {std::string(kNo) + " or " + kYes, true},
      {std::string(kNo) + " or " + kNo, false},
      {std::string(kYes) + " or " + kNo + " and " + kNo, true},
      {"(" + std::string(kYes) + " or " + kNo + ") and " + kNo, false},
      {std::string(kNo) + " and " + kNo + " or " + kYes, true},
      {std::string(kNo) + " and (" + kNo + " or " + kYes + ")", false},
      {"(" + std::string(kYes) + ")", true},
      {"((" + std::string(kNo) + "))", false},
      {"*[System[Provider[@Name='Microsoft-Windows-Security-Auditing'] and EventID=4624]] and "
       "*[EventData[Data[@Name='TargetUserName']!='jdoe']]", false},
      {"*[System[Provider[@Name='Microsoft-Windows-Security-Auditing'] and EventID=4624]] and "
       "*[EventData[Data[@Name='TargetUserName']!='admin']]", true},
      {"Event[System/Level=0] and Event/EventData/Data[@Name='LogonType']", true},
      {"Event/UserData or *[EventData[Data='CORP']]", true},
      {"Event/UserData or Event/RenderingInfo", false},
  };
  for (const auto& [text, expected] : kCases) {
    EXPECT_EQ(Eval(text, t), expected) << text;
    EXPECT_FALSE(Eval(text, classic_.tree())) << text;
  }
}

TEST_F(XPathEvalTest, ClassicEventsHaveUnnamedData) {
  const auto& t = classic_.tree();
  EXPECT_TRUE(Eval("*[EventData[Data='running']]", t));
  EXPECT_TRUE(Eval("*[EventData/Data]", t));
  EXPECT_FALSE(Eval("*[EventData/Data/@Name]", t));
  EXPECT_FALSE(Eval("*[EventData[Data[@Name='param1']='Windows Update']]", t));
  EXPECT_TRUE(Eval("*[EventData/Binary='d9060000']", t));
}

TEST_F(XPathEvalTest, PositionsCountWithinEachStep) {
  const auto& t = classic_.tree();
  EXPECT_TRUE(Eval("*[EventData/Data[1]='Windows Update']", t));
  EXPECT_TRUE(Eval("*[EventData/Data[2]='running']", t));
  EXPECT_FALSE(Eval("*[EventData/Data[2]='Windows Update']", t));
  EXPECT_FALSE(Eval("*[EventData/Data[3]]", t));  // Binary is not a Data
  EXPECT_TRUE(Eval("*[EventData/*[3]='D9060000']", t));
  EXPECT_TRUE(Eval("*[EventData/Data[position()>1]='running']", t));
  EXPECT_FALSE(Eval("*[EventData/Data[position()>2]]", t));
  // A second predicate numbers the nodes that passed the first.
  const auto& l = logon_.tree();
  EXPECT_TRUE(Eval("*[EventData/Data[@Name!='TargetUserName'][1]='CORP']", l));
  EXPECT_TRUE(Eval("*[EventData/Data[@Name!='TargetUserName'][2]=3]", l));
  EXPECT_FALSE(Eval("*[EventData/Data[@Name!='TargetUserName'][3]]", l));
  EXPECT_TRUE(Eval("*[EventData/Data[2][@Name='TargetDomainName']]", l));
}

TEST_F(XPathEvalTest, TimediffMeasuresFromTheInjectedNow) {
  const uint64_t created = Ticks(2022, 8, 9, 17, 28, 57) + 5;
  const uint64_t day = 86'400'000ull * 10'000;
  const char* kLastDay = "*[System/TimeCreated[timediff(@SystemTime) <= 86400000]]";
  const auto& t = logon_.tree();
  EXPECT_TRUE(Eval(kLastDay, t, created + day));
  EXPECT_TRUE(Eval(kLastDay, t, created + day + 9'999));  // same millisecond
  EXPECT_FALSE(Eval(kLastDay, t, created + day + 10'000));
  EXPECT_TRUE(Eval(kLastDay, t, created - 1000 * 10'000));  // future: negative
  EXPECT_FALSE(Eval("*[System/TimeCreated[timediff(@SystemTime) >= 0]]", t,
                    created - 10'000));
  EXPECT_TRUE(Eval("*[System/TimeCreated[timediff(@SystemTime, "
                   "'2022-08-10T17:28:57Z') = 86399999]]", t));
  EXPECT_TRUE(Eval("*[System/TimeCreated[timediff('2022-08-09T17:28:56Z', "
                   "@SystemTime) = 1000]]", t));
  EXPECT_FALSE(Eval("*[System[timediff(Level) < 5]]", t, created));
}

TEST(XPathEvalRobustnessTest, DamagedAndEmptyTrees) {
  evtx::EventTree empty;
  XPathProgram program;
  std::string error;
  ASSERT_TRUE(CompileXPath("*", &program, &error));
  EXPECT_FALSE(program.Matches(empty, 0));
  EventBuilder b;
  const uint32_t system = b.System(1, 2, 0, 0, "p");
  evtx::EventTree damaged = b.tree();
  damaged.elements[system].children.push_back(999);  // past the end
  damaged.elements[system].children.push_back(0);    // a cycle back to the root
  EXPECT_TRUE(Eval("*[System/Level=2]", damaged));
  EXPECT_FALSE(Eval("*[System/Event/System/Event/System/Missing]", damaged));
  // Repeated System fields are all candidates, in document order.
  evtx::EventTree repeated = b.tree();
  evtx::Element second_id;
  second_id.name = "EventID";
  second_id.text = UInt(ValueType::kUInt16, 7);
  repeated.elements.push_back(second_id);
  repeated.elements[system].children.push_back(
      static_cast<uint32_t>(repeated.elements.size() - 1));
  EXPECT_TRUE(Eval("*[System[EventID=1]]", repeated));
  EXPECT_TRUE(Eval("*[System[EventID=7]]", repeated));
  EXPECT_TRUE(Eval("*[System/EventID[2]=7]", repeated));
  EXPECT_FALSE(Eval("*[System/EventID[1]=7]", repeated));
  EXPECT_FALSE(Eval("*[System/EventID[3]]", repeated));
  EXPECT_FALSE(Eval("*[System[Task or Opcode]]", repeated));
  // A root that is not <Event> is selected by * only.
  evtx::EventTree other = b.tree();
  other.elements[0].name = "Other";
  EXPECT_TRUE(Eval("*[System/Level=2]", other));
  EXPECT_FALSE(Eval("Event[System/Level=2]", other));
}

}  // namespace
}  // namespace xpath
