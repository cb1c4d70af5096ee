// The built program end to end: started in a session of its own, with no
// terminal unless the case needs one, standard output and standard error
// captured apart. Guards the usage paths, NOWARN, and the notice as a user
// at a terminal meets it.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/app/expected_usage.h"
#include "tests/support/run_tool.h"

namespace qrv {
namespace {

using std::chrono::milliseconds;
using test_support::RunTool;
using test_support::ToolOptions;
using test_support::ToolProcess;
using test_support::ToolResult;

constexpr milliseconds kPromptWait{10'000};

ToolResult RunProgram(const std::vector<std::string>& args) {
  return RunTool(QRV_TOOL_PATH, args);
}

void ExpectUsageRun(const ToolResult& run) {
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.out, ExpectedUsage());
  EXPECT_EQ(run.err, test_support::kSampleImageNotice);
}

TEST(MainTest, UsageTextWithoutACommandWord) {
  for (const char* nowarn : {"NOWARN", "nowarn", "NoWaRn"}) {
    SCOPED_TRACE(nowarn);
    ExpectUsageRun(RunProgram({nowarn}));
  }
  ExpectUsageRun(RunProgram({"NOWARN", "nowarn", "NOWARN"}));
}

TEST(MainTest, UsageTextForAWordThatIsNoCommand) {
  const std::vector<std::vector<std::string>> cases = {
      {"NOWARN", "HELP"},
      {"NOWARN", " GETLIST"},
      {"NOWARN", "GETLIST "},
      {"NOWARN", ""},
      {"GETEVENTSQUERYX", "NOWARN", "<QueryList/>"},
      {"NOWARN", "GETEVENT", "System", "extra", "words"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE("'" + args[1] + "'");
    ExpectUsageRun(RunProgram(args));
  }
}

TEST(MainTest, WithoutTerminalTheNoticeFailsAndTheRunGoesOn) {
  // No NOWARN: the notice is asked for, cannot be shown (no terminal in
  // this session), and the usage text follows as usual.
  ExpectUsageRun(RunProgram({}));
  ExpectUsageRun(RunProgram({"UNKNOWN"}));
}

TEST(MainTest, NoticeWaitsAtTheTerminalForEnterBeforeAnyOutput) {
  ToolProcess tool(QRV_TOOL_PATH, {}, ToolOptions{.with_terminal = true});
  ASSERT_TRUE(tool.started()) << tool.result().err;
  ASSERT_TRUE(tool.terminal()->WaitFor("OK", kPromptWait))
      << tool.terminal()->screen();
  EXPECT_NE(tool.terminal()->screen().find("Acceptance of Use"),
            std::string::npos);
  // Not dismissed yet: nothing on standard output.
  EXPECT_FALSE(tool.WaitForOutput("\n", milliseconds(200)));
  ASSERT_TRUE(tool.terminal()->Type("\r"));
  const ToolResult& run = tool.Wait();
  ExpectUsageRun(run);
  // The notice went to the terminal only.
  EXPECT_EQ(run.out.find("Acceptance"), std::string::npos);
}

TEST(MainTest, NowarnShowsNothingAtTheTerminal) {
  ToolProcess tool(QRV_TOOL_PATH, {"NOWARN"},
                   ToolOptions{.with_terminal = true});
  ASSERT_TRUE(tool.started()) << tool.result().err;
  ExpectUsageRun(tool.Wait());
  tool.terminal()->Drain(milliseconds(100));
  EXPECT_EQ(tool.terminal()->screen(), "");
}

TEST(MainTest, CtrlCAtTheNoticeGetsTheDefaultHandling) {
  // No command registers a console handler before the notice, so Ctrl+C
  // ends the program as it ends any other.
  ToolProcess tool(QRV_TOOL_PATH, {"GETEVENTSQUERY"},
                   ToolOptions{.with_terminal = true});
  ASSERT_TRUE(tool.started()) << tool.result().err;
  ASSERT_TRUE(tool.terminal()->WaitFor("OK", kPromptWait));
  ASSERT_TRUE(tool.Signal(SIGINT));
  const ToolResult& run = tool.Wait();
  EXPECT_EQ(run.term_signal, SIGINT);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, test_support::kSampleImageNotice);
}

}  // namespace
}  // namespace qrv
