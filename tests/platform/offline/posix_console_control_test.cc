// Console control events off Windows: each signal reaches the registered
// handler as its event, on a thread other than the one that registered it;
// unregistered or refused events keep the signal's default action.
#include "platform/offline/posix_console_control.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/offline/posix_system.h"

namespace qrv {
namespace {

struct Delivery {
  std::string handler;
  uint32_t event;
  std::thread::id thread;
};

// What the handlers below were called with; they run on the watcher thread.
struct Deliveries {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<Delivery> seen;
  bool earlier_takes = true;  // what EarlierHandler returns
  bool later_takes = true;    // what LaterHandler returns

  void Add(const char* name, uint32_t event) {
    std::lock_guard<std::mutex> guard(lock);
    seen.push_back({name, event, std::this_thread::get_id()});
    arrived.notify_all();
  }
  // Waits for the count of deliveries to reach `count`.
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    return arrived.wait_for(guard, std::chrono::seconds(10),
                            [&] { return seen.size() >= count; });
  }
  void Reset(bool earlier, bool later) {
    std::lock_guard<std::mutex> guard(lock);
    seen.clear();
    earlier_takes = earlier;
    later_takes = later;
  }
};
Deliveries deliveries;

bool EarlierHandler(uint32_t event) {
  deliveries.Add("earlier", event);
  std::lock_guard<std::mutex> guard(deliveries.lock);
  return deliveries.earlier_takes;
}
bool LaterHandler(uint32_t event) {
  deliveries.Add("later", event);
  std::lock_guard<std::mutex> guard(deliveries.lock);
  return deliveries.later_takes;
}
bool RefusingHandler(uint32_t) { return false; }

TEST(PosixConsoleControlTest, SignalsStandForTheirConsoleEvents) {
  EXPECT_EQ(CtrlEventForSignal(SIGINT), kCtrlCEvent);
  EXPECT_EQ(CtrlEventForSignal(SIGQUIT), kCtrlBreakEvent);
  EXPECT_EQ(CtrlEventForSignal(SIGHUP), kCtrlCloseEvent);
  EXPECT_EQ(CtrlEventForSignal(SIGTERM), kCtrlShutdownEvent);
}

// One test for the whole life of the registration, since it is process-wide
// and cannot be undone: registration, each signal, handler order, removal.
TEST(PosixConsoleControlTest, HandlersGetTheEventsOnAThreadOfTheirOwn) {
  PosixSystem system;
  deliveries.Reset(true, true);
  ASSERT_TRUE(system.SetConsoleCtrlHandler(EarlierHandler, true));
  ASSERT_TRUE(system.SetConsoleCtrlHandler(LaterHandler, true));

  // The last registered is asked first; its true ends the search.
  const struct {
    int signal_number;
    uint32_t event;
  } cases[] = {{SIGINT, kCtrlCEvent},
               {SIGQUIT, kCtrlBreakEvent},
               {SIGHUP, kCtrlCloseEvent},
               {SIGTERM, kCtrlShutdownEvent}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal_number);
    deliveries.Reset(true, true);
    ASSERT_EQ(kill(getpid(), c.signal_number), 0);
    ASSERT_TRUE(deliveries.WaitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> guard(deliveries.lock);
    ASSERT_EQ(deliveries.seen.size(), 1u);
    EXPECT_EQ(deliveries.seen[0].handler, "later");
    EXPECT_EQ(deliveries.seen[0].event, c.event);
    EXPECT_NE(deliveries.seen[0].thread, std::this_thread::get_id());
  }

  // A false passes the event on to the handler registered before.
  deliveries.Reset(true, false);
  ASSERT_EQ(kill(getpid(), SIGINT), 0);
  ASSERT_TRUE(deliveries.WaitFor(2));
  {
    std::lock_guard<std::mutex> guard(deliveries.lock);
    EXPECT_EQ(deliveries.seen[0].handler, "later");
    EXPECT_EQ(deliveries.seen[1].handler, "earlier");
    EXPECT_EQ(deliveries.seen[1].event, kCtrlCEvent);
  }

  // Removed handlers are no longer asked; removing one twice fails.
  ASSERT_TRUE(system.SetConsoleCtrlHandler(LaterHandler, false));
  EXPECT_FALSE(system.SetConsoleCtrlHandler(LaterHandler, false));
  EXPECT_EQ(system.GetLastError(), kErrorInvalidParameter);
  deliveries.Reset(true, true);
  ASSERT_EQ(kill(getpid(), SIGTERM), 0);
  ASSERT_TRUE(deliveries.WaitFor(1));
  std::lock_guard<std::mutex> guard(deliveries.lock);
  EXPECT_EQ(deliveries.seen[0].handler, "earlier");
  EXPECT_EQ(deliveries.seen[0].event, kCtrlShutdownEvent);
}

TEST(PosixConsoleControlTest, NullHandlerIsNotSupported) {
  PosixSystem system;
  EXPECT_FALSE(system.SetConsoleCtrlHandler(nullptr, true));
  EXPECT_EQ(system.GetLastError(), kErrorNotSupported);
}

TEST(PosixConsoleControlDeathTest, EventNoHandlerTakesGetsTheDefaultAction) {
  // The watcher thread rules out forking the test process as it is.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        PosixSystem system;
        system.SetConsoleCtrlHandler(RefusingHandler, true);
        kill(getpid(), SIGTERM);
        for (;;) pause();
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace qrv
