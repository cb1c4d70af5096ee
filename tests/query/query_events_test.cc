// QueryEvents against the scripted fake: the call shape (flags, batch size,
// timeout), end of results, the 1000-record cap and its batch boundaries,
// refused batches and stale results, failures from EvtQuery, EvtNext and
// rendering, and handle accounting with a fault injected at every call
// position in turn.
#include "query/query_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/two_call.h"
#include "query/record_list.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;
using fake::FakeEvent;

std::vector<FakeEvent> MakeEvents(int count, int first_id = 1) {
  std::vector<FakeEvent> events(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    events[static_cast<size_t>(i)].event_id =
        static_cast<uint16_t>(first_id + i);
  }
  return events;
}

class QueryEventsTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_.event_log.AddPublisher(u"Test-Provider"); }
  void TearDown() override {
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
  }

  // Runs a query with `error_code` preset to a marker the call must leave
  // alone unless it fails.
  bool Run(bool capped, const std::string& query = "q") {
    error_code_ = kUntouched;
    return QueryEvents(*events_, query, error_code_, capped);
  }
  std::string IdAt(size_t i) const { return std::string((*events_)[i].EventId); }

  static constexpr uint32_t kUntouched = 0xC0DE;
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
  RecordListPtr<EventList> events_ = NewRecordList<EventList>();
  uint32_t error_code_ = 0;
};

TEST_F(QueryEventsTest, OpensForwardAndFetchesBatchesOfHundredWithoutTimeout) {
  fake_.event_log.SetDefaultResult(MakeEvents(250));
  ASSERT_TRUE(Run(false, "  <QueryList/>\r\n"));
  EXPECT_EQ(error_code_, kUntouched);
  // The text reaches the service as passed, blanks and all.
  ASSERT_EQ(fake_.event_log.queries().size(), 1u);
  EXPECT_EQ(fake_.event_log.queries()[0], "  <QueryList/>\r\n");
  EXPECT_EQ(fake_.event_log.query_flags()[0], 0x101u);
  EXPECT_EQ(fake_.event_log.next_returned(),
            (std::vector<uint32_t>{100, 100, 50}));
  EXPECT_EQ(fake_.event_log.next_timeouts(),
            (std::vector<uint32_t>(4, kEvtInfiniteTimeout)));
  ASSERT_EQ(events_->GetCount(), 250u);
  EXPECT_EQ(IdAt(0), "1");
  EXPECT_EQ(IdAt(249), "250");
  EXPECT_EQ(fake_.event_log.cancels(), 0);
}

TEST_F(QueryEventsTest, BlankQueryRefusedWithoutCallingTheService) {
  EXPECT_FALSE(Run(true, ""));
  EXPECT_FALSE(Run(true, " \t\r\n\v\f"));
  EXPECT_EQ(error_code_, kUntouched);
  EXPECT_TRUE(fake_.event_log.queries().empty());
}

TEST_F(QueryEventsTest, NoMatchesIsSuccessAndLeavesTheListAlone) {
  events_->AddTail(
      std::make_unique<CZK_EL_EVT>("c", "p", "h", "t", "9", "", ""));
  EXPECT_TRUE(Run(true));
  EXPECT_EQ(error_code_, kUntouched);
  EXPECT_EQ(events_->GetCount(), 1u);
}

TEST_F(QueryEventsTest, MalformedQueryFailsWithTheServicesCode) {
  fake_.event_log.SetDefaultError(kErrorEvtInvalidQuery);
  events_->AddTail(
      std::make_unique<CZK_EL_EVT>("c", "p", "h", "t", "9", "", ""));
  EXPECT_FALSE(Run(false, "<QueryList><Query"));
  EXPECT_EQ(error_code_, kErrorEvtInvalidQuery);
  EXPECT_EQ(events_->GetCount(), 1u);
}

TEST_F(QueryEventsTest, CapKeepsTheOldestThousandOfFullBatches) {
  fake_.event_log.SetDefaultResult(MakeEvents(2500));
  EXPECT_TRUE(Run(true));
  EXPECT_EQ(error_code_, kUntouched);
  ASSERT_EQ(events_->GetCount(), 1000u);
  EXPECT_EQ(IdAt(0), "1");
  EXPECT_EQ(IdAt(999), "1000");
  EXPECT_EQ(fake_.event_log.cancels(), 1);
}

