// The built program over an offline image (QRV_EVENTLOG_ROOT): GETEVENTSQUERY
// lines for writer-made logs and for a real Security log named by file://
// path (checked against the corpus's independent values), the intact records
// of a damaged log, and the failure blocks of invalid, unsupported and
// unresolvable queries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/platform/offline/service/service_fixtures.h"
#include "tests/support/run_tool.h"

namespace qrv::offline {
namespace {

using test_support::RunTool;
using test_support::SplitOutput;
using test_support::ToolResult;
using testing::FixtureEvent;
using testing::WriteLog;

// The tool's severity naming, from the corpus's Level and Keywords columns.
std::string Severity(const std::string& level, const std::string& keywords) {
  static const char* const kNames[] = {"",        "Critical",    "Error",
                                       "Warning", "Information", "Information"};
  const unsigned long n = std::stoul(level);
  if (n != 0) return n <= 5 ? kNames[n] : "Unknown";
  const unsigned long long k = std::stoull(keywords, nullptr, 16);
  if (k == 0x8010000000000000ull) return "Audit Failure";
  if (k == 0x8020000000000000ull) return "Audit Success";
  return "";
}

class ServiceEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QRV_EVENTLOG_ROOT", dir_.path().c_str(), 1); }
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  // `err`: what standard error must hold.
  static ToolResult Query(const std::string& query, const std::string& err = "") {
    ToolResult run =
        RunTool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTSQUERY", query});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, err);
    return run;
  }

  testing::TempFolder dir_;
};

TEST_F(ServiceEndToEnd, ChannelQueryPrintsOneLinePerSelectedEvent) {
  WriteLog(dir_.path() / "Security.evtx",
           {FixtureEvent(1, 4624, 1),
            FixtureEvent(2, 4625, 2, 0, 0x8010000000000000ull),
            FixtureEvent(3, 4624, 3, 4, 0)});
  const ToolResult run = Query(
      "<QueryList><Query Id='0' Path='Security'><Select>"
      "*[System[(EventID=4624 or EventID=4625) and "
      "TimeCreated[@SystemTime&gt;='2024-01-01T00:00:02.000Z']]]"
      "</Select></Query></QueryList>");
  EXPECT_EQ(run.out,
            "Security\tMicrosoft-Windows-Security-Auditing\t"
            "2024-01-01T00:00:02.000000000Z\t4625\tAudit Failure\t"
            "Event message not found\n"
            "Security\tMicrosoft-Windows-Security-Auditing\t"
            "2024-01-01T00:00:03.000000000Z\t4624\tInformation\t"
            "Event message not found\n");
}

TEST_F(ServiceEndToEnd, FailingQueriesPrintTheFailureBlock) {
  WriteLog(dir_.path() / "Security.evtx", {FixtureEvent(1, 4624, 1)});
  std::filesystem::create_directories(dir_.path() / "saved");
  std::ofstream(dir_.path() / "saved" / "notes.evtx") << "plain text";
  WriteLog(dir_.path() / "System.evtx", {FixtureEvent(1, 7036, 1)});
  struct Case {
    std::string query;
    std::string text;
    std::string err;  // after "QRV_EventLog_Tools: query: "
  };
  const std::string kInvalid = "The query is not valid.\r\n";
  const std::vector<Case> cases = {
      {"<QueryList><Query Path='Security'><Select>*[System[EventID=]]"
       "</Select></Query></QueryList>",
       kInvalid, "column 60: expected a literal on the right of the comparison"},
      {"<QueryList><Query Path='Security'><Select>*[System[not(EventID=1)]]"
       "</Select></Query></QueryList>",
       kInvalid,
       "column 56: unknown function not() (band, position and timediff are known)"},
      {"<QueryList><Query Path='Security'><Select>//EventID"
       "</Select></Query></QueryList>",
       kInvalid, "column 43: '//' is not supported"},
      // The usual slips, each with its hint.
      {"<QueryList><Query Path='Security'><Select>*[System[EventID<=2]]"
       "</Select></Query></QueryList>",
       kInvalid, "column 59: '<' must be written '&lt;' inside a Select"},
      {"<QueryList><Query Path='Security'>\n  <Select>*[System[EventID=1 "
       "AND Level=2]]</Select>\n</Query></QueryList>",
       kInvalid,
       "line 2, column 30: 'AND' must be written 'and': operator words are "
       "lower case"},
      {"<QueryList><Query Path='Security'><Select>*</Select></Query>",
       kInvalid, "column 61: expected '</QueryList>' before the end"},
      // Columns count characters, not bytes.
      {"<QueryList><Query Path='Security'><Select>*[EventData[Data='\u00e9' "
       "AND Data='x']]</Select></Query></QueryList>",
       kInvalid,
       "column 64: 'AND' must be written 'and': operator words are lower case"},
      {"<QueryList><Query Path='Security'><Select Path='A&amp;B'>*"
       "</Selectt></Query></QueryList>",
       kInvalid, "column 59: expected '</Select>', found '</Selectt>'"},
      {"<QueryList><Query><Select>*</Select></Query></QueryList>", kInvalid,
       "column 19: no Path names the channel: give the Query (or the Select) "
       "a Path attribute"},
      {"*[System[EventID=4624]]", kInvalid,
       "an XPath alone names no channel: put it in a QueryList, "
       "<QueryList><Query Path='System'><Select>...</Select></Query>"
       "</QueryList>"},
      {"<QueryList><Query Path='Securty'><Select>*</Select></Query>"
       "</QueryList>",
       "No channel of that name exists.\r\n",
       "Path 'Securty' names no channel of this machine; nearest: Security, "
       "System, Application"},
      // Files are not channels: the failure block says enough.
      {"<QueryList><Query Path='file://no/such.evtx'><Select>*</Select>"
       "</Query></QueryList>",
       "No file of that name could be found.\r\n", ""},
      {"<QueryList><Query Path='file://saved/notes.evtx'><Select>*</Select>"
       "</Query></QueryList>",
       "The file or folder is damaged and cannot be read.\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    EXPECT_EQ(Query(c.query, c.err.empty()
                                 ? ""
                                 : "QRV_EventLog_Tools: query: " + c.err + "\n")
                  .out,
              "\nFailed to Get Events by Query:\t" + c.text + "\n");
  }
}

