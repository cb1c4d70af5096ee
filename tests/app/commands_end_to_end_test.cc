// Every command through the built program, on a computer without event logs
// (an offline root that does not exist): the handlers' failure blocks, the
// usage text after a handler's false, and the poll command ended by a console
// signal. The missing root is named on standard error, one line per run.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/app/expected_usage.h"
#include "tests/support/run_tool.h"

namespace qrv {
namespace {

using std::chrono::milliseconds;
using test_support::RunTool;
using test_support::ToolProcess;
using test_support::ToolResult;

constexpr char kMissingRoot[] = "/nonexistent/qrv-eventlog-root";
constexpr char kMissingRootLine[] =
    "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT '/nonexistent/qrv-eventlog-root' "
    "does not exist; answering as a computer without event logs\n";
constexpr char kQuery[] =
    "<QueryList><Query Path='Application'><Select>*</Select></Query></QueryList>";

class CommandsEndToEnd : public ::testing::Test {
 protected:
  // A root that does not exist is a computer without any logs (unset, the
  // built-in sample image beside the program would be read).
  void SetUp() override {
    setenv("QRV_EVENTLOG_ROOT", kMissingRoot, 1);
  }
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  static ToolResult Run(const std::vector<std::string>& args) {
    ToolResult run = RunTool(QRV_TOOL_PATH, args);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.err, kMissingRootLine);
    return run;
  }
};

TEST_F(CommandsEndToEnd, HandlerFalsePrintsTheSameUsageText) {
  const std::vector<std::vector<std::string>> cases = {
      {"NOWARN", "GETEVENTSQUERY"},
      {"NOWARN", "GETEVENTSQUERY", " \t "},
      {"NOWARN", "POLLEVENTSQUERY"},
      {"NOWARN", "GETEVENTSCHANNEL", "  "},
      {"NOWARN", "GETEVENTSID", "System"},
      {"NOWARN", "GETEVENTSSEVERITY", "System", "Error", "0"},
      {"NOWARN", "GETEVENTSSEVERITYDAYS", "System", "Error", "abc"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[1]);
    const ToolResult run = Run(args);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, ExpectedUsage());
  }
}