TEST_F(QueryEventsTest,
       CapReachedExactlyAtTheLastEventStopsWithoutAnotherFetch) {
  fake_.event_log.SetDefaultResult(MakeEvents(1000));
  EXPECT_TRUE(Run(true));
  EXPECT_EQ(events_->GetCount(), 1000u);
  EXPECT_EQ(fake_.event_log.next_timeouts().size(), 10u);
  EXPECT_EQ(fake_.event_log.cancels(), 1);
}

TEST_F(QueryEventsTest, CapTestedOnlyAfterWholeBatches) {
  fake_.event_log.SetDefaultResult(MakeEvents(2500));
  fake_.event_log.SetBatchLimit(30);
  EXPECT_TRUE(Run(true));
  // 33 batches give 990, the 34th takes the list to 1020.
  EXPECT_EQ(events_->GetCount(), 1020u);
  EXPECT_EQ(fake_.event_log.next_returned().size(), 34u);
}

TEST_F(QueryEventsTest, ListAlreadyAtCapStillTakesOneBatch) {
  for (int i = 0; i < 1000; ++i) {
    events_->AddTail(
        std::make_unique<CZK_EL_EVT>("c", "p", "h", "t", "0", "", ""));
  }
  fake_.event_log.SetDefaultResult(MakeEvents(500));
  EXPECT_TRUE(Run(true));
  ASSERT_EQ(events_->GetCount(), 1100u);
  EXPECT_EQ(IdAt(1000), "1");
  EXPECT_EQ(IdAt(1099), "100");
}

TEST_F(QueryEventsTest, UncappedTakesEverything) {
  fake_.event_log.SetDefaultResult(MakeEvents(2500));
  EXPECT_TRUE(Run(false));
  EXPECT_EQ(events_->GetCount(), 2500u);
  EXPECT_EQ(fake_.event_log.cancels(), 0);
}

// A refused large batch (after which the service has read past the events
// it refused) and a result set gone stale change neither the events, their
// order nor where the cap falls; each case runs capped (2500 events) and
// uncapped (250).
TEST_F(QueryEventsTest, RefusedBatchesAndStaleResultsLoseAndRepeatNothing) {
  struct Case {
    const char* name;
    uint32_t rpc_bound;                   // 0: no refused batches
    size_t stale_at;                      // 0: never stale
    std::vector<uint32_t> uncapped_returned;
    std::vector<size_t> uncapped_seeks;
  };
  const std::vector<uint32_t> quarters(10, 25);
  const Case cases[] = {
      {"bound 30", 30, 0, quarters, {0, 0}},
      {"bound 1", 1, 0, std::vector<uint32_t>(250, 1), {0, 0, 0, 0, 0, 0}},
      {"stale", 0, 130, {100, 100, 50}, {200}},
      {"both", 40, 130, quarters, {0, 0, 150}},
  };
  for (const Case& c : cases) {
    for (const bool capped : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.name << " capped " << capped);
      fake::FakePlatform fake;
      fake::FakeScope scope(fake);
      fake.event_log.AddPublisher(u"Test-Provider");
      fake.event_log.SetDefaultResult(MakeEvents(capped ? 2500 : 250));
      fake.event_log.SetRpcBound(c.rpc_bound);
      if (c.stale_at != 0) fake.event_log.SetStaleAt(c.stale_at);
      auto events = NewRecordList<EventList>();
      uint32_t error_code = kUntouched;
      EXPECT_TRUE(QueryEvents(*events, "q", error_code, capped));
      EXPECT_EQ(error_code, kUntouched);
      ASSERT_EQ(events->GetCount(), capped ? 1000u : 250u);
      for (size_t i = 0; i < events->GetCount(); ++i) {
        ASSERT_EQ((*events)[i].EventId, std::to_string(i + 1));
      }
      EXPECT_EQ(fake.event_log.queries().size(), c.stale_at != 0 ? 2u : 1u);
      if (!capped) {
        EXPECT_EQ(fake.event_log.next_returned(), c.uncapped_returned);
        EXPECT_EQ(fake.event_log.seeks(), c.uncapped_seeks);
      }
      EXPECT_EQ(fake.event_log.cancels(), capped ? 1 : 0);
      EXPECT_EQ(fake.event_log.open_handles(), 0);
      EXPECT_TRUE(fake.event_log.violations().empty());
    }
  }
}

