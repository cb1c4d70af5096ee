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
    Link({"velocidex-evtx/testdata/Security.evtx",
          "velocidex-evtx/testdata/Microsoft-Windows-CAPI2_Operational_EventID70.evtx",
          "plaso/test_data/evtx/System.evtx",
          // Cut off at 200,000 bytes; its records belong to Security.
          "plaso/test_data/evtx/System2.evtx"});
  }
  // The folder of these corpus files is the machine the program reads.
  void Link(const std::vector<std::string>& files) {
    const fs::path corpus = fs::path(QRV_SHARED_DIR) / "corpus";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no shared corpus";
    for (const std::string& file : files) {
      const fs::path source = corpus / file;
      fs::create_symlink(source, folder_.path() / source.filename());
    }
    setenv("QRV_EVENTLOG_ROOT", folder_.path().c_str(), 1);
  }
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  static ToolResult Run(const std::vector<std::string>& args,
                        const std::string& err = "") {
    ToolResult run = RunTool(QRV_TOOL_PATH, args);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, err);
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

// A log of one channel is read whole, as before records carried channels:
// its channel prints the same bytes as a file:// query of it.
TEST_F(CorpusFolderEndToEnd, ChannelOfOneFilePrintsWhatTheFileQueryPrints) {
  for (const auto& [channel, file] :
       {std::pair<std::string, std::string>{"System", "System.evtx"},
        {"Microsoft-Windows-CAPI2/Operational",
         "Microsoft-Windows-CAPI2_Operational_EventID70.evtx"}}) {
    const auto query = [](const std::string& path) {
      return "<QueryList><Query Id='0' Path='" + path +
             "'><Select>*</Select></Query></QueryList>";
    };
    const std::string by_channel =
        Run({"NOWARN", "GETEVENTSQUERY", query(channel)}).out;
    EXPECT_FALSE(by_channel.empty());
    EXPECT_EQ(by_channel,
              Run({"NOWARN", "GETEVENTSQUERY",
                   query("file://" + (folder_.path() / file).string())})
                  .out)
        << channel;
  }
}

TEST_F(CorpusFolderEndToEnd, GetListSucceedsOverTheMadeUpRegistry) {
  EXPECT_EQ(Run({"NOWARN", "GETLIST"}).out.find("Failed to Get List."),
            std::string::npos);
}

constexpr char kClearedLog[] =
    "EVTX-to-MITRE-Attack/TA0005-Defense Evasion/"
    "T1070.001-Clear Windows event logs/ID104-1102-Event log cleared.evtx";
constexpr char kFirewallExport[] =
    "EVTX-to-MITRE-Attack/TA0005-Defense Evasion/"
    "T1562.004-Impair Defenses-Disable or Modify System "
    "Firewall/ID2003-4950-Firewall disabled.evtx";
constexpr char kFirewall[] =
    "Microsoft-Windows-Windows Firewall With Advanced Security/Firewall";

// Exports holding records of several channels beside a Security log: the
// cleared log holds 90 System records and one of Security, the firewall
// export 3 of Security (its first record's) and 3 of the firewall channel.
class CorpusMixedFolderEndToEnd : public CorpusFolderEndToEnd {
 protected:
  void SetUp() override {
    Link({"velocidex-evtx/testdata/Security.evtx", kClearedLog,
          kFirewallExport});
  }

  static std::string Query(const std::string& path, const std::string& select) {
    return "<QueryList><Query Id='0' Path='" + path + "'><Select>" + select +
           "</Select></Query></QueryList>";
  }
};

TEST_F(CorpusMixedFolderEndToEnd, EachChannelHoldsExactlyTheRecordsNamingIt) {
  const std::pair<std::string, size_t> kChannels[] = {
      {"Security", kSecurityRecords + 1 + 3}, {"System", 90}, {kFirewall, 3}};
  for (const auto& [channel, records] : kChannels) {
    const auto counts = CountByField(
        Run({"NOWARN", "GETEVENTSQUERY", Query(channel, "*")}).out, 0);
    EXPECT_EQ(counts, (std::map<std::string, size_t>{{channel, records}}))
        << channel;
  }
  // GETLISTCHANNELS names every channel a record names.
  const std::string list = Run({"NOWARN", "GETLISTCHANNELS"}).out;
  EXPECT_NE(list.find(std::string("\n") + kFirewall + "\n"), std::string::npos)
      << list;
  // GETEVENTS sweeps the classic logs as service logs and again as channels.
  const auto all = CountByField(Run({"NOWARN", "GETEVENTS"}).out, 0);
  EXPECT_EQ(all, (std::map<std::string, size_t>{
                     {"Security", 2 * (kSecurityRecords + 4)},
                     {"System", 2 * 90},
                     {kFirewall, 3}}));
  // A windowed command reads the channel the same way.
  const auto info = CountByField(
      Run({"NOWARN", "GETEVENTSSEVERITYDAYS", "System", "Information", "9000"})
          .out,
      0);
  EXPECT_EQ(info, (std::map<std::string, size_t>{{"System", 90}}));
}

TEST_F(CorpusMixedFolderEndToEnd, FileQueriesReturnTheWholeFile) {
  const std::string path =
      "file://" +
      (fs::path(QRV_SHARED_DIR) / "corpus" / kFirewallExport).string();
  const auto counts =
      CountByField(Run({"NOWARN", "GETEVENTSQUERY", Query(path, "*")}).out, 0);
  EXPECT_EQ(counts,
            (std::map<std::string, size_t>{{"Security", 3}, {kFirewall, 3}}));
}

// Location paths joined at the top level, as custom views write them.
TEST_F(CorpusMixedFolderEndToEnd, TopLevelBooleanQueriesRun) {
  const std::pair<std::string, size_t> kQueries[] = {
      {"*[System[Provider[@Name='Microsoft-Windows-Security-Auditing'] and "
       "EventID=4648]] and "
       "*[System[Level=0]]",
       12},
      {"*[System[(EventID=4624)]] or *[System[EventID=4625]]", 197 + 15},
      {"(*[System[EventID=4950]])", 3},
      {"(*[System[EventID=4950]] or *[System[EventID=1102]]) and "
       "*[System[Level=4]]",
       2},
  };
  for (const auto& [select, records] : kQueries) {
    const ToolResult run =
        Run({"NOWARN", "GETEVENTSQUERY", Query("Security", select)});
    EXPECT_EQ(run.out.find("Failed"), std::string::npos) << select;
    const auto counts = CountByField(run.out, 0);
    EXPECT_EQ(counts, (std::map<std::string, size_t>{{"Security", records}}))
        << select;
  }
  // Operator words in capitals are refused, as Windows refuses them.
  const std::string refused =
      Run({"NOWARN", "GETEVENTSQUERY",
           Query("Security", "*[System[EventID=4950]] OR *")},
          "QRV_EventLog_Tools: query: column 74: 'OR' must be written 'or': "
          "operator words are lower case\n")
          .out;
  EXPECT_NE(refused.find("Failed to Get Events by Query:\t"),
            std::string::npos);
  EXPECT_EQ(refused, Run({"NOWARN", "GETEVENTSQUERY",
                          Query("Security", "*[not(System)]")},
                         "QRV_EventLog_Tools: query: column 56: unknown "
                         "function not() (band, position and timediff are "
                         "known)\n")
                         .out);
}

}  // namespace
}  // namespace qrv
