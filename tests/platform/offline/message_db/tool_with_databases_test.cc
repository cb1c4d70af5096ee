// The built program with message databases: the image's files win over a
// database, files that cannot serve change nothing but one line on standard
// error each, an image exported by qrv_message_db and read back as a bare
// folder gives the messages the files give (parameter strings included), a
// folder of databases is asked nearest the machine's build first, and a
// folder with only a Sysmon log lists its channels.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/evtx/evtx_writer.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/message_db/test_database.h"
#include "tests/support/run_tool.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;
using test_support::RunTool;
using test_support::ToolResult;

std::vector<std::vector<std::string>> Lines(const std::string& out) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
      const size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    lines.push_back(std::move(fields));
  }
  return lines;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ToolWithDatabases : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("QRV_EVENTLOG_ROOT");
    unsetenv("QRV_EVENTLOG_MESSAGES");
    unsetenv("QRV_EVENTLOG_MESSAGES_VERBOSE");
  }
  static ToolResult Run(const fs::path& root, const std::string& databases,
                        const std::string& command) {
    setenv("QRV_EVENTLOG_ROOT", root.c_str(), 1);
    if (databases.empty()) {
      unsetenv("QRV_EVENTLOG_MESSAGES");
    } else {
      setenv("QRV_EVENTLOG_MESSAGES", databases.c_str(), 1);
    }
    ToolResult run = RunTool(QRV_TOOL_PATH, {"NOWARN", command});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    return run;
  }
  const fs::path sample_ = QRV_SAMPLE_IMAGE_DIR;
  testing::TempFolder dir_;
};

TEST_F(ToolWithDatabases, TheImagesFilesWinAndTheDatabaseFillsTheGaps) {
  const ToolResult plain = Run(sample_, "", "GETEVENTS");
  // Other texts for every (provider, id) the image logs.
  std::vector<testing::TemplateRow> rows;
  for (const auto& line : Lines(plain.out)) {
    ASSERT_GE(line.size(), 6u);
    rows.push_back({line[1], std::stoll(line[3]), "DATABASE %1"});
  }
  ASSERT_TRUE(testing::WriteTestDatabase(dir_.path() / "other.db", rows));
  const std::string db = (dir_.path() / "other.db").string();
  const ToolResult with_db = Run(sample_, db, "GETEVENTS");
  EXPECT_EQ(with_db.err, "");
  const auto before = Lines(plain.out);
  const auto after = Lines(with_db.out);
  ASSERT_EQ(before.size(), after.size());
  size_t from_files = 0, from_database = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i][5] == "Event message not found") {
      EXPECT_EQ(after[i][5].rfind("DATABASE ", 0), 0u) << after[i][5];
      ++from_database;
    } else {
      EXPECT_EQ(after[i], before[i]);
      ++from_files;
    }
  }
  EXPECT_GT(from_files, 100u);
  // The catalogue of publishers with message files is theirs alone.
  EXPECT_EQ(Run(sample_, db, "GETLIST").out, Run(sample_, "", "GETLIST").out);
}

TEST_F(ToolWithDatabases, FilesThatCannotServeChangeOnlyStandardError) {
  std::ofstream(dir_.path() / "text.db") << std::string(2048, 't');
  const std::string missing = (dir_.path() / "missing.db").string();
  const std::string text = (dir_.path() / "text.db").string();
  for (const char* command : {"GETEVENTS", "GETLIST", "GETLISTCHANNELS"}) {
    const ToolResult plain = Run(sample_, "", command);
    const ToolResult bad = Run(sample_, missing + ":" + text, command);
    EXPECT_EQ(bad.out, plain.out) << command;
    EXPECT_EQ(bad.err,
              "QRV_EventLog_Tools: QRV_EVENTLOG_MESSAGES: skipped " + missing +
                  ": not found\nQRV_EventLog_Tools: QRV_EVENTLOG_MESSAGES: "
                  "skipped " + text + ": not a SQLite database\n");
  }
}

