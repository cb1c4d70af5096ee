#include "catalogue/all_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/record_list.h"
#include "tests/catalogue/event_log_registry.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using test::AddChannel;
using test::AddServiceLog;

std::string Whole(const std::string& channel) {
  return "<QueryList><Query Path='" + channel +
         "'><Select>*</Select></Query></QueryList>";
}

// Events told apart by their identifier.
std::vector<fake::FakeEvent> Events(std::initializer_list<uint16_t> ids) {
  std::vector<fake::FakeEvent> events;
  for (uint16_t id : ids) {
    fake::FakeEvent e;
    e.event_id = id;
    events.push_back(e);
  }
  return events;
}

class AllEventsTest : public ::testing::Test {
 protected:
  AllEventsTest() {
    // Every rendered event needs its provider's metadata.
    fake_.event_log.AddPublisher(u"Test-Provider");
  }
  void TearDown() override {
    EXPECT_EQ(fake_.registry.open_keys(), 0);
    EXPECT_TRUE(fake_.registry.violations().empty());
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
  }
  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (size_t i = 0; i < events_->GetCount(); ++i) {
      ids.emplace_back((*events_)[i].EventId);
    }
    return ids;
  }
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
  RecordListPtr<EventList> events_ = NewRecordList<EventList>();
};

TEST_F(AllEventsTest, ServiceLogsThenChannelsEachQueriedWhole) {
  AddServiceLog(fake_.registry, "Application");
  AddServiceLog(fake_.registry, "Parameters");
  AddServiceLog(fake_.registry, "System");
  AddServiceLog(fake_.registry, "STATE");
  AddChannel(fake_.registry, "Microsoft-Windows-Foo/Operational");
  AddChannel(fake_.registry, "System");  // a classic log, registered too
  fake_.event_log.SetQueryResult(Whole("Application"), Events({1}));
  fake_.event_log.SetQueryResult(Whole("System"), Events({2, 3}));
  fake_.event_log.SetQueryResult(Whole("Microsoft-Windows-Foo/Operational"),
                                 Events({4}));
  ASSERT_TRUE(GetAllEvents(*events_));
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{
                "<QueryList><Query Path='Application'><Select>*</Select>"
                "</Query></QueryList>",
                "<QueryList><Query Path='System'><Select>*</Select>"
                "</Query></QueryList>",
                "<QueryList><Query Path='Microsoft-Windows-Foo/Operational'>"
                "<Select>*</Select></Query></QueryList>",
                "<QueryList><Query Path='System'><Select>*</Select>"
                "</Query></QueryList>"}));
  EXPECT_EQ(Ids(), (std::vector<std::string>{"1", "2", "3", "4", "2", "3"}));
}

TEST_F(AllEventsTest, FirstFailingQueryEndsTheSweepKeepingEarlierEvents) {
  AddServiceLog(fake_.registry, "A");
  AddServiceLog(fake_.registry, "B");
  AddServiceLog(fake_.registry, "C");
  AddChannel(fake_.registry, "D");
  fake_.event_log.SetDefaultResult(Events({7}));
  fake_.event_log.SetQueryError(Whole("B"), kErrorEvtChannelNotFound);
  EXPECT_FALSE(GetAllEvents(*events_));
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{Whole("A"), Whole("B")}));
  EXPECT_EQ(Ids(), std::vector<std::string>{"7"});
}

TEST_F(AllEventsTest, AFailingRegisteredChannelFailsTheSweep) {
  AddServiceLog(fake_.registry, "A");
  AddChannel(fake_.registry, "D");
  AddChannel(fake_.registry, "E");
  fake_.event_log.SetDefaultResult(Events({7}));
  fake_.event_log.SetQueryError(Whole("D"), kErrorAccessDenied);
  EXPECT_FALSE(GetAllEvents(*events_));
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{Whole("A"), Whole("D")}));
}

// An enabled Analytic or Debug channel cannot be queried at all (15022): it
// is passed over wherever it comes, and only it.
TEST_F(AllEventsTest, EnabledDirectChannelsArePassedOver) {
  AddServiceLog(fake_.registry, "A");
  AddChannel(fake_.registry, "Microsoft-RMS-MSIPC/Debug");
  AddChannel(fake_.registry, "D");
  AddChannel(fake_.registry, "Other/Analytic");
  AddChannel(fake_.registry, "E");
  fake_.event_log.SetQueryResult(Whole("A"), Events({1}));
  fake_.event_log.SetQueryResult(Whole("D"), Events({2, 3}));
  fake_.event_log.SetQueryResult(Whole("E"), Events({4}));
  fake_.event_log.SetChannelError("Microsoft-RMS-MSIPC/Debug",
                                  kErrorEvtEnabledDirectChannel);
  fake_.event_log.SetChannelError("Other/Analytic",
                                  kErrorEvtEnabledDirectChannel);
  ASSERT_TRUE(GetAllEvents(*events_));
  EXPECT_EQ(Ids(), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(fake_.event_log.queries().size(), 5u);
  // Skipped channels alone do not make a sweep that found something.
  auto alone = NewRecordList<EventList>();
  fake_.event_log.SetQueryResult(Whole("A"), {});
  fake_.event_log.SetQueryResult(Whole("D"), {});
  fake_.event_log.SetQueryResult(Whole("E"), {});
  EXPECT_FALSE(GetAllEvents(*alone));
}

TEST_F(AllEventsTest, NoEventAnywhereIsAFailure) {
  AddServiceLog(fake_.registry, "A");
  AddChannel(fake_.registry, "D");
  EXPECT_FALSE(GetAllEvents(*events_));
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{Whole("A"), Whole("D")}));
}

