// The built program over a bare folder of real Windows logs from the shared
// corpus (skipped when it is absent): channels come from the records, the
// registry is made up from them, and a damaged log still gives every intact
// record. Counts are those of an independent reader (corpus expected/*.tsv).
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/support/run_tool.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;
using test_support::RunTool;
using test_support::ToolResult;

constexpr size_t kSecurityRecords = 739;     // velocidex Security.evtx
constexpr size_t kCutSecurityRecords = 194;  // plaso System2.evtx (cut off)
constexpr size_t kSystemRecords = 5009;      // plaso System.evtx
constexpr size_t kSystemErrors = 14;
constexpr size_t kSystemWarnings = 133;

class CorpusFolderEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path corpus = fs::path(QRV_SHARED_DIR) / "corpus";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no shared corpus";
    for (const char* file :
         {"velocidex-evtx/testdata/Security.evtx",
          "velocidex-evtx/testdata/Microsoft-Windows-CAPI2_Operational_EventID70.evtx",
          "plaso/test_data/evtx/System.evtx",
          // Cut off at 200,000 bytes; its records belong to Security.
          "plaso/test_data/evtx/System2.evtx"}) {
      const fs::path source = corpus / file;
      fs::create_symlink(source, folder_.path() / source.filename());
    }
    setenv("QRV_EVENTLOG_ROOT", folder_.path().c_str(), 1);
  }
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  static ToolResult Run(const std::vector<std::string>& args) {
    ToolResult run = RunTool(QRV_TOOL_PATH, args);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    return run;
  }

  // Lines per value of tab-separated field `field`.
  static std::map<std::string, size_t> CountByField(const std::string& out,
                                                    size_t field) {
    std::map<std::string, size_t> counts;
    size_t pos = 0;
    while (pos < out.size()) {
      size_t end = out.find('\n', pos);
      if (end == std::string::npos) end = out.size();
      const std::string line = out.substr(pos, end - pos);
      size_t start = 0;
      for (size_t i = 0; i < field && start != std::string::npos; ++i) {
        start = line.find('\t', start);
        if (start != std::string::npos) ++start;
      }
      if (start != std::string::npos) {
        ++counts[line.substr(start, line.find('\t', start) - start)];
      }
      pos = end + 1;
    }
    return counts;
  }

  offline::testing::TempFolder folder_;
};

TEST_F(CorpusFolderEndToEnd, ChannelsAreThoseOfTheRecordsClassicLogsListedTwice) {
  // Application has no file here; every Windows registry has it.
  EXPECT_EQ(Run({"NOWARN", "GETLISTCHANNELS"}).out,
            "Application\nSecurity\nSystem\nApplication\n"
            "Microsoft-Windows-CAPI2/Operational\nSecurity\nSystem\n");
}

TEST_F(CorpusFolderEndToEnd, GetEventsPrintsEveryRecordOfEveryLog) {
  const auto counts = CountByField(Run({"NOWARN", "GETEVENTS"}).out, 0);
  ASSERT_EQ(counts.size(), 3u);
  EXPECT_EQ(counts.at("Microsoft-Windows-CAPI2/Operational"), 1u);
  // The classic logs are swept as service logs and again as channels.
  EXPECT_EQ(counts.at("System"), 2 * kSystemRecords);
  const size_t security = counts.at("Security");
  EXPECT_EQ(security % 2, 0u);
  // The cut-off log gives at least what the independent reader recovered.
  EXPECT_GE(security / 2, kSecurityRecords + kCutSecurityRecords);
}

TEST_F(CorpusFolderEndToEnd, SeverityWindowReachingTheLogsDates) {
  const ToolResult run =
      Run({"NOWARN", "GETEVENTSSEVERITYDAYS", "System", "Error|Warning", "9000"});
  const auto severities = CountByField(run.out, 4);
  EXPECT_EQ(severities.size(), 2u);
  EXPECT_EQ(severities.at("Error"), kSystemErrors);
  EXPECT_EQ(severities.at("Warning"), kSystemWarnings);
  const auto channels = CountByField(run.out, 0);
  EXPECT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels.count("System"), 1u);
}

TEST_F(CorpusFolderEndToEnd, GetListSucceedsOverTheMadeUpRegistry) {
  EXPECT_EQ(Run({"NOWARN", "GETLIST"}).out.find("Failed to Get List."),
            std::string::npos);
}

}  // namespace
}  // namespace qrv