TEST_F(ToolWithDatabases, AnExportedImageReadsBackAsABareFolder) {
  const fs::path db = dir_.path() / "sample.db";
  ToolResult exported =
      RunTool(QRV_MESSAGE_DB_PATH, {sample_.string(), db.string()});
  ASSERT_EQ(exported.exit_status, 0) << exported.err;
  // Again: nothing new, and the file stays a database.
  exported = RunTool(QRV_MESSAGE_DB_PATH, {sample_.string(), db.string()});
  EXPECT_EQ(exported.out,
            "0 providers and 0 messages added to " + db.string() + "\n");

  const fs::path bare = dir_.path() / "bare";
  fs::create_directory(bare);
  for (const auto& log :
       fs::directory_iterator(sample_ / "Windows/System32/winevt/Logs")) {
    fs::copy_file(log.path(), bare / log.path().filename());
  }
  const std::string all_events = Run(bare, db.string(), "GETEVENTS").out;
  EXPECT_EQ(all_events, Run(sample_, "", "GETEVENTS").out);
  // Parameter strings too: the sample's backup kinds (%%1001..., a classic
  // source's ParameterMessageFile) and failure reasons (%%2313, a manifest
  // provider's ParameterFileName) come from the database.
  EXPECT_NE(all_events.find("The full backup of volume"), std::string::npos);
  EXPECT_NE(all_events.find("Failure Reason: Unknown user name or bad password."),
            std::string::npos);
  EXPECT_EQ(all_events.find("%%"), std::string::npos);
  // Channel owners (and how often a channel is listed) differ between the
  // image's registry and the one made up
  // for a folder; each (channel, publisher) listed in both lists the same
  // events with the same messages.
  auto by_publisher = [](const std::string& out) {
    std::map<std::string, std::set<std::string>> listed;
    for (const auto& line : Lines(out)) {
      if (line.size() == 4) {
        listed[line[0] + "\t" + line[1]].insert(line[2] + "\t" + line[3]);
      }
    }
    return listed;
  };
  const auto from_files = by_publisher(Run(sample_, "", "GETLIST").out);
  const auto from_db = by_publisher(Run(bare, db.string(), "GETLIST").out);
  size_t compared = 0;
  for (const auto& [publisher, events] : from_db) {
    auto it = from_files.find(publisher);
    if (it == from_files.end()) continue;
    EXPECT_EQ(events, it->second) << publisher;
    ++compared;
  }
  EXPECT_GE(compared, 1u);

  // A target that is not a database is refused and left as it was.
  const fs::path not_db = dir_.path() / "notes.db";
  std::ofstream(not_db) << std::string(4096, 'n');
  exported = RunTool(QRV_MESSAGE_DB_PATH, {sample_.string(), not_db.string()});
  EXPECT_EQ(exported.exit_status, 1);
  EXPECT_EQ(ReadAll(not_db), std::string(4096, 'n'));
  // No temporary copy left behind: sample.db, bare/ and notes.db.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), 3);
}

// What qrv_message_db cannot use is refused with one line that says why,
// exit status 1 and no file written: an image with no message to give, and
// a folder as OUT.
TEST_F(ToolWithDatabases, TheCompanionRefusesWhatItCannotUse) {
  const fs::path logs = dir_.path() / "logs";  // a folder of logs only
  fs::create_directory(logs);
  for (const auto& log :
       fs::directory_iterator(sample_ / "Windows/System32/winevt/Logs")) {
    fs::copy_file(log.path(), logs / log.path().filename());
  }
  const fs::path hives = dir_.path() / "hives";  // a registry, no DLLs
  fs::create_directories(hives / "Windows/System32");
  fs::copy(sample_ / "Windows/System32/config", hives / "Windows/System32/config");
  const fs::path out = dir_.path() / "out.db";
  const struct {
    fs::path image, target;
    std::string why;
  } cases[] = {
      {logs, out,
       " holds no registry (Windows/System32/config/SYSTEM or SOFTWARE) and "
       "so no message files; nothing written"},
      {hives, out, " has no message file that its registry names; nothing written"},
      {sample_, dir_.path(), " is a folder; OUT names the database file to write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.image.string());
    const ToolResult run =
        RunTool(QRV_MESSAGE_DB_PATH, {c.image.string(), c.target.string()});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, "");
    const fs::path named = c.target == out ? c.image : c.target;
    EXPECT_EQ(run.err, "qrv_message_db: " + named.string() + c.why + "\n");
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), 2);
}

// A new database gets the mode of any new file, under the caller's umask;
// one written again keeps its own.
TEST_F(ToolWithDatabases, TheDatabaseIsWrittenWithTheUsersUmask) {
  const fs::path db = dir_.path() / "shared.db";
  const mode_t before = umask(027);  // the program inherits it
  ToolResult run = RunTool(QRV_MESSAGE_DB_PATH, {sample_.string(), db.string()});
  umask(before);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(fs::status(db).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write |
                          fs::perms::others_read);
  run = RunTool(QRV_MESSAGE_DB_PATH, {sample_.string(), db.string()});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(fs::status(db).permissions(), fs::perms::owner_read |
                                              fs::perms::owner_write |
                                              fs::perms::others_read);
}