// Regression: an empty set of service logs (say, after the classic logs
// were cleared) used to end the sweep before the registered channels.
TEST_F(AllEventsTest, ClearedServiceLogsDoNotHideTheRegisteredChannels) {
  AddServiceLog(fake_.registry, "Application");
  AddServiceLog(fake_.registry, "System");
  AddChannel(fake_.registry, "Microsoft-Windows-Foo/Operational");
  fake_.event_log.SetQueryResult(Whole("Microsoft-Windows-Foo/Operational"),
                                 Events({4, 5}));
  EXPECT_TRUE(GetAllEvents(*events_));
  EXPECT_EQ(Ids(), (std::vector<std::string>{"4", "5"}));
}

TEST_F(AllEventsTest, WithoutServiceLogsTheRegisteredChannelsAreStillSwept) {
  AddServiceLog(fake_.registry, "Parameters");
  AddChannel(fake_.registry, "D");
  fake_.event_log.SetQueryResult(Whole("D"), Events({9}));
  EXPECT_TRUE(GetAllEvents(*events_));
  EXPECT_EQ(fake_.event_log.queries(), std::vector<std::string>{Whole("D")});
  EXPECT_EQ(Ids(), std::vector<std::string>{"9"});
}

// Names come from the registry, offline from another machine: a quote in one
// must neither break the sweep's query nor let the name add a query of its
// own, and a tab, CR or LF must reach the service as itself.
TEST_F(AllEventsTest, ChannelNamesAreEscapedAsQueryText) {
  AddServiceLog(fake_.registry, "Bob's Log");
  AddServiceLog(fake_.registry, "System'/><Select Path='Security'>*</Select><Suppress Path='x");
  AddChannel(fake_.registry, "A&B <\"C\">\tD\r\nE");
  AddChannel(fake_.registry, "Microsoft-Windows-Foo/Operational");
  fake_.event_log.SetQueryResult(Whole("Bob&apos;s Log"), Events({1}));
  EXPECT_TRUE(GetAllEvents(*events_));
  EXPECT_EQ(Ids(), std::vector<std::string>{"1"});
  EXPECT_EQ(fake_.event_log.queries(),
            (std::vector<std::string>{
                Whole("Bob&apos;s Log"),
                Whole("System&apos;/&gt;&lt;Select Path=&apos;Security&apos;&gt;*&lt;/Select&gt;"
                      "&lt;Suppress Path=&apos;x"),
                Whole("A&amp;B &lt;&quot;C&quot;&gt;&#9;D&#13;&#10;E"),
                Whole("Microsoft-Windows-Foo/Operational")}));
}

TEST_F(AllEventsTest, TheSweepIsUncapped) {
  AddServiceLog(fake_.registry, "Big");
  std::vector<fake::FakeEvent> many(1500);
  fake_.event_log.SetQueryResult(Whole("Big"), many);
  EXPECT_TRUE(GetAllEvents(*events_));
  EXPECT_EQ(events_->GetCount(), 1500u);
}

TEST_F(AllEventsTest, QueryWholeChannelPassesTheCapAndTheErrorCodeThrough) {
  std::vector<fake::FakeEvent> many(1500);
  fake_.event_log.SetQueryResult(Whole("Big"), many);
  uint32_t error_code = 0;
  EXPECT_TRUE(QueryWholeChannel("Big", *events_, error_code, true));
  EXPECT_EQ(events_->GetCount(), 1000u);
  EXPECT_EQ(error_code, 0u);
  fake_.event_log.SetQueryError(Whole("Gone"), kErrorEvtChannelNotFound);
  EXPECT_FALSE(QueryWholeChannel("Gone", *events_, error_code, false));
  EXPECT_EQ(error_code, kErrorEvtChannelNotFound);
}

// The sweep with each call failing at each position in turn: no key or
// handle is left open or closed twice.
TEST(AllEventsFaultTest, EveryKeyAndHandleIsClosedWhateverCallFails) {
  using fake::Call;
  for (Call call :
       {Call::kRegOpenKeyA, Call::kRegEnumKeyA, Call::kRegCloseKey,
        Call::kEvtQuery, Call::kEvtNext, Call::kEvtClose,
        Call::kEvtCreateRenderContext, Call::kEvtRender,
        Call::kEvtOpenPublisherMetadata, Call::kEvtFormatMessage}) {
    for (int nth = 1;; ++nth) {
      fake::FakePlatform fake;
      fake::FakeScope scope(fake);
      fake.event_log.AddPublisher(u"Test-Provider");
      AddServiceLog(fake.registry, "Application");
      AddServiceLog(fake.registry, "State");
      AddServiceLog(fake.registry, "System");
      AddChannel(fake.registry, "Setup");
      fake.event_log.SetDefaultResult(Events({1, 2, 3}));
      fake.event_log.SetBatchLimit(2);
      fake.faults.Fail(call, nth, kErrorInvalidData);
      const RecordListPtr<EventList> events = NewRecordList<EventList>();
      const bool ok = GetAllEvents(*events);
      SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(call)
                                      << " fails at " << nth);
      EXPECT_EQ(fake.registry.open_keys(), 0);
      EXPECT_TRUE(fake.registry.violations().empty());
      EXPECT_EQ(fake.event_log.open_handles(), 0);
      EXPECT_TRUE(fake.event_log.violations().empty());
      if (fake.faults.Count(call) < nth) {
        EXPECT_TRUE(ok);
        EXPECT_EQ(events->GetCount(), 9u);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace qrv
