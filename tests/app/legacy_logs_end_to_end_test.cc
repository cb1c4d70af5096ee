// Legacy .evt logs through the built program: a Windows XP machine made with
// the project's writers (SYSTEM and SOFTWARE hives with Services\EventLog
// logs and their File values and no WINEVT key, .evt logs, a classic
// message DLL and a parameter DLL) through every command, and a bare folder
// mixing .evt and .evtx files, two of them named as the other kind.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/evt/evt_writer.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/pe/pe_writer.h"
#include "formats/pe/resource_writer.h"
#include "formats/regf/hive_writer.h"
#include "formats/utf16.h"
#include "tests/support/run_tool.h"

namespace qrv {
namespace {

namespace fs = std::filesystem;
using test_support::RunTool;
using test_support::ToolProcess;
using test_support::ToolResult;

// Records are an hour old, so the commands over the last day see them.
const uint32_t kNow = static_cast<uint32_t>(std::time(nullptr));

std::string IsoTime(uint32_t seconds) {
  const std::time_t t = seconds;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000000Z", &tm);
  return text;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fs::path MakeScratch(const char* stem) {
  std::string scratch = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (mkdtemp(scratch.data()) == nullptr) return {};
  return scratch;
}

struct Event {
  const char* log;  // System, Application, Security
  const char* source;
  uint32_t event_id;
  uint16_t type;
  uint32_t age;  // seconds before now
  std::vector<std::u16string> strings;
  const char* severity;  // as printed
  const char* message;   // as printed
};

const std::vector<Event>& Events() {
  static const std::vector<Event> events = {
      // No strings, first in its log.
      {"System", "EventLog", 0x80001775, evt::kTypeWarning, 3900, {}, "Warning",
       "The previous system shutdown was unexpected."},
      {"System", "Service Control Manager", 0x40001B7B, evt::kTypeInformation, 3600,
       {u"Telnet", u"start"}, "Information", "The Telnet service was successfully sent a start control."},
      {"System", "Service Control Manager", 0xC0001B58, evt::kTypeError, 3000,
       {u"Alerter", u"%%1053"}, "Error",
       "The Alerter service failed to start due to the following error: The service did not respond "
       "to the start or control request in a timely fashion."},
      {"Application", "Userenv", 1517, evt::kTypeWarning, 2000, {u"XP\\alice"}, "Warning",
       "Event message not found"},
      // Audits: Level 0 with the Classic keyword and an audit bit, as
      // classic audits in .evtx files have them; the printed severity names
      // only the exact audit keyword values, so it stays empty.
      {"Security", "Security", 528, evt::kTypeAuditSuccess, 1800, {u"alice", u"XP"}, "",
       "Event message not found"},
      {"Security", "Security", 529, evt::kTypeAuditFailure, 1700, {u"mallory", u"XP"}, "",
       "Event message not found"},
  };
  return events;
}

// The printed line of `e` read from a log of `channel`.
std::string Line(const Event& e, const std::string& channel) {
  return channel + "\t" + e.source + "\t" + IsoTime(kNow - e.age) + "\t" +
         std::to_string(e.event_id & 0xFFFF) + "\t" + e.severity + "\t" + e.message;
}

std::vector<uint8_t> LegacyLog(const std::string& log, uint32_t file_size = 0x10000,
                               uint32_t first_offset = evt::kFileHeaderSize) {
  std::vector<evt::WriterRecord> records;
  uint32_t number = 1;
  for (const Event& e : Events()) {
    if (log != e.log) continue;
    evt::WriterRecord r;
    r.number = number++;
    r.time_generated = r.time_written = kNow - e.age;
    r.event_id = e.event_id;
    r.event_type = e.type;
    r.source = text::Utf8ToUtf16(e.source);
    r.computer = u"XP";
    r.strings = e.strings;
    records.push_back(r);
  }
  return evt::WriteEvtLog(records, {file_size, first_offset});
}

pe::WrittenResource MessageTable(std::vector<pe::WrittenMessage> messages) {
  return {pe::ResourceId::Id(pe::kRtMessageTable), pe::ResourceId::Id(1), pe::kLangEnUs,
          pe::BuildMessageTable(std::move(messages))};
}

// A Windows XP volume: hives, three legacy logs (System's wrapped round its
// ring), netevent.dll with the classic messages and kernel32.dll with the
// %%n parameter strings.
void WriteXpImage(const fs::path& root) {
  regf::WriterKey system("ROOT");
  system.AddKey("Select").SetDword("Current", 1);
  regf::WriterKey& set = system.AddKey("ControlSet001");
  set.AddPath("Control\\ComputerName\\ComputerName").SetString("ComputerName", "XP");
  regf::WriterKey& service = set.AddPath("Services\\EventLog");
  for (const auto& [log, file] : {std::pair{"Application", "AppEvent.Evt"},
                                  std::pair{"Security", "SecEvent.Evt"},
                                  std::pair{"System", "SysEvent.Evt"}}) {
    service.AddKey(log).SetString("File", std::string("%SystemRoot%\\system32\\config\\") + file,
                                  regf::kRegExpandSz);
  }
  regf::WriterKey& scm = service.AddPath("System\\Service Control Manager");
  scm.SetString("EventMessageFile", "%SystemRoot%\\system32\\netevent.dll", regf::kRegExpandSz);
  scm.SetString("ParameterMessageFile", "%SystemRoot%\\system32\\kernel32.dll", regf::kRegExpandSz);
  regf::WriterKey& event_log = service.AddPath("System\\EventLog");
  event_log.SetString("EventMessageFile", "%SystemRoot%\\system32\\netevent.dll",
                      regf::kRegExpandSz);
  // Its one category shares netevent.dll's table: id 1 is no event of it.
  event_log.SetString("CategoryMessageFile", "%SystemRoot%\\system32\\netevent.dll",
                      regf::kRegExpandSz);
  event_log.SetDword("CategoryCount", 1);
  regf::WriterKey software("ROOT");
  software.AddPath("Microsoft\\Windows NT\\CurrentVersion").SetString("SystemRoot", "C:\\WINDOWS");

  const fs::path windows = root / "WINDOWS" / "system32";
  WriteFile(windows / "config" / "SYSTEM", regf::WriteHive(system));
  WriteFile(windows / "config" / "SOFTWARE", regf::WriteHive(software));
  WriteFile(windows / "config" / "SysEvent.Evt", LegacyLog("System", 0x1000, 0xF80));
  WriteFile(windows / "config" / "AppEvent.Evt", LegacyLog("Application"));
  WriteFile(windows / "config" / "SecEvent.Evt", LegacyLog("Security"));
  WriteFile(windows / "netevent.dll",
            pe::BuildPeImage({MessageTable({
                {0x40001B7B, "The %1 service was successfully sent a %2 control.\r\n"},
                {0xC0001B58, "The %1 service failed to start due to the following error: %2\r\n"},
                {0x80001775, "The previous system shutdown was unexpected.\r\n"},
                {1, "Devices\r\n"},
            })}));
  WriteFile(windows / "kernel32.dll",
            pe::BuildPeImage({MessageTable({
                {1053, "The service did not respond to the start or control request in a timely "
                       "fashion.\r\n"},
            })}));
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

class LegacyLogsEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = MakeScratch("qrv-xp");
    WriteXpImage(root_);
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }
  void SetUp() override { setenv("QRV_EVENTLOG_ROOT", root_.c_str(), 1); }
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  static ToolResult Run(const std::vector<std::string>& args) {
    ToolResult run = RunTool(QRV_TOOL_PATH, args);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
    return run;
  }
  // The printed lines of the events of `log` passing `keep`.
  template <typename Keep>
  static std::string Lines(const std::string& log, Keep keep) {
    std::vector<std::string> lines;
    for (const Event& e : Events()) {
      if (log == e.log && keep(e)) lines.push_back(Line(e, log));
    }
    return Join(lines);
  }

  static fs::path root_;
};

fs::path LegacyLogsEndToEnd::root_;

TEST_F(LegacyLogsEndToEnd, EveryCommandOverAnXpImage) {
  const auto all = [](const Event&) { return true; };
  // No WINEVT key: the service logs are the whole channel list.
  EXPECT_EQ(Run({"NOWARN", "GETLISTCHANNELS"}).out, "Application\nSecurity\nSystem\n");

  const std::string select_system =
      "<QueryList><Query Id='0'><Select Path='System'>*</Select></Query></QueryList>";
  const std::string file_query =
      "<QueryList><Query Id='0'><Select Path='file://" +
      (root_ / "WINDOWS/system32/config/SysEvent.Evt").string() +
      "'>*[EventData[Data='Alerter']] or *[System[EventID=6005 and Level=3]]</Select></Query></QueryList>";
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"GETEVENTSCHANNEL", "System"}, Lines("System", all)},
      {{"GETEVENTSID", "System", "7000"},
       Lines("System", [](const Event& e) { return (e.event_id & 0xFFFF) == 7000; })},
      {{"GETEVENTSSEVERITY", "System", "Error|Warning"},
       Lines("System", [](const Event& e) { return e.type != evt::kTypeInformation; })},
      {{"GETEVENTSSEVERITYDAYS", "Security", "Audit Success|Audit Failure", "2"},
       Lines("Security", all)},
      {{"GETEVENTSSEVERITYDAYS", "Security", "Audit Failure", "2"},
       Lines("Security", [](const Event& e) { return e.type == evt::kTypeAuditFailure; })},
      {{"GETEVENTSQUERY", select_system}, Lines("System", all)},
      {{"GETEVENTSQUERY", file_query},
       Lines("System", [](const Event& e) { return e.type != evt::kTypeInformation; })},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"NOWARN"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[0]);
    EXPECT_EQ(Run(args).out, c.out);
  }

  const std::string everything = Run({"NOWARN", "GETEVENTS"}).out;
  for (const Event& e : Events()) EXPECT_NE(everything.find(Line(e, e.log)), std::string::npos);

  // GETLIST walks every source of the service logs. With no event metadata
  // on XP, a source declares its message table (ascending full ids, shown
  // by Event ID), less EventLog's category 1; ParameterMessageFile's
  // kernel32.dll is not an event file.
  EXPECT_EQ(Run({"NOWARN", "GETLIST"}).out,
            Join({"System\tEventLog\t7035\tThe %1 service was successfully sent a %2 control.",
                  "System\tEventLog\t6005\tThe previous system shutdown was unexpected.",
                  "System\tEventLog\t7000\tThe %1 service failed to start due to the following "
                  "error: %2",
                  "System\tService Control Manager\t1\tDevices",
                  "System\tService Control Manager\t7035\tThe %1 service was successfully sent a "
                  "%2 control.",
                  "System\tService Control Manager\t6005\tThe previous system shutdown was "
                  "unexpected.",
                  "System\tService Control Manager\t7000\tThe %1 service failed to start due to "
                  "the following error: %2"}));

  ToolProcess poll(QRV_TOOL_PATH, {"NOWARN", "POLLEVENTSQUERY", select_system});
  ASSERT_TRUE(poll.started());
  EXPECT_TRUE(poll.WaitForOutput(Lines("System", all), std::chrono::milliseconds(10'000)));
  ASSERT_TRUE(poll.Signal(SIGINT));
  EXPECT_EQ(poll.Wait(std::chrono::milliseconds(10'000)).exit_status, 0);
}

#ifdef QRV_MESSAGE_DB_PATH
// The image's messages written into a database, then read for its System log
// copied alone into a folder: the classic keys (full event id) and the %%n
// parameters come from the database as from the DLLs.
TEST_F(LegacyLogsEndToEnd, MessagesFromADatabaseWithoutTheDlls) {
  const fs::path folder = MakeScratch("qrv-xp-db");
  const fs::path db = folder / "messages.db";
  ASSERT_EQ(RunTool(QRV_MESSAGE_DB_PATH, {root_.string(), db.string()}).exit_status, 0);
  const fs::path logs = folder / "logs";
  fs::create_directories(logs);
  fs::copy_file(root_ / "WINDOWS/system32/config/SysEvent.Evt", logs / "SysEvent.Evt");
  setenv("QRV_EVENTLOG_ROOT", logs.c_str(), 1);
  setenv("QRV_EVENTLOG_MESSAGES", db.c_str(), 1);
  EXPECT_EQ(Run({"NOWARN", "GETEVENTSCHANNEL", "System"}).out,
            Lines("System", [](const Event&) { return true; }));
  unsetenv("QRV_EVENTLOG_MESSAGES");
  fs::remove_all(folder);
}
#endif

// A bare folder: legacy and EVTX files side by side, each read as what its
// bytes are; legacy logs take their channel from their file name.
TEST(LegacyLogsInAFolder, MixedWithEvtxFilesWhateverTheirNames) {
  const fs::path root = MakeScratch("qrv-mixed");
  WriteFile(root / "SYSEVENT.EVT", LegacyLog("System"));
  // A legacy log named as EVTX, and an EVTX file named as legacy.
  WriteFile(root / "Custom.evtx", LegacyLog("Application"));
  evtx::WriterEvent modern;
  modern.provider_name = "Modern-Provider";
  modern.event_id = 42;
  modern.level = 4;
  modern.time_created = (uint64_t{kNow} - 100) * 10000000 + 116444736000000000ULL;
  modern.channel = "Setup";
  modern.computer = "XP";
  modern.event_data.push_back({"Phase", evtx::WriterValue::String("1"), false});
  WriteFile(root / "Renamed.evt", evtx::WriteEvtx({modern}));
  setenv("QRV_EVENTLOG_ROOT", root.c_str(), 1);

  const std::string channels = RunTool(QRV_TOOL_PATH, {"NOWARN", "GETLISTCHANNELS"}).out;
  for (const char* name : {"Custom\n", "Setup\n", "System\n"})
    EXPECT_NE(channels.find(name), std::string::npos) << channels;
  // Without the machine's DLLs no classic message is found.
  const auto bare = [](const Event& e, const char* channel) {
    Event without = e;
    without.message = "Event message not found";
    return Line(without, channel) + "\n";
  };
  std::string system;
  for (const Event& e : Events())
    if (std::string(e.log) == "System") system += bare(e, "System");
  const struct {
    const char* channel;
    std::string out;
  } cases[] = {
      {"System", system},
      {"Custom", bare(Events()[3], "Custom")},
      {"Setup", "Setup\tModern-Provider\t" + IsoTime(kNow - 100) + "\t42\tInformation\t" +
                    "Event message not found\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunTool(QRV_TOOL_PATH, {"NOWARN", "GETEVENTSCHANNEL", c.channel}).out, c.out)
        << c.channel;
  }
  unsetenv("QRV_EVENTLOG_ROOT");
  fs::remove_all(root);
}

}  // namespace
}  // namespace qrv
