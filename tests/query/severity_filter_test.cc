// SplitList's token rules, BuildSeverityFilter's table, limits and reasons,
// and the exact document GetEventsBySeverity sends.
#include "query/severity_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/record_list.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using Kind = SeverityListProblem::Kind;

class SeverityFilterTest : public ::testing::Test {
 protected:
  std::vector<std::string> Split(const std::string& text,
                                 const std::string& separators = "|") {
    std::vector<std::string> pieces;
    const int count = SplitList(text, separators, pieces);
    EXPECT_EQ(count, static_cast<int>(pieces.size()));
    return pieces;
  }
  // The filter, or "FAIL" when refused.
  std::string Filter(const std::string& severities) {
    std::string filter;
    return BuildSeverityFilter(severities, filter) ? filter : "FAIL";
  }

  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

using Pieces = std::vector<std::string>;

TEST_F(SeverityFilterTest, SplitSkipsSeparatorRunsAndStopsAtABlankToken) {
  EXPECT_EQ(Split("Warning|Error|Critical"),
            (Pieces{"Warning", "Error", "Critical"}));
  EXPECT_EQ(Split("||Error||Warning|"), (Pieces{"Error", "Warning"}));
  EXPECT_EQ(Split(" \tError |\r\nWarning\n"), (Pieces{"Error", "Warning"}));
  EXPECT_EQ(Split("Error| |Warning"), (Pieces{"Error"}));
  EXPECT_EQ(Split(" |Error"), Pieces{});
  EXPECT_EQ(Split(""), Pieces{});
  EXPECT_EQ(Split("|||"), Pieces{});
  EXPECT_EQ(Split("a,b;c", ",;"), (Pieces{"a", "b", "c"}));
  // A multi-byte character is walked whole; its bytes never split it.
  EXPECT_EQ(Split("\xc3\xa9|x", "\xa9"), (Pieces{"\xc3\xa9|x"}));
}

TEST_F(SeverityFilterTest, SplitAppendsToWhatIsThere) {
  std::vector<std::string> pieces{"kept"};
  EXPECT_EQ(SplitList("a|b", "|", pieces), 3);
  EXPECT_EQ(pieces, (Pieces{"kept", "a", "b"}));
}

TEST_F(SeverityFilterTest, NamesMapToConditionsInInputOrder) {
  EXPECT_EQ(Filter("Warning|Error|Critical"),
            "(Level=3) or (Level=2) or (Level=1)");
  EXPECT_EQ(Filter("Audit Success|Audit Failure"),
            "(Level=0 and band(Keywords,9007199254740992)) or "
            "(Level=0 and band(Keywords,4503599627370496))");
  EXPECT_EQ(Filter("Information"), "(Level=4)");
  EXPECT_EQ(Filter("||Error||Warning|"), "(Level=2) or (Level=3)");
  EXPECT_EQ(Filter("Error| |Warning"), "(Level=2)");
  for (const char* spelling : {"error", "ERROR", "Error", " \tError\t "}) {
    EXPECT_EQ(Filter(spelling), "(Level=2)") << spelling;
  }
  EXPECT_EQ(Filter("audit FAILURE"),
            "(Level=0 and band(Keywords,4503599627370496))");
}

TEST_F(SeverityFilterTest, RefusedListsSayWhy) {
  struct Case {
    const char* list;
    Kind kind;
    int count;
    const char* name;
  };
  const Case cases[] = {
      {"|", Kind::kNoNames, 0, ""},
      {" |Error", Kind::kNoNames, 0, ""},
      {"Error|Error|Error|Error|Error|Error|Error|Error", Kind::kTooManyNames,
       8, ""},
      {"Audit  Failure", Kind::kUnknownName, 1, "Audit  Failure"},
      {"AuditFailure", Kind::kUnknownName, 1, "AuditFailure"},
      {"Error|2", Kind::kUnknownName, 2, "2"},
      {"Verbose", Kind::kUnknownName, 1, "Verbose"},
      {"Error,Warning", Kind::kUnknownName, 1, "Error,Warning"},
  };
  for (const Case& c : cases) {
    std::string filter;
    SeverityListProblem problem;
    EXPECT_FALSE(BuildSeverityFilter(c.list, filter, &problem)) << c.list;
    EXPECT_EQ(problem.kind, c.kind) << c.list;
    if (c.kind == Kind::kTooManyNames) {
      EXPECT_EQ(problem.count, c.count);
    }
    EXPECT_EQ(problem.name, c.name) << c.list;
  }
  // Seven names, repeats included, are fine.
  EXPECT_EQ(Filter("Error|Error|Error|Error|Error|Error|Warning"),
            "(Level=2) or (Level=2) or (Level=2) or (Level=2) or (Level=2) or "
            "(Level=2) or (Level=3)");
}

TEST_F(SeverityFilterTest, ReasonsEndLikeSystemTexts) {
  const std::string valid =
      "Valid names, separated by |: Critical, Error, Warning, Information, "
      "Audit Success, Audit Failure.\r\n";
  EXPECT_EQ(DescribeSeverityListProblem({Kind::kNoNames, 0, ""}),
            "The severity list holds no names. " + valid);
  EXPECT_EQ(DescribeSeverityListProblem({Kind::kTooManyNames, 8, ""}),
            "The severity list holds 8 names; at most 7 are allowed. " + valid);
  EXPECT_EQ(DescribeSeverityListProblem({Kind::kUnknownName, 1, "Verbose"}),
            "The severity name \"Verbose\" is not understood. " + valid);
  EXPECT_EQ(DescribeSeverityListProblem({}), "");
}

class SeverityQueryTest : public SeverityFilterTest {
 protected:
  RecordListPtr<EventList> events_ = NewRecordList<EventList>();
  uint32_t error_code_ = 0;
};

TEST_F(SeverityQueryTest, DocumentWrapsTheFilterWithChannelAndTime) {
  EXPECT_TRUE(GetEventsBySeverity("Application", *events_, "S",
                                  "Warning|Error|Critical", error_code_));
  ASSERT_EQ(fake_.event_log.queries().size(), 1u);
  EXPECT_EQ(
      fake_.event_log.queries()[0],
      "<QueryList><Query Path='Application'><Select>Event/System[((Level=3) "
      "or (Level=2) or (Level=1)) and TimeCreated[@SystemTime >= "
      "'S']]</Select></Query></QueryList>");
}

TEST_F(SeverityQueryTest, RefusedListRunsNoQueryAndLeavesTheCode) {
  error_code_ = 77;
  SeverityListProblem problem;
  EXPECT_FALSE(GetEventsBySeverity("Application", *events_, "S", "Verbose",
                                   error_code_, &problem));
  EXPECT_EQ(error_code_, 77u);
  EXPECT_EQ(problem.kind, Kind::kUnknownName);
  EXPECT_TRUE(fake_.event_log.queries().empty());
}

TEST_F(SeverityQueryTest, ServiceFailureComesBackWithItsCode) {
  fake_.event_log.SetDefaultError(kErrorEvtChannelNotFound);
  SeverityListProblem problem;
  EXPECT_FALSE(GetEventsBySeverity("Nope", *events_, "S", "Error", error_code_,
                                   &problem));
  EXPECT_EQ(error_code_, kErrorEvtChannelNotFound);
  EXPECT_EQ(problem.kind, Kind::kNone);
}

TEST_F(SeverityQueryTest, Capped) {
  fake_.event_log.AddPublisher(u"Test-Provider");
  fake_.event_log.SetDefaultResult(std::vector<fake::FakeEvent>(1234));
  EXPECT_TRUE(GetEventsBySeverity("Application", *events_, "S", "Information",
                                  error_code_));
  EXPECT_EQ(events_->GetCount(), 1000u);
}

}  // namespace
}  // namespace qrv
