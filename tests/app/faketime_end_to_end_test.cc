// The windowed commands count back from the system clock, also over an
// offline image; running the built program under libfaketime is how a user
// asks for "the last day" of an old image. This runs exactly the command the
// README and the manual page give, over the built-in sample image (events
// from 2024-03-04 to 2024-03-07).
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/run_tool.h"

namespace qrv {
namespace {

using test_support::RunTool;
using test_support::SplitOutput;
using test_support::ToolResult;

TEST(FaketimeEndToEnd, TheDayBeforeTheFakedClockOfTheSampleImage) {
#ifndef QRV_FAKETIME_PATH
  GTEST_SKIP() << "faketime (Debian package faketime) was not found at configure time";
#else
  unsetenv("QRV_EVENTLOG_ROOT");  // the sample image beside the program
  setenv("TZ", "UTC", 1);         // faketime reads its date in local time
  const std::vector<std::string> command = {"NOWARN", "GETEVENTSCHANNEL", "System"};

  // On the real clock the image is years old: its last day is empty.
  const ToolResult today = RunTool(QRV_TOOL_PATH, command);
  EXPECT_EQ(today.exit_status, 0);
  EXPECT_EQ(today.out, "");

  // libfaketime is preloaded ahead of a sanitizer build's own runtime, which
  // AddressSanitizer refuses unless told not to check the order.
  const char* asan = std::getenv("ASAN_OPTIONS");
  setenv("ASAN_OPTIONS",
         (std::string(asan == nullptr ? "" : asan) + ":verify_asan_link_order=0").c_str(), 1);
  std::vector<std::string> args = {"2024-03-05 12:00:00", QRV_TOOL_PATH};
  args.insert(args.end(), command.begin(), command.end());
  const ToolResult faked = RunTool(QRV_FAKETIME_PATH, args);
  unsetenv("TZ");
  EXPECT_FALSE(faked.timed_out);
  EXPECT_EQ(faked.exit_status, 0);
  EXPECT_EQ(faked.err, test_support::kSampleImageNotice);
  // The window starts at 2024-03-04T12:00:00Z and has no end: the System
  // events from 12:47:58 that day on, oldest first; the one at 09:41:14
  // before it is left out.
  const std::vector<std::string> lines = SplitOutput(faked.out, '\n');
  ASSERT_EQ(lines.size(), 26u) << faked.out;
  EXPECT_EQ(lines.front(),
            "System\tQRV-ServiceControl\t2024-03-04T12:47:58.548494800Z\t7011\tWarning\t"
            "A timeout (30000 milliseconds) was reached while waiting for a transaction "
            "response from the QRV Sample Agent service.");
  EXPECT_EQ(lines.back(),
            "System\tQRV-ServiceControl\t2024-03-07T19:57:27.973587300Z\t7036\tInformation\t"
            "The Background Intelligent Transfer Service service entered the stopped state.");
#endif
}

}  // namespace
}  // namespace qrv
