// GETEVENTSCHANNEL, GETEVENTSID and GETEVENTSSEVERITY(DAYS) run in-process
// against the fake on its fixed clock (2022-08-10T17:28:57Z): validation, day
// counts, the documents sent, output and failure blocks byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/handlers.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::FakeEvent;

constexpr char kOneDayBack[] = "2022-08-09T17:28:57.000000000Z";
constexpr char kValidNames[] =
    "Valid names, separated by |: Critical, Error, Warning, Information, "
    "Audit Success, Audit Failure.\r\n";
constexpr char kOutOfRange[] =
    "The start of the time window falls outside the supported range, "
    "1969-12-31T12:00:00Z to 3001-01-19T21:59:59Z.\r\n";

std::string ChannelDoc(const std::string& channel, const std::string& start) {
  return "<QueryList><Query Path='" + channel +
         "'><Select>Event/System[TimeCreated[@SystemTime >= '" + start +
         "']]</Select></Query></QueryList>";
}

std::string SeverityDoc(const std::string& filter, const std::string& start) {
  return "<QueryList><Query Path='Application'><Select>Event/System[(" +
         filter + ") and TimeCreated[@SystemTime >= '" + start +
         "']]</Select></Query></QueryList>";
}

class WindowedCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_.event_log.AddPublisher(u"Test-Provider");
    fake_.system.SetErrorText(kErrorEvtChannelNotFound,
                              "The specified channel could not be found.\r\n");
  }
  void TearDown() override {
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
    EXPECT_EQ(fake_.system.outstanding_local_allocations(), 0);
  }
  const std::vector<std::string>& Queries() const {
    return fake_.event_log.queries();
  }

  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(WindowedCommandsTest, MissingOrBlankWordsAreUsageErrors) {
  EXPECT_FALSE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL"}));
  EXPECT_FALSE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", " \t "}));
  EXPECT_FALSE(RunGetEventsId({"t", "GETEVENTSID", "Security"}));
  EXPECT_FALSE(RunGetEventsId({"t", "GETEVENTSID", " ", "4624"}));
  EXPECT_FALSE(RunGetEventsId({"t", "GETEVENTSID", "Security", "\t"}));
  EXPECT_FALSE(RunGetEventsSeverity({"t", "GETEVENTSSEVERITY", "Application"}));
  EXPECT_FALSE(RunGetEventsSeverity({"t", "GETEVENTSSEVERITY", " ", "Error"}));
  EXPECT_FALSE(RunGetEventsSeverity({"t", "GETEVENTSSEVERITY", "App", "  "}));
  EXPECT_EQ(fake_.Output(), "");
  EXPECT_TRUE(Queries().empty());
}

TEST_F(WindowedCommandsTest, ChannelPrintsTheLastDaysEvents) {
  FakeEvent e;
  e.channel = u"System";
  e.event_id = 7036;
  e.time_created = 133045397371333044ull;
  e.message = u"The \"Spooler\" service entered the running state.";
  fake_.event_log.SetDefaultResult({e});
  EXPECT_TRUE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", " System ", "x"}));
  EXPECT_EQ(Queries(),
            std::vector<std::string>{ChannelDoc("System", kOneDayBack)});
  EXPECT_EQ(fake_.Output(),
            "System\tTest-Provider\t2022-08-09T17:28:57.133304400Z\t7036\t"
            "Information\tThe Spooler service entered the running state.\n");
}

TEST_F(WindowedCommandsTest, EmptyResultPrintsNothing) {
  EXPECT_TRUE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", "Application"}));
  EXPECT_TRUE(RunGetEventsId({"t", "GETEVENTSID", "Security", "4624"}));
  EXPECT_TRUE(
      RunGetEventsSeverity({"t", "GETEVENTSSEVERITY", "Application", "Error"}));
  EXPECT_EQ(fake_.Output(), "");
  EXPECT_EQ(Queries().size(), 3u);
}

TEST_F(WindowedCommandsTest, FailureBlocksCarryTheSystemText) {
  fake_.event_log.SetDefaultError(kErrorEvtChannelNotFound);
  const std::string text = "The specified channel could not be found.\r\n";
  EXPECT_TRUE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", "Nope"}));
  EXPECT_TRUE(RunGetEventsId({"t", "GETEVENTSID", "Nope", "1"}));
  EXPECT_TRUE(
      RunGetEventsSeverity({"t", "GETEVENTSSEVERITY", "Nope", "Error"}));
  EXPECT_EQ(fake_.Output(), "\nFailed to Get Events:\t" + text + "\n" +
                                "\nFailed to Get Events by Event ID:\t" + text +
                                "\n" + "\nFailed to Get Events by Severity:\t" +
                                text + "\n");
}

TEST_F(WindowedCommandsTest, IdDocumentUsesTrimmedWords) {
  EXPECT_TRUE(RunGetEventsId({"t", "GETEVENTSID", " Security\t", " 4624 "}));
  EXPECT_EQ(Queries(),
            std::vector<std::string>{
                "<QueryList><Query Path='Security'><Select>Event/"
                "System[EventID=4624 and TimeCreated[@SystemTime >= '" +
                std::string(kOneDayBack) + "']]</Select></Query></QueryList>"});
}

