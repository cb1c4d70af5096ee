// GETEVENTSQUERY, POLLEVENTSQUERY and the console control handler, run
// in-process against the scripted fake; output compared byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/handlers.h"
#include "platform/platform.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;
using fake::FakeEvent;

constexpr char kInvalidQueryText[] = "The specified query is invalid.\r\n";

FakeEvent Event(uint16_t id, std::u16string message) {
  FakeEvent e;
  e.event_id = id;
  e.level = 4;
  e.time_created = 133045397371333044ull;  // 2022-08-09T17:28:57.1333044Z
  e.message = std::move(message);
  return e;
}

std::string Line(const std::string& id, const std::string& message) {
  return "Application\tTest-Provider\t2022-08-09T17:28:57.133304400Z\t" + id +
         "\tInformation\t" + message + "\n";
}

// Thrown from the Sleep hook to leave the poll loop after some cycles.
struct StopPolling {};

class QueryCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_.event_log.AddPublisher(u"Test-Provider");
    fake_.system.SetErrorText(kErrorEvtInvalidQuery, kInvalidQueryText);
  }
  void TearDown() override {
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
    EXPECT_EQ(fake_.system.outstanding_local_allocations(), 0);
  }
  // Polls until the `cycles`-th cycle has done its waits.
  void PollCycles(const ArgumentList& args, int cycles) {
    fake_.system.OnSleep([this, cycles](uint32_t) {
      if (static_cast<int>(fake_.system.sleeps().size()) == 5 * cycles) {
        throw StopPolling{};
      }
    });
    EXPECT_THROW(RunPollEventsQuery(args), StopPolling);
  }

  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(QueryCommandsTest, QueryMissingOrBlankIsAUsageError) {
  EXPECT_FALSE(RunGetEventsQuery({"tool", "GETEVENTSQUERY"}));
  EXPECT_FALSE(RunGetEventsQuery({"tool", "GETEVENTSQUERY", " \t\r\n"}));
  EXPECT_EQ(fake_.Output(), "");
  EXPECT_TRUE(fake_.event_log.queries().empty());
}

TEST_F(QueryCommandsTest, PrintsEveryEventOfATrimmedQuery) {
  fake_.event_log.SetQueryResult("<QueryList/>", {Event(1, u"first \"one\""),
                                                  Event(2, u"second\r\nline")});
  EXPECT_TRUE(
      RunGetEventsQuery({"tool", "GETEVENTSQUERY", " \t<QueryList/>\r\n"}));
  EXPECT_EQ(fake_.Output(), Line("1", "first one") + Line("2", "second  line"));
  EXPECT_EQ(fake_.event_log.queries(),
            std::vector<std::string>{"<QueryList/>"});
}

TEST_F(QueryCommandsTest, NoCapOnUserQueries) {
  fake_.event_log.SetDefaultResult(
      std::vector<FakeEvent>(1500, Event(5, u"m")));
  EXPECT_TRUE(RunGetEventsQuery({"tool", "GETEVENTSQUERY", "q"}));
  std::string expected;
  for (int i = 0; i < 1500; ++i) expected += Line("5", "m");
  EXPECT_EQ(fake_.Output(), expected);
}

TEST_F(QueryCommandsTest, NoMatchesPrintsNothing) {
  EXPECT_TRUE(RunGetEventsQuery({"tool", "GETEVENTSQUERY", "q"}));
  EXPECT_EQ(fake_.Output(), "");
}

TEST_F(QueryCommandsTest, RejectedQueryPrintsTheFailureBlock) {
  fake_.event_log.SetDefaultError(kErrorEvtInvalidQuery);
  EXPECT_TRUE(RunGetEventsQuery({"tool", "GETEVENTSQUERY", "<QueryList"}));
  EXPECT_EQ(fake_.Output(),
            "\nFailed to Get Events by Query:\tThe specified query is "
            "invalid.\r\n\n");
}

TEST_F(QueryCommandsTest, FailureAfterSomeEventsPrintsOnlyTheBlock) {
  fake_.event_log.SetDefaultResult(std::vector<FakeEvent>(150, Event(5, u"m")));
  fake_.faults.Fail(Call::kEvtNext, 2, kErrorAccessDenied);
  EXPECT_TRUE(RunGetEventsQuery({"tool", "GETEVENTSQUERY", "q"}));
  // No system text for the code in the fake: the prefix alone.
  EXPECT_EQ(fake_.Output(), "\nFailed to Get Events by Query:\t\n");
}