// The windowed commands build time-bounded queries against the current
// time; events are written relative to it.
TEST_F(ServiceEndToEnd, WindowedCommandsSeeTheImageChannels) {
  const uint64_t now =
      static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::seconds>(
              std::chrono::system_clock::now().time_since_epoch())
              .count()) *
          testing::kTicksPerSecond +
      116444736000000000ull;
  const auto at = [&](uint64_t record, uint16_t id, uint8_t level,
                      uint64_t hours_ago) {
    evtx::WriterEvent e =
        FixtureEvent(record, id, 0, level, 0x8080000000000000ull, "System",
                     "Service Control Manager");
    e.time_created = now - hours_ago * 3600 * testing::kTicksPerSecond;
    return e;
  };
  WriteLog(dir_.path() / "System.evtx",
           {at(1, 7001, 3, 72), at(2, 7036, 4, 2), at(3, 7000, 2, 1)});
  const auto ids = [](const ToolResult& run) {
    std::string out;
    for (const std::string& line : SplitOutput(run.out, '\n')) {
      const std::vector<std::string> f = SplitOutput(line, '\t');
      out += (f.size() == 6 ? f[3] + "/" + f[4] : "?" + line) + " ";
    }
    return out;
  };
  const auto run = [](std::vector<std::string> args) {
    args.insert(args.begin(), "NOWARN");
    ToolResult r = RunTool(QRV_TOOL_PATH, args);
    EXPECT_EQ(r.exit_status, 0);
    return r;
  };
  EXPECT_EQ(ids(run({"GETEVENTSCHANNEL", "System"})),
            "7036/Information 7000/Error ");
  EXPECT_EQ(ids(run({"GETEVENTSID", "System", "7000"})), "7000/Error ");
  EXPECT_EQ(ids(run({"GETEVENTSSEVERITY", "System", "Error|Warning"})),
            "7000/Error ");
  EXPECT_EQ(ids(run({"GETEVENTSSEVERITYDAYS", "System", "Error|Warning", "5"})),
            "7001/Warning 7000/Error ");
}

