// FormatWindowStart on the fake's fixed clock, including the edges of the UTC
// conversion range, and the exact documents of the channel and event-id
// queries.
#include "query/time_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "query/record_list.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

constexpr int64_t k20220810T172857 = 1660152537;
constexpr int64_t k20220330T010000 = 1648602000;

class TimeWindowTest : public ::testing::Test {
 protected:
  // The result code FormatWindowStart raises for `days`, 0 if it returns.
  uint32_t RaisedCode(int32_t days) {
    try {
      FormatWindowStart(days);
    } catch (const ResultCodeError& e) {
      return e.result_code();
    }
    return 0;
  }

  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(TimeWindowTest, WholeDaysBackFromNowInUtc) {
  fake_.system.SetNow(k20220810T172857);
  EXPECT_EQ(FormatWindowStart(1), "2022-08-09T17:28:57.000000000Z");
  EXPECT_EQ(FormatWindowStart(0), "2022-08-10T17:28:57.000000000Z");
  EXPECT_EQ(FormatWindowStart(-1), "2022-08-11T17:28:57.000000000Z");
  EXPECT_EQ(FormatWindowStart(7), "2022-08-03T17:28:57.000000000Z");
  // Multiples of 86400 seconds: no calendar-month adjustment.
  fake_.system.SetNow(k20220330T010000);
  EXPECT_EQ(FormatWindowStart(30), "2022-02-28T01:00:00.000000000Z");
}

TEST_F(TimeWindowTest, ConversionRangeEdges) {
  fake_.system.SetNow(kEarliestWindowStart);
  EXPECT_EQ(FormatWindowStart(0), "1969-12-31T12:00:00.000000000Z");
  EXPECT_EQ(RaisedCode(1), kEInvalidArg);
  fake_.system.SetNow(kEarliestWindowStart - 1);
  EXPECT_EQ(RaisedCode(0), kEInvalidArg);
  fake_.system.SetNow(kLatestWindowStart);
  EXPECT_EQ(FormatWindowStart(0), "3001-01-19T21:59:59.000000000Z");
  fake_.system.SetNow(kLatestWindowStart + 1);
  EXPECT_EQ(RaisedCode(0), kEInvalidArg);
  fake_.system.SetNow(0);
  EXPECT_EQ(FormatWindowStart(0), "1970-01-01T00:00:00.000000000Z");
}

TEST_F(TimeWindowTest, ExtremeDayCountsRaiseWithoutOverflow) {
  fake_.system.SetNow(k20220810T172857);
  EXPECT_EQ(RaisedCode(25000), kEInvalidArg);  // 1953
  EXPECT_EQ(RaisedCode(std::numeric_limits<int32_t>::max()), kEInvalidArg);
  EXPECT_EQ(RaisedCode(std::numeric_limits<int32_t>::min()), kEInvalidArg);
  // 357,000 days ahead is still before 3001-01-19T22:00Z, 358,000 are not.
  EXPECT_EQ(RaisedCode(-357000), 0u);
  EXPECT_EQ(RaisedCode(-358000), kEInvalidArg);
}

class WindowQueryTest : public TimeWindowTest {
 protected:
  void SetUp() override { fake_.event_log.AddPublisher(u"Test-Provider"); }
  void TearDown() override {
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
  }
  RecordListPtr<EventList> events_ = NewRecordList<EventList>();
  uint32_t error_code_ = 0;
};

TEST_F(WindowQueryTest, ChannelDocumentExactlyAsBuilt) {
  EXPECT_TRUE(GetEventsByChannel("Application", *events_, "S", error_code_));
  EXPECT_TRUE(GetEventsByChannel("Microsoft-Windows-PowerShell/Operational",
                                 *events_, "2022-08-09T17:28:57.000000000Z",
                                 error_code_));
  EXPECT_EQ(error_code_, 0u);
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{
                "<QueryList><Query Path='Application'><Select>Event/System["
                "TimeCreated[@SystemTime >= 'S']]</Select></Query></QueryList>",
                "<QueryList><Query "
                "Path='Microsoft-Windows-PowerShell/Operational'><Select>Event/"
                "System[TimeCreated[@SystemTime >= "
                "'2022-08-09T17:28:57.000000000Z']]</Select></Query></"
                "QueryList>"}));
}

TEST_F(WindowQueryTest, IdDocumentInsertsTheIdentifierBare) {
  EXPECT_TRUE(GetEventsById("Security", *events_, "S", "4624", error_code_));
  EXPECT_TRUE(
      GetEventsById("Security", *events_, "S", "EventID=4625", error_code_));
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{
                "<QueryList><Query Path='Security'><Select>Event/"
                "System[EventID=4624 and TimeCreated[@SystemTime >= "
                "'S']]</Select></Query></QueryList>",
                "<QueryList><Query Path='Security'><Select>Event/"
                "System[EventID=EventID=4625 and TimeCreated[@SystemTime >= "
                "'S']]</Select></Query></QueryList>"}));
}

TEST_F(WindowQueryTest, RejectedDocumentFailsWithTheServicesCode) {
  fake_.event_log.SetDefaultError(kErrorEvtMalformedXmlText);
  EXPECT_FALSE(GetEventsByChannel("O'Brien", *events_, "S", error_code_));
  EXPECT_EQ(error_code_, kErrorEvtMalformedXmlText);
  EXPECT_EQ(fake_.event_log.queries().at(0),
            "<QueryList><Query Path='O'Brien'><Select>Event/System[TimeCreated["
            "@SystemTime >= 'S']]</Select></Query></QueryList>");
  error_code_ = 0;
  EXPECT_FALSE(GetEventsById("Security", *events_, "S", "abc", error_code_));
  EXPECT_EQ(error_code_, kErrorEvtMalformedXmlText);
}

TEST_F(WindowQueryTest, BothQueriesAreCapped) {
  fake_.event_log.SetDefaultResult(std::vector<fake::FakeEvent>(1500));
  EXPECT_TRUE(GetEventsByChannel("Application", *events_, "S", error_code_));
  EXPECT_EQ(events_->GetCount(), 1000u);
  auto by_id = NewRecordList<EventList>();
  EXPECT_TRUE(GetEventsById("Application", *by_id, "S", "1", error_code_));
  EXPECT_EQ(by_id->GetCount(), 1000u);
}

}  // namespace
}  // namespace qrv