TEST_F(QueryCommandsTest, PollRepeatsCycleTwoEmptyLinesAndFiveOneSecondWaits) {
  fake_.event_log.SetDefaultResult({Event(1, u"m")});
  PollCycles({"tool", "POLLEVENTSQUERY", " q "}, 2);
  EXPECT_EQ(fake_.Output(), Line("1", "m") + "\n\n" + Line("1", "m") + "\n\n");
  EXPECT_EQ(fake_.system.sleeps(), std::vector<uint32_t>(10, 1000));
  EXPECT_EQ(fake_.event_log.queries(), (std::vector<std::string>{"q", "q"}));
  EXPECT_EQ(fake_.system.ctrl_handler_registrations(), 1);
  EXPECT_EQ(fake_.system.ctrl_handler(), &OnConsoleControl);
  // An inherited "ignore Ctrl+C" is cleared before the handler goes in.
  using CtrlCall = fake::FakeSystem::CtrlCall;
  EXPECT_EQ(fake_.system.ctrl_calls(),
            (std::vector<CtrlCall>{{nullptr, false}, {&OnConsoleControl, true}}));
}

// Publisher metadata is opened once per cycle, never held across cycles: a
// provider missing in one cycle (or updated, or whose handle went stale) is
// asked for again by the next.
TEST_F(QueryCommandsTest, PollOpensPublisherMetadataAfreshEachCycle) {
  fake_.event_log.SetDefaultResult({Event(1, u"m"), Event(2, u"n")});
  fake_.faults.Fail(Call::kEvtOpenPublisherMetadata, 1,
                    kErrorEvtPublisherMetadataNotFound);
  PollCycles({"tool", "POLLEVENTSQUERY", "q"}, 2);
  EXPECT_EQ(fake_.Output(), Line("1", "Event message not found") +
                                Line("2", "Event message not found") + "\n\n" +
                                Line("1", "m") + Line("2", "n") + "\n\n");
  EXPECT_EQ(fake_.faults.Count(Call::kEvtOpenPublisherMetadata), 2);
}

// EvtNext waits without a timeout; Ctrl+C during that wait (the service
// delivering nothing) still ends the poll, from the handler's thread.
TEST_F(QueryCommandsTest, PollWaitingInEvtNextStillEndsOnCtrlC) {
  fake_.event_log.SetDefaultResult({Event(1, u"m")});
  fake_.event_log.OnNext([this] {
    EXPECT_EQ(fake_.event_log.next_timeouts().back(), kEvtInfiniteTimeout);
    fake_.system.ctrl_handler()(kCtrlCEvent);
  });
  try {
    RunPollEventsQuery({"tool", "POLLEVENTSQUERY", "q"});
    ADD_FAILURE() << "the poll returned";
  } catch (const fake::ProcessEnded& ended) {
    EXPECT_EQ(ended.status, 0);
  }
  OutputLock().unlock();  // taken on this thread by the handler
  EXPECT_EQ(fake_.Output(), "Application terminating\n");
  EXPECT_TRUE(fake_.system.sleeps().empty());
}

// Publisher metadata refused for any reason costs only the message of that
// provider's events, and each provider is asked once per command.
TEST_F(QueryCommandsTest, EventsOfProvidersWhoseMetadataIsRefusedAreListed) {
  fake_.event_log.AddPublisher(u"Locked").open_error = kErrorAccessDenied;
  fake_.event_log.AddPublisher(u"Unreachable").open_error = 1722;
  std::vector<FakeEvent> list = {Event(1, u"a"), Event(2, u"b"), Event(3, u"c"),
                                 Event(4, u"d")};
  list[0].provider = u"Locked";
  list[1].provider = u"Unreachable";
  list[3].provider = u"Locked";
  fake_.event_log.SetDefaultResult(list);
  EXPECT_TRUE(RunGetEventsQuery({"tool", "GETEVENTSQUERY", "q"}));
  auto line = [](const std::string& provider, const std::string& id,
                 const std::string& message) {
    return "Application\t" + provider + "\t2022-08-09T17:28:57.133304400Z\t" +
           id + "\tInformation\t" + message + "\n";
  };
  EXPECT_EQ(fake_.Output(), line("Locked", "1", "Event message not found") +
                                line("Unreachable", "2", "Event message not found") +
                                Line("3", "c") +
                                line("Locked", "4", "Event message not found"));
  EXPECT_EQ(fake_.event_log.opened_publishers(),
            (std::vector<std::string>{"Locked", "Unreachable", "Test-Provider"}));
}