TEST_F(ServiceEndToEnd, CorpusSecurityLogByFilePathMatchesIndependentValues) {
  const std::filesystem::path root = testing::CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  const std::filesystem::path log =
      root / "velocidex-evtx/testdata/Security.evtx";
  const std::filesystem::path tsv =
      root / "expected/velocidex-evtx/testdata/Security.tsv";
  std::vector<std::vector<std::string>> expected;
  std::ifstream in(tsv);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> row = SplitOutput(line, '\t');
    ASSERT_EQ(row.size(), 9u) << line;
    if (row[3] == "4624") expected.push_back(row);
  }
  ASSERT_GT(expected.size(), 100u);

  // A file path is read whatever the machine is: the sample image beside the
  // program serves (and is named on standard error).
  unsetenv("QRV_EVENTLOG_ROOT");
  const ToolResult run =
      Query("<QueryList><Query Path='file://" + log.string() +
            "'><Select>*[System[EventID=4624]]</Select>"
            "</Query></QueryList>",
            test_support::kSampleImageNotice);
  const std::vector<std::string> lines = SplitOutput(run.out, '\n');
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const std::vector<std::string> fields = SplitOutput(lines[i], '\t');
    const std::vector<std::string>& row = expected[i];
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[0], row[7]);                              // channel
    EXPECT_EQ(fields[1], row[2]);                              // provider
    EXPECT_EQ(fields[2].substr(0, 26), row[6].substr(0, 26));  // time
    EXPECT_EQ(fields[2].size(), 30u);  // 9 fraction digits
    EXPECT_EQ(fields[3], row[3]);      // event id
    EXPECT_EQ(fields[4], Severity(row[4], row[5]));
  }
}

// The project's sample volume (registry hives, logs and message files):
// channels through the registry, several channels merged by time, and every
// event's message formatted from its provider's files and its own inserts.
// A log from a hostile machine whose channel and provider names hold a tab,
// CR and LF: each is printed as a space, so every line keeps its six fields
// and no line is forged; a NUL ends the name, as it ends every string the
// Windows calls hand over. The sweep still queries the channel (its name is
// escaped in the query) and real names print unchanged beside it. A folder
// lists each log under both registry keys, so GETEVENTS prints it twice.
TEST_F(ServiceEndToEnd, ForgedNamesCannotFakeFieldsOrLines) {
  const std::string channel("Forged\tLog\r\nSecurity\0X", 22);
  const std::string provider("Fake\tProvider\nApplication", 25);
  WriteLog(dir_.path() / "forged.evtx",
           {FixtureEvent(1, 4624, 1, 4, 0, channel, provider),
            FixtureEvent(2, 4625, 2, 2, 0, channel, provider)});
  WriteLog(dir_.path() / "System.evtx",
           {FixtureEvent(1, 7036, 3, 4, 0, "System", "Service Control Manager")});
  const std::string clean_channel = "Forged Log  Security";
  const std::string clean_provider = "Fake Provider Application";

  const auto lines_of = [](const ToolResult& run) {
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    return SplitOutput(run.out, '\n');
  };
  const std::vector<std::string> channels =
      lines_of(RunTool(QRV_TOOL_PATH, {"NOWARN", "GETLISTCHANNELS"}));
  EXPECT_NE(std::find(channels.begin(), channels.end(), clean_channel), channels.end())
      << "channels: " << ::testing::PrintToString(channels);
  EXPECT_NE(std::find(channels.begin(), channels.end(), "System"), channels.end());
  for (const std::string& line : channels) {
    EXPECT_EQ(line.find_first_of(std::string("\t\r\0", 3)), std::string::npos) << line;
  }

  const std::vector<std::string> events =
      lines_of(RunTool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTS"}));
  size_t forged = 0;
  size_t system = 0;
  for (const std::string& line : events) {
    if (line.empty()) continue;
    const std::vector<std::string> f = SplitOutput(line, '\t');
    ASSERT_EQ(f.size(), 6u) << line;
    EXPECT_EQ(line.find_first_of(std::string("\r\0", 2)), std::string::npos) << line;
    if (f[0] == clean_channel) {
      EXPECT_EQ(f[1], clean_provider);
      ++forged;
    } else if (f[0] == "System") {
      EXPECT_EQ(f[1], "Service Control Manager");
      ++system;
    } else {
      ADD_FAILURE() << "unexpected line: " << line;
    }
  }
  EXPECT_EQ(forged, 4u);
  EXPECT_EQ(system, 2u);
}

// A log wiped over one record, with another record's head overwritten and
// the file cut off inside a record of its last chunk, as logs copied off a
// failing disk or a crashed machine are: every record whose bytes survived
// prints, in order, exactly as it printed from the whole file, and nothing
// else does. Where each record sits is found from the format itself (the
// "**" record signature, its size, its record number and the size copy at
// its end), not from the reader under test.
TEST_F(ServiceEndToEnd, DamagedLogPrintsEveryIntactRecord) {
  constexpr uint64_t kRecords = 1200;
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= kRecords; ++i)
    events.push_back(FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  const std::filesystem::path path = dir_.path() / "Security.evtx";
  WriteLog(path, events);
  const std::string query =
      "<QueryList><Query Path='Security'><Select>*</Select></Query>"
      "</QueryList>";
  const std::vector<std::string> whole = SplitOutput(Query(query).out, '\n');
  ASSERT_EQ(whole.size(), kRecords);

  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  constexpr size_t kHeader = 4096, kChunk = 65536;
  const size_t chunks = (bytes.size() - kHeader) / kChunk;
  ASSERT_GE(chunks, 3u);
  const auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
  };
  struct Place {
    size_t offset = 0;
    size_t size = 0;
  };
  std::vector<Place> places(kRecords + 1);
  size_t located = 0;
  for (size_t at = kHeader; at + 24 <= bytes.size(); ++at) {
    if (bytes.compare(at, 4, std::string("**\0\0", 4)) != 0) continue;
    const size_t size = u32(at + 4);
    const uint64_t id = u32(at + 8) | (uint64_t{u32(at + 12)} << 32);
    if (size < 28 || at + size > bytes.size() || u32(at + size - 4) != size ||
        id == 0 || id > kRecords || places[id].size != 0) {
      continue;
    }
    places[id] = {at, size};
    ++located;
  }
  ASSERT_EQ(located, kRecords);

  // Record `wiped` in the middle of the second chunk is zeroed whole; the
  // head of `headless` in the first chunk loses its signature; the file
  // ends halfway through record `cut` in the last chunk.
  uint64_t wiped = 0, headless = 0, cut = 0;
  for (uint64_t id = 1; id <= kRecords; ++id) {
    const size_t chunk = (places[id].offset - kHeader) / kChunk;
    const size_t within = (places[id].offset - kHeader) % kChunk;
    if (chunk == 0 && headless == 0 && within > kChunk / 2) headless = id;
    if (chunk == 1 && wiped == 0 && within > kChunk / 2) wiped = id;
    if (chunk == chunks - 1 && cut == 0 && within > kChunk / 3) cut = id;
  }
  ASSERT_NE(headless * wiped * cut, 0u);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(places[wiped].offset),
              places[wiped].size, '\0');
  bytes.replace(places[headless].offset, 4, "XXXX");
  bytes.resize(places[cut].offset + places[cut].size / 2);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  std::string expected;
  for (uint64_t id = 1; id < cut; ++id) {
    if (id != wiped && id != headless) expected += whole[id - 1] + "\n";
  }
  EXPECT_EQ(Query(query).out, expected);
}