TEST_F(QueryEventsTest, RefusedBatchAfterSmallerOnesKeepsTheCapPerHundred) {
  // The cap falls after whole batches of 100 even once the service only
  // takes 25 at a time: a list at the cap still gains exactly 100.
  for (int i = 0; i < 1000; ++i) {
    events_->AddTail(
        std::make_unique<CZK_EL_EVT>("c", "p", "h", "t", "0", "", ""));
  }
  fake_.event_log.SetDefaultResult(MakeEvents(500));
  fake_.event_log.SetRpcBound(25);
  EXPECT_TRUE(Run(true));
  ASSERT_EQ(events_->GetCount(), 1100u);
  EXPECT_EQ(IdAt(1099), "100");
  EXPECT_EQ(fake_.event_log.next_returned(),
            (std::vector<uint32_t>{25, 25, 25, 25}));
}

TEST_F(QueryEventsTest, RefusedEvenForOneEventFailsWithItsCode) {
  fake_.event_log.SetDefaultResult(MakeEvents(500));
  fake_.faults.Fail(Call::kEvtNext, 1, kRpcSInvalidBound, true);
  EXPECT_FALSE(Run(true));
  EXPECT_EQ(error_code_, kRpcSInvalidBound);
  // 100, 50, 25, 12, 6, 3, 1, each refusal but the last sought back.
  EXPECT_EQ(fake_.faults.Count(Call::kEvtNext), 7);
  EXPECT_EQ(fake_.event_log.seeks(), std::vector<size_t>(6, 0));
  EXPECT_EQ(events_->GetCount(), 0u);
}

// Where the service cannot seek, a refused batch would leave a gap: the query
// fails with the refusal's code instead, keeping nothing it read.
TEST_F(QueryEventsTest, RefusedBatchThatCannotBeSoughtBackFails) {
  fake_.event_log.SetDefaultResult(MakeEvents(500));
  fake_.event_log.SetRpcBound(30);
  fake_.faults.Fail(Call::kEvtSeek, 1, kErrorNotSupported);
  EXPECT_FALSE(Run(true));
  EXPECT_EQ(error_code_, kRpcSInvalidBound);
  EXPECT_EQ(fake_.faults.Count(Call::kEvtNext), 1);
  EXPECT_EQ(events_->GetCount(), 0u);
}

// A stale result is queried again once; staleness again, or a new query or
// seek that fails, ends the query with the stale code.
TEST_F(QueryEventsTest, StaleResultQueriedAgainOnlyOnce) {
  const struct {
    Call call;
    int nth;
  } faults[] = {{Call::kEvtNext, 4}, {Call::kEvtQuery, 2}, {Call::kEvtSeek, 1}};
  for (const auto& f : faults) {
    SCOPED_TRACE(static_cast<int>(f.call));
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    fake.event_log.AddPublisher(u"Test-Provider");
    fake.event_log.SetDefaultResult(MakeEvents(500));
    fake.faults.Fail(Call::kEvtNext, 3, kErrorEvtQueryResultStale);
    fake.faults.Fail(f.call, f.nth,
                     f.call == Call::kEvtNext ? kErrorEvtQueryResultStale
                                              : kErrorAccessDenied);
    auto events = NewRecordList<EventList>();
    uint32_t error_code = 0;
    EXPECT_FALSE(QueryEvents(*events, "q", error_code, false));
    EXPECT_EQ(error_code, kErrorEvtQueryResultStale);
    EXPECT_EQ(events->GetCount(), 200u);
    EXPECT_EQ(fake.event_log.open_handles(), 0);
    EXPECT_TRUE(fake.event_log.violations().empty());
  }
}

// A timeout is not retried either: with no timeout given, the service
// cannot answer with one.
TEST_F(QueryEventsTest, OtherEvtNextFailureEndsTheQueryAndKeepsEarlierRecords) {
  for (const uint32_t code : {kErrorAccessDenied, kErrorTimeout}) {
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    fake.event_log.AddPublisher(u"Test-Provider");
    fake.event_log.SetDefaultResult(MakeEvents(500));
    fake.faults.Fail(Call::kEvtNext, 3, code);
    auto events = NewRecordList<EventList>();
    uint32_t error_code = 0;
    EXPECT_FALSE(QueryEvents(*events, "q", error_code, true));
    EXPECT_EQ(error_code, code);
    EXPECT_EQ(events->GetCount(), 200u);
    EXPECT_EQ(fake.faults.Count(Call::kEvtNext), 3);
  }
}