// The boot event Windows writes to the System log, naming its build.
void WriteBootLog(const fs::path& path) {
  evtx::WriterEvent e;
  e.provider_name = "EventLog";
  e.event_id = 6009;
  e.qualifiers = 0x8000;
  e.level = 4;
  e.keywords = 0x80000000000000ULL;
  e.time_created = 133544000000000000ULL;  // 2024-03-05
  e.channel = "System";
  e.computer = "host";
  for (const char* item :
       {"10.00.", "19045", "", "Multiprocessor Free", "3803"}) {
    e.event_data.push_back({"", evtx::WriterValue::String(item)});
  }
  const std::vector<uint8_t> bytes = evtx::WriteEvtx({e});
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST_F(ToolWithDatabases, AFolderIsAskedNearestTheMachinesBuildFirst) {
  // The sample's own database (it records build 19045) beside a newer
  // build's that words every event otherwise.
  const fs::path folder = dir_.path() / "databases";
  fs::create_directory(folder);
  const fs::path own = folder / "sample.db";
  ASSERT_EQ(RunTool(QRV_MESSAGE_DB_PATH, {sample_.string(), own.string()})
                .exit_status,
            0);
  // The same rows, every message (parameter strings aside) reworded, and
  // the build only in the published file name.
  const fs::path newer = folder / "windows_11_23h2_x64_10.0.22631.0.db";
  fs::copy_file(own, newer);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "UPDATE messages SET message = 'NEWER BUILD' WHERE "
                         "event_id < 8589934592; DELETE FROM windows_build;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const ToolResult plain = Run(sample_, "", "GETEVENTS");
  const fs::path bare = dir_.path() / "bare";
  fs::create_directory(bare);
  for (const auto& log :
       fs::directory_iterator(sample_ / "Windows/System32/winevt/Logs")) {
    fs::copy_file(log.path(), bare / log.path().filename());
  }
  setenv("QRV_EVENTLOG_MESSAGES_VERBOSE", "1", 1);
  const std::string order = "asked in this order: " + own.string() +
                            " (build 19045), " + newer.string() +
                            " (build 22631)\n";

  // Nothing says which build the folder's machine runs: newest first.
  ToolResult run = Run(bare, folder.string(), "GETEVENTS");
  EXPECT_EQ(run.err,
            "QRV_EventLog_Tools: QRV_EVENTLOG_MESSAGES: machine build "
            "unknown, newest database first; asked in this order: " +
                newer.string() + " (build 22631), " + own.string() +
                " (build 19045)\n");
  for (const auto& line : Lines(run.out)) EXPECT_EQ(line[5], "NEWER BUILD");

  // Its System log's boot event says 19045: the sample's own database
  // answers, as the image's files did.
  WriteBootLog(bare / "boot.evtx");
  run = Run(bare, folder.string(), "GETEVENTS");
  EXPECT_EQ(run.err,
            "QRV_EventLog_Tools: QRV_EVENTLOG_MESSAGES: machine build "
            "19045.3803 (System log, event 6009); " + order);
  std::string without_boot;
  for (const auto& line : Lines(run.out)) {
    if (line[1] == "EventLog") continue;
    for (size_t i = 0; i < line.size(); ++i) {
      without_boot += (i == 0 ? "" : "\t") + line[i];
    }
    without_boot += "\n";
  }
  EXPECT_EQ(without_boot, plain.out);

  // On the image itself the SOFTWARE hive names the build.
  run = Run(sample_, folder.string(), "GETLISTCHANNELS");
  EXPECT_EQ(run.err,
            "QRV_EventLog_Tools: QRV_EVENTLOG_MESSAGES: machine build "
            "19045.3803 (SOFTWARE hive); " + order);
}

TEST_F(ToolWithDatabases, AFolderWithOnlySysmonListsItsChannels) {
  const fs::path sysmon =
      fs::path(QRV_SHARED_DIR) / "corpus/evtx-rs/samples/sysmon.evtx";
  if (!fs::exists(sysmon)) GTEST_SKIP() << "no shared corpus";
  fs::create_symlink(sysmon, dir_.path() / "sysmon.evtx");
  const ToolResult channels = Run(dir_.path(), "", "GETLISTCHANNELS");
  std::vector<std::string> names;
  for (const auto& line : Lines(channels.out)) names.push_back(line[0]);
  // The classic logs as services, then every channel.
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "Application", "Security", "System", "Application",
                "Microsoft-Windows-Sysmon/Operational", "Security", "System"}));
  EXPECT_EQ(Run(dir_.path(), "", "GETLIST").out.find("Failed to Get List."),
            std::string::npos);
}

}  // namespace
}  // namespace qrv::offline
