// The built program stopped by a console signal while a poll cycle's query
// is still reading a large log, when the main thread, the query's worker and
// read-ahead threads and the signal watcher all run at once. The tool ends
// with the farewell line alone. In a ThreadSanitizer build (halt_on_error)
// any race among those threads ends the tool with a failing status and the
// report on standard error instead.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/platform/offline/service/service_fixtures.h"
#include "tests/support/run_tool.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test_support::ToolProcess;
using test_support::ToolResult;

constexpr size_t kHeaderBlock = 4096;
// Far more than the tool reads before the signal comes: its first query is
// still under way when it is stopped, on a fast machine too.
constexpr size_t kLogBytes = size_t{64} << 20;

// A writer-made log of a few chunks, its chunks repeated until the file
// holds `bytes`.
void WriteLargeLog(const fs::path& path, size_t bytes) {
  std::vector<evtx::WriterEvent> events;
  for (uint32_t i = 0; i < 1000; ++i) {
    events.push_back(testing::FixtureEvent(i + 1, 4624, i));
  }
  testing::WriteLog(path, events);
  const std::vector<uint8_t> log = testing::ReadFileBytes(path);
  ASSERT_GT(log.size(), kHeaderBlock);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  for (size_t size = log.size(); size < bytes; size += log.size() - kHeaderBlock) {
    out.write(reinterpret_cast<const char*>(log.data() + kHeaderBlock),
              static_cast<std::streamsize>(log.size() - kHeaderBlock));
  }
}

// Waits until process `pid` holds `file` open.
bool WaitUntilOpen(pid_t pid, const fs::path& file, milliseconds timeout) {
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    for (const fs::directory_entry& fd : fs::directory_iterator(fds, error)) {
      if (fs::read_symlink(fd.path(), error) == file) return true;
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
  return false;
}

TEST(PollStoppedMidQuery, EndsWithTheFarewellLineAloneOnEachSignal) {
  testing::TempFolder dir;
  const fs::path log = fs::canonical(dir.path()) / "large.evtx";
  WriteLargeLog(log, kLogBytes);
  ASSERT_GE(fs::file_size(log), kLogBytes);
  // The log is named by path; the sample image serves as the machine, named
  // as the root so that standard error carries no line about it.
  setenv("QRV_EVENTLOG_ROOT", QRV_SAMPLE_IMAGE_DIR, 1);
  const std::string query = "<QueryList><Query Path='file://" + log.string() +
                            "'><Select>*</Select></Query></QueryList>";
  for (int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    ToolProcess tool(QRV_TOOL_PATH, {"NOWARN", "POLLEVENTSQUERY", query});
    ASSERT_TRUE(tool.started());
    // The console handler is in place before the first cycle opens the log.
    ASSERT_TRUE(WaitUntilOpen(tool.pid(), log, milliseconds(10'000)));
    ASSERT_TRUE(tool.Signal(signal_number));
    const ToolResult& run = tool.Wait(milliseconds(20'000));
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.term_signal, 0);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    // Not one cycle had ended: the signal came during the query.
    EXPECT_EQ(run.out, "Application terminating\n");
  }
}

}  // namespace
}  // namespace qrv::offline