TEST_F(QueryEventsTest, RenderResultTwoSkipsTheEvent) {
  fake_.event_log.SetDefaultResult(MakeEvents(3));
  fake_.faults.Fail(Call::kEvtRender, 3,
                    kErrorFileNotFound);  // event 2, sizing
  EXPECT_TRUE(Run(false));
  EXPECT_EQ(error_code_, kUntouched);
  ASSERT_EQ(events_->GetCount(), 2u);
  EXPECT_EQ(IdAt(0), "1");
  EXPECT_EQ(IdAt(1), "3");
}

// Whatever keeps a provider's metadata from opening (none registered, access
// denied, the service unreachable), its events are listed without message.
TEST_F(QueryEventsTest, EventsOfProvidersWhoseMetadataWillNotOpenAreListed) {
  std::vector<FakeEvent> list = MakeEvents(5);
  list[1].provider = u"Uninstalled-Provider";  // fake answers code 2
  const std::u16string refused[] = {u"No-Metadata", u"Locked", u"Unreachable"};
  const uint32_t codes[] = {kErrorEvtPublisherMetadataNotFound,
                            kErrorAccessDenied, 1722};
  for (size_t i = 0; i < 3; ++i) {
    list[i + 2].provider = refused[i];
    fake_.event_log.AddPublisher(refused[i]).open_error = codes[i];
  }
  fake_.event_log.SetDefaultResult(list);
  EXPECT_TRUE(Run(false));
  ASSERT_EQ(events_->GetCount(), 5u);
  EXPECT_EQ((*events_)[0].Message, "Message");
  for (size_t i = 1; i < 5; ++i) {
    EXPECT_EQ((*events_)[i].Message, "Event message not found") << i;
    EXPECT_EQ(IdAt(i), std::to_string(i + 1));
  }
}

TEST_F(QueryEventsTest, OtherRenderFailureEndsTheQueryWithItsCode) {
  fake_.event_log.SetDefaultResult(MakeEvents(150));
  // Two EvtRender calls per event: the sizing one of event 121 fails.
  fake_.faults.Fail(Call::kEvtRender, 241, kErrorAccessDenied);
  EXPECT_FALSE(Run(true));
  EXPECT_EQ(error_code_, kErrorAccessDenied);
  EXPECT_EQ(events_->GetCount(), 120u);
  // The rest of the batch is closed unrendered and no further batch fetched.
  EXPECT_EQ(fake_.event_log.next_returned(), (std::vector<uint32_t>{100, 50}));
}

