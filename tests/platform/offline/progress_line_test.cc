// The progress line's text, and when the line is drawn and erased on a
// pseudo-terminal. The built program's line is tested end to end in
// tests/platform/offline/service/progress_end_to_end_test.cc.
#include "platform/offline/progress_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "tests/support/pseudo_terminal.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;
using offline::ReadProgress;
using offline::ReadSnapshot;
using test_support::PseudoTerminal;

constexpr std::string_view kErase = "\r\x1b[K";

bool EndsWithErase(const std::string& screen) {
  return screen.size() >= kErase.size() &&
         screen.compare(screen.size() - kErase.size(), kErase.size(), kErase) == 0;
}

TEST(FormatProgressLine, SaysWhatHowFarAndHowManyCutToTheTerminal) {
  struct Case {
    std::string what;
    uint64_t done, total, events;
    size_t columns;
    std::string line;
  };
  const Case cases[] = {
      {"Security", 4992, 16384, 45210, 200,
       "QRV_EventLog_Tools: reading Security: 312.0 of 1024.0 MiB (30%), 45210 events"},
      {"System", 1, 1, 1, 200,
       "QRV_EventLog_Tools: reading System: 0.1 of 0.1 MiB (100%), 1 event"},
      // A query over files without a chunk: no percentage to give.
      {"Empty.evtx", 0, 0, 0, 200,
       "QRV_EventLog_Tools: reading Empty.evtx: 0.0 of 0.0 MiB, 0 events"},
      // One cell is left free, so the line never wraps.
      {"System", 1, 2, 7, 36, "QRV_EventLog_Tools: reading System:"},
      // Cut between characters, never inside one.
      {"Caf\xc3\xa9", 0, 1, 0, 33, "QRV_EventLog_Tools: reading Caf\xc3\xa9"},
      {"Caf\xc3\xa9", 0, 1, 0, 32, "QRV_EventLog_Tools: reading Caf"},
  };
  for (const Case& c : cases) {
    ReadSnapshot snapshot;
    snapshot.reading = true;
    snapshot.what = c.what;
    snapshot.chunks_done = c.done;
    snapshot.chunks_total = c.total;
    snapshot.events = c.events;
    EXPECT_EQ(FormatProgressLine(snapshot, c.columns), c.line) << c.what << " " << c.columns;
  }
}

TEST(ProgressLine, DrawnWhileReadingAndNotPausedErasedOtherwiseAndForGoodOnStop) {
  PseudoTerminal terminal;
  if (!terminal.ok()) GTEST_SKIP() << "no pseudo-terminal";
  const int fd = open(terminal.slave_path().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ReadProgress progress;
  progress.BeginQuery("Security", 4);
  progress.AddChunk(3);
  {
    ProgressLine line(fd, progress, 100ms, 5ms);
    // Nothing within the delay.
    terminal.Drain(50ms);
    EXPECT_EQ(terminal.screen(), "");
    ASSERT_TRUE(terminal.WaitFor("reading Security: 0.1 of 0.2 MiB (25%), 3 events\x1b[K", 5s))
        << terminal.screen();

    // A pause erases the line and keeps it off; the delay starts again after.
    line.Pause();
    progress.AddChunk(2);
    terminal.Drain(150ms);
    EXPECT_TRUE(EndsWithErase(terminal.screen())) << terminal.screen();
    line.Resume();
    terminal.Drain(50ms);
    EXPECT_TRUE(EndsWithErase(terminal.screen())) << terminal.screen();
    ASSERT_TRUE(terminal.WaitFor("(50%), 5 events", 5s)) << terminal.screen();

    // Once the query ends the line goes, and comes back with the next one.
    progress.EndQuery();
    terminal.Drain(100ms);
    EXPECT_TRUE(EndsWithErase(terminal.screen())) << terminal.screen();
    progress.BeginQuery("System", 8);
    ASSERT_TRUE(terminal.WaitFor("reading System: 0.0 of 0.5 MiB (0%), 5 events", 5s))
        << terminal.screen();

    line.Stop();
    progress.AddChunk(1);
    terminal.Drain(100ms);
    EXPECT_TRUE(EndsWithErase(terminal.screen())) << terminal.screen();
  }
  close(fd);
}

}  // namespace
}  // namespace qrv