TEST_F(CommandsEndToEnd, CatalogueFailureBlocksWithoutAnyLogs) {
  for (const char* word : {"GETLIST", "getListChannels"}) {
    const ToolResult run = Run({"NOWARN", word, "extra"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, "\nFailed to Get List.\n");
  }
  const ToolResult run = Run({"GETEVENTS", "nowarn"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, "\nFailed to Get Events\n");
}

TEST_F(CommandsEndToEnd, QueryFailureBlockCarriesTheSystemTextWithItsLineBreak) {
  const ToolResult run = Run({"NOWARN", "GETEVENTSQUERY", kQuery});
  EXPECT_EQ(run.exit_status, 0);
  const std::string prefix = "\nFailed to Get Events by Query:\t";
  ASSERT_EQ(run.out.compare(0, prefix.size(), prefix), 0) << run.out;
  ASSERT_GE(run.out.size(), prefix.size() + 3);
  EXPECT_EQ(run.out.substr(run.out.size() - 3), "\r\n\n");
}

TEST_F(CommandsEndToEnd, WindowedFailureBlocksUseEachHandlersText) {
  struct Case {
    std::vector<std::string> args;
    std::string prefix;
  };
  const std::vector<Case> cases = {
      {{"NOWARN", "GETEVENTSCHANNEL", "System"}, "\nFailed to Get Events:\t"},
      {{"NOWARN", "GETEVENTSID", "Security", "4624"},
       "\nFailed to Get Events by Event ID:\t"},
      {{"NOWARN", "GETEVENTSSEVERITYDAYS", "System", "Error", "7days"},
       "\nFailed to Get Events by Severity:\t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const ToolResult run = Run(c.args);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out.compare(0, c.prefix.size(), c.prefix), 0) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 3), "\r\n\n");
  }
}

TEST_F(CommandsEndToEnd, PollEndsWithTheFarewellLineOnEachConsoleSignal) {
  for (int signal_number : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    ToolProcess tool(QRV_TOOL_PATH, {"NOWARN", "POLLEVENTSQUERY", kQuery});
    ASSERT_TRUE(tool.started());
    // The first cycle has printed its failure block and the two empty lines:
    // the tool now waits between cycles.
    ASSERT_TRUE(tool.WaitForOutput("\r\n\n\n\n", milliseconds(10'000)));
    ASSERT_TRUE(tool.Signal(signal_number));
    const ToolResult& run = tool.Wait(milliseconds(10'000));
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.term_signal, 0);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, kMissingRootLine);
    const std::string farewell = "Application terminating\n";
    ASSERT_GE(run.out.size(), farewell.size());
    EXPECT_EQ(run.out.substr(run.out.size() - farewell.size()), farewell);
  }
}

// One offline machine whatever the root: a malformed QueryList gets the
// service's ERROR_EVT_INVALID_QUERY text over a missing root, over the sample
// image, and with no image at all (a copy of the program with no sample
// image beside it, which also has no channels and names no root).
TEST(OneOfflineMachine, AMalformedQueryListIsAnInvalidQueryOnEveryRoot) {
  std::string scratch = (std::filesystem::temp_directory_path() / "qrv-bare-XXXXXX").string();
  ASSERT_NE(mkdtemp(scratch.data()), nullptr);
  const std::filesystem::path alone = std::filesystem::path(scratch) / "QRV_EventLog_Tools";
  std::filesystem::copy_file(QRV_TOOL_PATH, alone);
  const struct {
    const char* machine;
    std::string program;
    const char* root;
    std::string err;
  } cases[] = {
      {"missing root", QRV_TOOL_PATH, kMissingRoot, kMissingRootLine},
      {"sample image", QRV_TOOL_PATH, nullptr, test_support::kSampleImageNotice},
      {"no image", alone.string(), nullptr, ""},
  };
  // Every machine says why, after its own line.
  const struct {
    const char* text;
    const char* why;
  } queries[] = {
      {"<QueryList/>", "column 1: QueryList holds no Query"},
      {"<QueryList><Query Path='System'><Select>*</Select></QueryList>",
       "column 51: expected '</Query>', found '</QueryList>'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.machine);
    if (c.root != nullptr) {
      setenv("QRV_EVENTLOG_ROOT", c.root, 1);
    } else {
      unsetenv("QRV_EVENTLOG_ROOT");
    }
    for (const auto& query : queries) {
      const ToolResult run =
          RunTool(c.program, {"NOWARN", "GETEVENTSQUERY", query.text});
      EXPECT_EQ(run.exit_status, 0);
      EXPECT_EQ(run.err, c.err + "QRV_EventLog_Tools: query: " + query.why + "\n");
      EXPECT_EQ(run.out, "\nFailed to Get Events by Query:\tThe query is not valid.\r\n\n")
          << query.text;
    }
  }
  const ToolResult channels = RunTool(alone.string(), {"NOWARN", "GETLISTCHANNELS"});
  EXPECT_EQ(channels.out, "\nFailed to Get List.\n");
  EXPECT_EQ(channels.err, "");
  std::filesystem::remove_all(scratch);
}

// QRV_EVENTLOG_ROOT set to nothing (a script's unset case variable) is a
// root that cannot be used: the output of a computer without logs, never the
// sample image's events.
TEST(OneOfflineMachine, AnEmptyRootIsAComputerWithoutLogs) {
  const std::vector<std::vector<std::string>> commands = {
      {"NOWARN", "GETEVENTSSEVERITYDAYS", "Security", "Audit Failure", "3650"},
      {"NOWARN", "GETLISTCHANNELS"},
      {"NOWARN", "GETEVENTS"},
      {"NOWARN", "GETEVENTSQUERY", kQuery},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[1]);
    setenv("QRV_EVENTLOG_ROOT", kMissingRoot, 1);
    const ToolResult missing = RunTool(QRV_TOOL_PATH, args);
    setenv("QRV_EVENTLOG_ROOT", "", 1);
    const ToolResult empty = RunTool(QRV_TOOL_PATH, args);
    unsetenv("QRV_EVENTLOG_ROOT");
    EXPECT_EQ(empty.exit_status, 0);
    EXPECT_EQ(empty.out, missing.out);
    EXPECT_EQ(empty.err,
              "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT is set but empty; "
              "answering as a computer without event logs\n");
  }
}

// With no root named, the program reads the sample image built beside it.
TEST(SampleImageByDefault, ChannelsAndEventsOfTheBuiltInImage) {
  unsetenv("QRV_EVENTLOG_ROOT");
  const ToolResult channels = RunTool(QRV_TOOL_PATH, {"NOWARN", "GETLISTCHANNELS"});
  EXPECT_EQ(channels.exit_status, 0);
  EXPECT_EQ(channels.err, test_support::kSampleImageNotice);
  EXPECT_EQ(channels.out,
            "Application\nSecurity\nSystem\nApplication\n"
            "Microsoft-Windows-QRV-Sample/Debug\n"
            "Microsoft-Windows-QRV-Sample/Operational\nSecurity\nSystem\n");
  const ToolResult audit = RunTool(
      QRV_TOOL_PATH,
      {"NOWARN", "GETEVENTSSEVERITYDAYS", "Security", "Audit Failure", "3650"});
  EXPECT_EQ(audit.exit_status, 0);
  EXPECT_EQ(audit.err, test_support::kSampleImageNotice);
  ASSERT_FALSE(audit.out.empty());
  size_t lines = 0;
  for (size_t pos = 0; pos < audit.out.size();) {
    const size_t end = audit.out.find('\n', pos);
    ASSERT_NE(end, std::string::npos);
    const std::string line = audit.out.substr(pos, end - pos);
    EXPECT_EQ(line.rfind("Security\tMicrosoft-Windows-Security-Auditing\t2024-03-0", 0), 0u)
        << line;
    EXPECT_NE(line.find("\tAudit Failure\t"), std::string::npos) << line;
    ++lines;
    pos = end + 1;
  }
  EXPECT_EQ(lines, 12u);  // the image's audit failures
}

}  // namespace
}  // namespace qrv