// Every call position of every call the query makes fails in turn; whatever
// the outcome, every handle is closed exactly once and every system buffer
// released.
TEST(QueryEventsFaultTest, EveryHandleClosedOnceWhicheverCallFails) {
  const Call calls[] = {
      Call::kEvtQuery,
      Call::kEvtNext,
      Call::kEvtCancel,
      Call::kEvtClose,
      Call::kEvtCreateRenderContext,
      Call::kEvtRender,
      Call::kEvtOpenPublisherMetadata,
      Call::kEvtFormatMessage,
      Call::kFormatMessageA,
      Call::kFileTimeToSystemTime,
  };
  const uint32_t codes[] = {kErrorAccessDenied, kErrorFileNotFound,
                            kRpcSInvalidBound, kErrorEvtQueryResultStale};
  for (const bool capped : {false, true}) {
    for (const Call call : calls) {
      for (const uint32_t code : codes) {
        // Code 2 means more than a failure only where rendering skips an
        // event or lists it without metadata.
        if (code == kErrorFileNotFound &&
            call != Call::kEvtCreateRenderContext && call != Call::kEvtRender &&
            call != Call::kEvtOpenPublisherMetadata) {
          continue;
        }
        // EvtNext works around these, so they matter only there.
        if ((code == kRpcSInvalidBound || code == kErrorEvtQueryResultStale) &&
            call != Call::kEvtNext) {
          continue;
        }
        for (int nth = 1;; ++nth) {
          fake::FakePlatform fake;
          fake::FakeScope scope(fake);
          fake.event_log.AddPublisher(u"Test-Provider");
          fake.system.SetErrorText(kErrorAccessDenied, "Access is denied.\r\n");
          std::vector<FakeEvent> list = MakeEvents(100);
          list[3].message_error = kErrorAccessDenied;  // reaches FormatMessageA
          fake.event_log.SetDefaultResult(list);
          fake.event_log.SetBatchLimit(30);
          fake.faults.Fail(call, nth, code);
          // Capped: 950 records already there, so the cap falls after the
          // second batch of 30.
          auto events = NewRecordList<EventList>();
          for (int i = 0; capped && i < 950; ++i) {
            events->AddTail(
                std::make_unique<CZK_EL_EVT>("c", "p", "h", "t", "0", "", ""));
          }
          uint32_t error_code = 0;
          const bool ok = QueryEvents(*events, "q", error_code, capped);
          SCOPED_TRACE(::testing::Message()
                       << "call " << static_cast<int>(call) << " nth " << nth
                       << " code " << code << " capped " << capped);
          ASSERT_EQ(fake.event_log.open_handles(), 0);
          ASSERT_TRUE(fake.event_log.violations().empty())
              << fake.event_log.violations().front();
          ASSERT_EQ(fake.system.outstanding_local_allocations(), 0);
          if (!ok) {
            ASSERT_NE(error_code, 0u);
          }
          if (fake.faults.Count(call) < nth) break;  // the fault never fired
        }
      }
    }
  }
}

// The same over the workarounds: refused batches sought back and a stale
// result queried again, with each of their calls failing in turn.
TEST(QueryEventsFaultTest, EveryHandleClosedOnceWhileRecovering) {
  for (const Call call : {Call::kEvtQuery, Call::kEvtNext, Call::kEvtSeek,
                          Call::kEvtClose}) {
    for (int nth = 1;; ++nth) {
      fake::FakePlatform fake;
      fake::FakeScope scope(fake);
      fake.event_log.AddPublisher(u"Test-Provider");
      fake.event_log.SetDefaultResult(MakeEvents(120));
      fake.event_log.SetRpcBound(20);
      fake.event_log.SetStaleAt(50);
      fake.faults.Fail(call, nth, kErrorAccessDenied);
      auto events = NewRecordList<EventList>();
      uint32_t error_code = 0;
      const bool ok = QueryEvents(*events, "q", error_code, false);
      SCOPED_TRACE(::testing::Message()
                   << "call " << static_cast<int>(call) << " nth " << nth);
      ASSERT_EQ(fake.event_log.open_handles(), 0);
      ASSERT_TRUE(fake.event_log.violations().empty())
          << fake.event_log.violations().front();
      if (ok) {
        ASSERT_EQ(events->GetCount(), 120u);
      } else {
        ASSERT_NE(error_code, 0u);
      }
      if (fake.faults.Count(call) < nth) break;
    }
  }
}

TEST(QueryEventsFaultTest, AllocationFailuresLeakNothing) {
  static int fail_at;
  static int seen;
  for (fail_at = 1;; ++fail_at) {
    seen = 0;
    SetAllocationFaultHook([](size_t) { return ++seen == fail_at; });
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    fake.event_log.AddPublisher(u"Test-Provider");
    fake.event_log.SetDefaultResult(MakeEvents(5));
    auto events = NewRecordList<EventList>();
    uint32_t error_code = 0;
    const bool ok = QueryEvents(*events, "q", error_code, false);
    SetAllocationFaultHook(nullptr);
    ASSERT_EQ(fake.event_log.open_handles(), 0) << fail_at;
    ASSERT_TRUE(fake.event_log.violations().empty()) << fail_at;
    if (seen < fail_at) {
      EXPECT_TRUE(ok);
      break;
    }
    // Every other allocation is a property buffer (122 ends the query), the
    // rest message buffers (the event keeps an empty message).
    if (fail_at % 2 == 1) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(error_code, kErrorInsufficientBuffer);
    } else {
      EXPECT_TRUE(ok);
      EXPECT_EQ(events->GetCount(), 5u);
    }
  }
}

}  // namespace
}  // namespace qrv
