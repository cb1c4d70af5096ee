// The built program over logs that change while it reads them: a log cut
// short in the middle of a GETEVENTSQUERY run, and a polled log that grows,
// is replaced by rename, is removed and comes back between poll cycles.
// The logs are made of intact chunks of a real corpus log.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/support/run_tool.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test_support::SplitOutput;
using test_support::ToolProcess;
using test_support::ToolResult;

constexpr size_t kHeaderBlock = 4096;
constexpr size_t kChunk = 65536;

// The header block and chunks [first, last) of `log`, `copies` times over.
std::vector<uint8_t> ChunksOf(const std::vector<uint8_t>& log, size_t first,
                              size_t last, size_t copies = 1) {
  std::vector<uint8_t> out(log.begin(), log.begin() + kHeaderBlock);
  for (size_t c = 0; c < copies; ++c) {
    out.insert(out.end(), log.begin() + kHeaderBlock + first * kChunk,
               log.begin() + kHeaderBlock + last * kChunk);
  }
  return out;
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes,
                std::ios::openmode mode = std::ios::trunc) {
  std::ofstream out(path, std::ios::binary | mode);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string SelectAll(const fs::path& log) {
  return "<QueryList><Query Path='file://" + log.string() +
         "'><Select>*</Select></Query></QueryList>";
}

// Every line is a whole event line: six fields, the channel the log holds
// and a time in the tool's format.
void ExpectWellFormedLines(const std::string& out, const std::string& channel) {
  for (const std::string& line : SplitOutput(out, '\n')) {
    const std::vector<std::string> fields = SplitOutput(line, '\t');
    ASSERT_EQ(fields.size(), 6u) << line;
    EXPECT_EQ(fields[0], channel) << line;
    ASSERT_EQ(fields[2].size(), 30u) << line;
    EXPECT_EQ(fields[2][10], 'T') << line;
    EXPECT_EQ(fields[2].back(), 'Z') << line;
  }
}

class ChangingLogEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path root = testing::CorpusRoot();
    if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
    security_ = testing::ReadFileBytes(root / "evtx-rs/samples/security.evtx");
    system_ = testing::ReadFileBytes(root / "python-evtx/tests/data/system.evtx");
    ASSERT_GE(security_.size(), kHeaderBlock + 32 * kChunk);
    ASSERT_GE(system_.size(), kHeaderBlock + 4 * kChunk);
    // The logs are named by path, read whatever the machine is: the sample
    // image beside the program serves (and is named on standard error).
    unsetenv("QRV_EVENTLOG_ROOT");
  }

  testing::TempFolder dir_;
  std::vector<uint8_t> security_;
  std::vector<uint8_t> system_;
};

TEST_F(ChangingLogEndToEnd, LogCutShortWhileReadGivesOnlyWholeLines) {
  // 32 MiB, so the run lasts while the file shrinks under it.
  const fs::path log = dir_.path() / "shrinking.evtx";
  WriteBytes(log, ChunksOf(security_, 0, 32, 16));
  ToolProcess tool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTSQUERY", SelectAll(log)});
  ASSERT_TRUE(tool.started());
  for (uintmax_t size = fs::file_size(log); size > kHeaderBlock + 2 * kChunk;
       size -= kChunk + 1000) {
    fs::resize_file(log, size);
    std::this_thread::sleep_for(milliseconds(2));
  }
  const ToolResult& run = tool.Wait();
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, test_support::kSampleImageNotice);
  ExpectWellFormedLines(run.out, "Security");
}

// The output of the next poll cycle, read from `*from` on, without the two
// empty lines that end it.
std::string NextCycle(ToolProcess& tool, size_t* from) {
  const auto deadline = std::chrono::steady_clock::now() + milliseconds(20'000);
  size_t end = std::string::npos;
  while ((end = tool.output().find("\n\n\n", *from)) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return "(no cycle)";
    tool.WaitForOutput("\x01", milliseconds(100));
  }
  // A failure block ends in CR LF and three line feeds: take them all. The
  // next cycle starts five seconds later, so they are written by now.
  tool.WaitForOutput("\x01", milliseconds(200));
  end += 3;
  while (end < tool.output().size() && tool.output()[end] == '\n') ++end;
  std::string cycle = tool.output().substr(*from, end - *from - 2);
  *from = end;
  return cycle;
}

TEST_F(ChangingLogEndToEnd, PollFollowsALogThatGrowsIsReplacedAndIsRemoved) {
  const fs::path log = dir_.path() / "polled.evtx";
  WriteBytes(log, ChunksOf(security_, 0, 4));
  ToolProcess tool(QRV_TOOL_PATH,
                   {"NOWARN", "POLLEVENTSQUERY", SelectAll(log)});
  ASSERT_TRUE(tool.started());
  size_t from = 0;

  const std::string first = NextCycle(tool, &from);
  ExpectWellFormedLines(first, "Security");
  const size_t first_lines = SplitOutput(first, '\n').size();
  ASSERT_GT(first_lines, 0u);

  // Grown by four chunks: the earlier events, then the new ones.
  const std::vector<uint8_t> more = ChunksOf(security_, 4, 8);
  WriteBytes(log, std::vector<uint8_t>(more.begin() + kHeaderBlock, more.end()),
             std::ios::app);
  const std::string grown = NextCycle(tool, &from);
  ExpectWellFormedLines(grown, "Security");
  EXPECT_GT(SplitOutput(grown, '\n').size(), first_lines);
  EXPECT_EQ(grown.compare(0, first.size(), first), 0);

  // Replaced by rename, as a sync job does: the new file's events.
  const fs::path incoming = dir_.path() / "incoming.evtx";
  WriteBytes(incoming, ChunksOf(system_, 0, 4));
  fs::rename(incoming, log);
  const std::string replaced = NextCycle(tool, &from);
  ExpectWellFormedLines(replaced, "System");
  EXPECT_FALSE(replaced.empty());

  // Removed: the cycle's failure block; back again: its events.
  fs::remove(log);
  const std::string removed = NextCycle(tool, &from);
  EXPECT_EQ(removed.rfind("\nFailed to Get Events by Query:\t", 0), 0u)
      << removed;
  WriteBytes(log, ChunksOf(security_, 0, 4));
  EXPECT_EQ(NextCycle(tool, &from), first);

  ASSERT_TRUE(tool.Signal(SIGINT));
  const ToolResult& run = tool.Wait(milliseconds(10'000));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, test_support::kSampleImageNotice);
}

}  // namespace
}  // namespace qrv::offline