TEST_F(QueryCommandsTest, PollWithoutMatchesPrintsOnlyEmptyLines) {
  PollCycles({"tool", "POLLEVENTSQUERY", "q"}, 3);
  EXPECT_EQ(fake_.Output(), "\n\n\n\n\n\n");
}

TEST_F(QueryCommandsTest, PollKeepsGoingAfterAFailedQuery) {
  fake_.event_log.SetDefaultError(kErrorEvtInvalidQuery);
  PollCycles({"tool", "POLLEVENTSQUERY", "<QueryList"}, 2);
  const std::string block =
      "\nFailed to Get Events by Query:\tThe specified query is invalid.\r\n\n";
  EXPECT_EQ(fake_.Output(), block + "\n\n" + block + "\n\n");
}

// The control handler is in place before the first query is sent.
class RegistrationWatchingLog : public fake::FakeEventLog {
 public:
  RegistrationWatchingLog(fake::FakePlatform& fake)
      : FakeEventLog(fake.system, fake.faults), system_(fake.system) {}
  EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                     const char16_t* query, uint32_t flags) override {
    registrations_at_query.push_back(system_.ctrl_handler_registrations());
    return FakeEventLog::EvtQuery(session, path, query, flags);
  }
  std::vector<int> registrations_at_query;

 private:
  fake::FakeSystem& system_;
};

TEST(PollRegistrationTest, HandlerRegisteredOnceBeforeTheFirstCycle) {
  fake::FakePlatform fake;
  RegistrationWatchingLog log(fake);
  Platform platform = fake.AsPlatform();
  platform.event_log = &log;
  ScopedPlatform scope(platform);
  fake.system.OnSleep([&fake](uint32_t) {
    if (fake.system.sleeps().size() == 15) throw StopPolling{};
  });
  EXPECT_THROW(RunPollEventsQuery({"tool", "POLLEVENTSQUERY", "q"}),
               StopPolling);
  EXPECT_EQ(log.registrations_at_query, (std::vector<int>{1, 1, 1}));
}

TEST_F(QueryCommandsTest, PollWithoutQueryRegistersNothing) {
  EXPECT_FALSE(RunPollEventsQuery({"tool", "POLLEVENTSQUERY"}));
  EXPECT_FALSE(RunPollEventsQuery({"tool", "POLLEVENTSQUERY", "  "}));
  EXPECT_EQ(fake_.system.ctrl_handler_registrations(), 0);
  EXPECT_TRUE(fake_.system.sleeps().empty());
  EXPECT_EQ(fake_.Output(), "");
}

TEST_F(QueryCommandsTest, ConsoleControlWritesFarewellAndEndsWithStatusZero) {
  fake_.output << "partial";
  int status = -1;
  try {
    OnConsoleControl(kCtrlCEvent);
    ADD_FAILURE() << "OnConsoleControl returned";
  } catch (const fake::ProcessEnded& ended) {
    status = ended.status;
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(fake_.Output(), "partialApplication terminating\n");
  // The output lock stays held, so no line of the main thread can follow.
  bool other_thread_got_lock = true;
  std::thread([&] {
    other_thread_got_lock = OutputLock().try_lock();
    if (other_thread_got_lock) OutputLock().unlock();
  }).join();
  EXPECT_FALSE(other_thread_got_lock);
  OutputLock().unlock();  // taken on this thread by the handler
}

TEST_F(QueryCommandsTest, ConsoleControlWaitsForALineInProgress) {
  std::unique_lock<std::mutex> writing(OutputLock());
  bool ended = false;
  std::thread control([&] {
    try {
      OnConsoleControl(kCtrlCloseEvent);
    } catch (const fake::ProcessEnded&) {
      ended = true;
    }
    // The handler's thread holds the lock now; give it back for later tests.
    OutputLock().unlock();
  });
  // Time for the handler to reach the lock, so that one which did not wait
  // for it would write first and fail the comparison below.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  fake_.output << "line of the main thread\n";
  writing.unlock();
  control.join();
  EXPECT_TRUE(ended);
  EXPECT_EQ(fake_.Output(),
            "line of the main thread\nApplication terminating\n");
}

}  // namespace
}  // namespace qrv