TEST(ServiceSampleImage, ChannelsMergeByTimeWithTheirMessages) {
  const std::filesystem::path root = QRV_SAMPLE_IMAGE_DIR;
  if (!std::filesystem::is_directory(root / "Windows"))
    GTEST_SKIP() << "no sample image at " << root;
  setenv("QRV_EVENTLOG_ROOT", root.c_str(), 1);
  const std::vector<std::string> channels = {
      "System", "Application", "Security",
      "Microsoft-Windows-QRV-Sample/Operational"};
  std::string all;
  size_t separate = 0;
  for (const std::string& c : channels) {
    all += "<Query Path='" + c + "'><Select>*</Select></Query>";
    const ToolResult one = RunTool(
        QRV_TOOL_PATH, {"NOWARN", "GETEVENTSQUERY",
                        "<QueryList><Query Path='" + c +
                            "'><Select>*</Select></Query></QueryList>"});
    const size_t lines = SplitOutput(one.out, '\n').size();
    EXPECT_GT(lines, 0u) << c;
    separate += lines;
  }
  const ToolResult run = RunTool(
      QRV_TOOL_PATH,
      {"NOWARN", "GETEVENTSQUERY", "<QueryList>" + all + "</QueryList>"});
  // A channel's log named by its Windows path reads as the channel.
  const auto system = [](const std::string& path) {
    return RunTool(QRV_TOOL_PATH,
                   {"NOWARN", "GETEVENTSQUERY",
                    "<QueryList><Query Path='" + path +
                        "'><Select>*</Select></Query></QueryList>"})
        .out;
  };
  EXPECT_EQ(system("file://%SystemRoot%\\System32\\winevt\\Logs\\System.evtx"),
            system("System"));
  unsetenv("QRV_EVENTLOG_ROOT");
  const std::vector<std::string> lines = SplitOutput(run.out, '\n');
  EXPECT_EQ(lines.size(), separate);
  std::string previous_time;
  for (const std::string& line : lines) {
    const std::vector<std::string> f = SplitOutput(line, '\t');
    ASSERT_EQ(f.size(), 6u) << line;
    EXPECT_LE(previous_time, f[2]) << line;
    previous_time = f[2];
    EXPECT_NE(f[5], "Event message not found") << line;
    EXPECT_EQ(f[5].find('%'), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace qrv::offline