TEST_F(WindowedCommandsTest, SeverityDocumentAndDayCounts) {
  struct Case {
    std::vector<std::string> extra;  // the day-count word, if any
    const char* start;
  };
  const Case cases[] = {
      {{}, kOneDayBack},
      {{"7"}, "2022-08-03T17:28:57.000000000Z"},
      {{"7days"}, "2022-08-03T17:28:57.000000000Z"},
      {{" \t+3"}, "2022-08-07T17:28:57.000000000Z"},
      {{"45"}, "2022-06-26T17:28:57.000000000Z"},
      {{"-1"}, "2022-08-11T17:28:57.000000000Z"},
      {{"1", "ignored"}, kOneDayBack},
      // Past the 32-bit range the count is pinned to the limit rather than
      // wrapping to 1.
      {{"4294967297"}, nullptr},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    ArgumentList args{"t", "GETEVENTSSEVERITYDAYS", "Application",
                      "Warning|Error|Critical"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_TRUE(RunGetEventsSeverity(args));
    if (c.start == nullptr) {
      EXPECT_TRUE(fake.event_log.queries().empty());
      continue;
    }
    EXPECT_EQ(fake.event_log.queries(),
              std::vector<std::string>{
                  SeverityDoc("(Level=3) or (Level=2) or (Level=1)", c.start)})
        << (c.extra.empty() ? "(none)" : c.extra[0]);
  }
}

TEST_F(WindowedCommandsTest, DayCountWithoutValueIsAUsageError) {
  for (const char* days : {"0", "abc", "", "   ", "+", "-0", "0007x0"}) {
    const bool ran = RunGetEventsSeverity(
        {"t", "GETEVENTSSEVERITYDAYS", "Application", "Error", days});
    if (std::string(days) == "0007x0") {
      EXPECT_TRUE(ran);  // reads as 7
    } else {
      EXPECT_FALSE(ran) << "'" << days << "'";
    }
  }
  ASSERT_EQ(Queries().size(), 1u);
  EXPECT_EQ(Queries()[0],
            SeverityDoc("(Level=2)", "2022-08-03T17:28:57.000000000Z"));
}

TEST_F(WindowedCommandsTest, WindowOutsideTheConversionRangeIsReported) {
  for (const char* days :
       {"2147483647", "-2147483648", "25000", "99999999999", "-99999999999"}) {
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    EXPECT_TRUE(RunGetEventsSeverity(
        {"t", "GETEVENTSSEVERITYDAYS", "Application", "Error", days}));
    EXPECT_EQ(fake.Output(),
              std::string("\nFailed to Get Events by Severity:\t") +
                  kOutOfRange + "\n")
        << days;
    EXPECT_TRUE(fake.event_log.queries().empty());
  }
  // The one-day commands meet it only with an odd clock.
  fake_.system.SetNow(0);
  EXPECT_TRUE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", "Application"}));
  EXPECT_TRUE(RunGetEventsId({"t", "GETEVENTSID", "Security", "4624"}));
  EXPECT_EQ(fake_.Output(),
            std::string("\nFailed to Get Events:\t") + kOutOfRange + "\n" +
                "\nFailed to Get Events by Event ID:\t" + kOutOfRange + "\n");
  EXPECT_TRUE(Queries().empty());
}

TEST_F(WindowedCommandsTest, RefusedSeverityListSaysWhatWasWrong) {
  const std::string prefix = "\nFailed to Get Events by Severity:\t";
  const std::pair<const char*, std::string> cases[] = {
      {"Verbose", "The severity name \"Verbose\" is not understood. "},
      {"Error|audit  success",
       "The severity name \"audit  success\" is not understood. "},
      {"|", "The severity list holds no names. "},
      {"a|b|c|d|e|f|g|h",
       "The severity list holds 8 names; at most 7 are allowed. "},
  };
  for (const auto& [list, reason] : cases) {
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    EXPECT_TRUE(
        RunGetEventsSeverity({"t", "GETEVENTSSEVERITY", "Application", list}));
    EXPECT_EQ(fake.Output(), prefix + reason + kValidNames + "\n") << list;
    EXPECT_TRUE(fake.event_log.queries().empty());
  }
}

TEST_F(WindowedCommandsTest, FailureAfterSomeEventsPrintsOnlyTheBlock) {
  fake_.event_log.SetDefaultResult(std::vector<FakeEvent>(150));
  fake_.faults.Fail(fake::Call::kEvtNext, 2, kErrorAccessDenied);
  fake_.system.SetErrorText(kErrorAccessDenied, "Access is denied.\r\n");
  EXPECT_TRUE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", "Application"}));
  EXPECT_EQ(fake_.Output(),
            "\nFailed to Get Events:\tAccess is denied.\r\n\n");
}

TEST_F(WindowedCommandsTest, CapAppliesToWindowedCommands) {
  fake_.event_log.SetDefaultResult(std::vector<FakeEvent>(2500));
  EXPECT_TRUE(RunGetEventsChannel({"t", "GETEVENTSCHANNEL", "Application"}));
  const std::string output = fake_.Output();
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1000);
}

}  // namespace
}  // namespace qrv
