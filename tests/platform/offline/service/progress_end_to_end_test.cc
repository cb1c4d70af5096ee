// The built program's progress line: over a log that takes a while to read,
// with standard error on a pseudo-terminal, the line appears there, is
// erased before the program ends (at its end, on a Ctrl+C that ends a poll,
// and on a Ctrl+C that ends a run with its default action), and standard
// output holds the same bytes as a run with standard error on a pipe; with
// standard error on a pipe nothing is written there. The program runs under libfaketime with its clock
// sped up, so that the two seconds before the line pass within the reading.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/service_fixtures.h"
#include "tests/support/run_tool.h"

namespace qrv::offline {
namespace {

using namespace std::chrono_literals;
using test_support::RunTool;
using test_support::ToolOptions;
using test_support::ToolProcess;
using test_support::ToolResult;

constexpr size_t kHeaderBlock = 4096;
constexpr size_t kChunk = 65536;
constexpr size_t kChunkCopies = 384;  // 24 MiB
constexpr char kErase[] = "\r\x1b[K";
constexpr char kQuery[] =
    "<QueryList><Query Path='Security'><Select>*[System[EventID=4625]]"
    "</Select></Query></QueryList>";

// A Security log of kChunkCopies copies of one full chunk of writer-made
// events (the reader takes every slot that holds a chunk, whatever the
// header counts).
void WriteLargeLog(const std::filesystem::path& path) {
  std::vector<evtx::WriterEvent> events;
  for (uint32_t i = 1; i <= 600; ++i)
    events.push_back(testing::FixtureEvent(i, i % 50 == 0 ? 4625 : 4624, i));
  const std::vector<uint8_t> bytes = evtx::WriteEvtx(events);
  ASSERT_GE(bytes.size(), kHeaderBlock + 2 * kChunk);  // the first chunk is full
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), kHeaderBlock);
  for (size_t i = 0; i < kChunkCopies; ++i)
    out.write(reinterpret_cast<const char*>(bytes.data() + kHeaderBlock), kChunk);
}

bool EndsWithErase(const std::string& screen) {
  const std::string erase = kErase;
  return screen.size() >= erase.size() &&
         screen.compare(screen.size() - erase.size(), erase.size(), erase) == 0;
}

class ProgressEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QRV_LIBFAKETIME_MT
    GTEST_SKIP() << "libfaketime (Debian package faketime) was not found at configure time";
#else
    setenv("QRV_EVENTLOG_ROOT", dir_.path().c_str(), 1);
    WriteLargeLog(dir_.path() / "Security.evtx");
    // The run's length on the real clock.
    const auto start = std::chrono::steady_clock::now();
    reference_ = RunTool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTSQUERY", kQuery});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(reference_.exit_status, 0);
    ASSERT_EQ(reference_.err, "");
    ASSERT_NE(reference_.out, "");
    // The clock runs fast enough for the line to be due about a sixth of
    // the way through a run as long as that one.
    const double rate = std::max(2.0, std::ceil(14.0 / seconds));
    const char* asan = std::getenv("ASAN_OPTIONS");
    asan_options_ = asan == nullptr ? "" : asan;
    setenv("ASAN_OPTIONS", (asan_options_ + ":verify_asan_link_order=0").c_str(), 1);
    setenv("LD_PRELOAD", QRV_LIBFAKETIME_MT, 1);
    setenv("FAKETIME", ("+0 x" + std::to_string(static_cast<int>(rate))).c_str(), 1);
#endif
  }
  void TearDown() override {
    unsetenv("LD_PRELOAD");
    unsetenv("FAKETIME");
    setenv("ASAN_OPTIONS", asan_options_.c_str(), 1);
    unsetenv("QRV_EVENTLOG_ROOT");
  }

  testing::TempFolder dir_;
  ToolResult reference_;
  std::string asan_options_;
};

TEST_F(ProgressEndToEnd, LineIsDrawnOnTheTerminalAndErasedOnEveryWayOut) {
  struct Case {
    const char* name;
    const char* command;
    int signal_number;  // sent once the line is seen; 0 for none
    int exit_status;
    int term_signal;
  };
  const Case cases[] = {
      {"run to its end", "GETEVENTSQUERY", 0, 0, 0},
      {"poll ended by Ctrl+C", "POLLEVENTSQUERY", SIGINT, 0, 0},
      {"run ended by Ctrl+C", "GETEVENTSQUERY", SIGINT, -1, SIGINT},
  };
  ToolOptions options;
  options.with_terminal = true;
  options.errors_to_terminal = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToolProcess run(QRV_TOOL_PATH, {"NOWARN", c.command, kQuery}, options);
    ASSERT_TRUE(run.started()) << run.result().err;
    test_support::PseudoTerminal& terminal = *run.terminal();
    ASSERT_TRUE(terminal.WaitFor("QRV_EventLog_Tools: reading Security: ", 20s))
        << terminal.screen();
    if (c.signal_number != 0) {
      ASSERT_TRUE(run.Signal(c.signal_number));
    }
    const ToolResult& result = run.Wait();
    terminal.Drain(200ms);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_EQ(result.term_signal, c.term_signal);
    EXPECT_TRUE(EndsWithErase(terminal.screen())) << terminal.screen();
    EXPECT_NE(terminal.screen().find(" of 24.0 MiB ("), std::string::npos)
        << terminal.screen();
    if (c.signal_number == 0) {
      EXPECT_EQ(result.out, reference_.out);
    } else if (c.exit_status == 0) {
      EXPECT_TRUE(result.out.ends_with("Application terminating\n"));
    }
  }
}

TEST_F(ProgressEndToEnd, NothingIsWrittenWhenStandardErrorIsAPipe) {
  // As long a run as the one above, on the same sped-up clock.
  const ToolResult run = RunTool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTSQUERY", kQuery});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, reference_.out);
}

}  // namespace
}  // namespace qrv::offline
