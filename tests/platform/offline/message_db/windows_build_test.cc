// Windows builds: a published database's name, the machine's build from the
// System log's boot events, and a folder of databases asked nearest build
// first, one key at a time.
#include "platform/offline/message_db/windows_build.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/file_reader.h"
#include "platform/offline/message_db/message_databases.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/message_db/test_database.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;

TEST(WindowsBuildTest, PublishedNamesGiveTheirBuild) {
  const struct {
    const char* name;
    std::optional<uint32_t> build;
  } kCases[] = {
      {"windows_10_1703_enterprise_x64_10.0.15063.0.db", 15063},
      {"windows_7_sp1_enterprise_x64_6.1.7601.0.db", 7601},
      {"WINDOWS_SERVER_2022_X64_10.0.20348.0.DB", 20348},
      {"10.0.22631.2861.db", 22631},
      {"windows_10_1703.db", std::nullopt},
      {"windows_10_x64_10.0.15063.db", std::nullopt},
      {"windows_10_x64_10.0.15063.0.sqlite", std::nullopt},
      {"windows_10_x64_10.0.150x3.0.db", std::nullopt},
      {"windows_10_x64_10.0.0.0.db", std::nullopt},
      {"sample.db", std::nullopt},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(BuildFromDatabaseName(c.name), c.build) << c.name;
  }
}

evtx::WriterEvent BootEvent(uint64_t time, const char* build,
                            const char* ubr) {
  evtx::WriterEvent e;
  e.provider_name = "EventLog";
  e.event_id = 6009;
  e.qualifiers = 0x8000;
  e.level = 4;
  e.keywords = 0x80000000000000ULL;
  e.time_created = time;
  e.channel = "System";
  e.computer = "host";
  for (const char* item : {"10.00.", build, "", "Multiprocessor Free", ubr}) {
    e.event_data.push_back({"", evtx::WriterValue::String(item)});
  }
  return e;
}

TEST(WindowsBuildTest, TheNewestBootEventOfTheSystemLogNamesTheBuild) {
  testing::TempFolder dir;
  constexpr uint64_t kDay = 864000000000ULL;
  const uint64_t t = 133000000000000000ULL;
  evtx::WriterEvent other = BootEvent(t + 9 * kDay, "99999", "1");
  other.event_id = 6005;
  // Written out of time order, across two files: the newest counts.
  const std::vector<std::vector<evtx::WriterEvent>> files = {
      {BootEvent(t + 2 * kDay, "19045", "3803"), other},
      {BootEvent(t, "17763", "1"), BootEvent(t + kDay, "19044", "2")}};
  std::vector<fs::path> paths;
  for (size_t i = 0; i < files.size(); ++i) {
    paths.push_back(dir.path() / ("System" + std::to_string(i) + ".evtx"));
    const std::vector<uint8_t> bytes = evtx::WriteEvtx(files[i]);
    std::ofstream(paths.back(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  const std::optional<WindowsBuild> found = BuildFromSystemLog(paths);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->build, 19045u);
  EXPECT_EQ(found->ubr, 3803u);
  EXPECT_FALSE(BuildFromSystemLog({paths[1] / "missing"}).has_value());
}

TEST(WindowsBuildTest, ABootEventPastTwoGibibytesOfLogCounts) {
  // An older boot event in the first chunk, 2 GiB of empty slots (a hole in
  // the file), then a chunk with the newest: the log is not read whole.
  testing::TempFolder dir;
  const uint64_t t = 133000000000000000ULL;
  const std::vector<uint8_t> first =
      evtx::WriteEvtx({BootEvent(t, "19044", "2")});
  const std::vector<uint8_t> last =
      evtx::WriteEvtx({BootEvent(t + 1, "22631", "2861")});
  const uint64_t far = evtx::kFileHeaderBlockSize + (32768ull << 16);
  const fs::path path = dir.path() / "System.evtx";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(first.data()),
              static_cast<std::streamsize>(first.size()));
    out.seekp(static_cast<std::streamoff>(far));
    out.write(reinterpret_cast<const char*>(last.data()) +
                  evtx::kFileHeaderBlockSize,
              evtx::kChunkSize);
    ASSERT_TRUE(out.good());
  }
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  ASSERT_EQ(static_cast<uint64_t>(st.st_size), far + evtx::kChunkSize);
  if (static_cast<uint64_t>(st.st_blocks) * 512 > (16u << 20))
    GTEST_SKIP() << "the file system keeps no holes";
  const std::optional<WindowsBuild> found = BuildFromSystemLog({path});
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->build, 22631u);
  EXPECT_EQ(found->ubr, 2861u);
}

class DatabaseFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(folder_);
    // Each database words event 1 by its own build; only the Windows 7 one
    // has event 2.
    for (const char* name :
         {"windows_7_sp1_enterprise_x64_6.1.7601.0.db",
          "windows_10_1703_enterprise_x64_10.0.15063.0.db",
          "windows_10_1607_enterprise_x64_10.0.14393.0.db",
          "windows_server_2016_x64_10.0.14393.0.db",
          "windows_11_23h2_x64_10.0.22631.0.db", "own.db", "unknown.db"}) {
      std::vector<testing::TemplateRow> rows = {{"P", 1, name}};
      if (std::string(name).find("7601") != std::string::npos)
        rows.push_back({"P", 2, "seven"});
      ASSERT_TRUE(testing::WriteTestDatabase(folder_ / name, rows));
    }
    // As qrv_message_db records the build of the image it read.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder_ / "own.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE windows_build (build INTEGER, ubr "
                           "INTEGER, product_name TEXT, installation_type "
                           "TEXT); INSERT INTO windows_build VALUES (19045, "
                           "3803, 'Windows 10 Pro', 'Client');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    std::ofstream(folder_ / "notes.txt") << "not a database";
  }

  // The file names in the order asked, for a machine of `machine`.
  std::vector<std::string> Order(const std::optional<WindowsBuild>& machine,
                                 int* asked = nullptr) {
    std::vector<std::string> warnings;
    databases_ = MessageDatabases::Open(
        "::" + folder_.string(), &warnings, [&] {
          if (asked != nullptr) ++*asked;
          return machine;
        });
    EXPECT_TRUE(warnings.empty());
    std::vector<std::string> names;
    for (const std::string& entry : databases_->order()) {
      names.push_back(entry.substr(folder_.string().size() + 1));
    }
    return names;
  }

  testing::TempFolder dir_;
  const fs::path folder_ = dir_.path() / "databases";
  std::unique_ptr<MessageDatabases> databases_;
};

TEST_F(DatabaseFolderTest, NearestBuildFirstThenTheEditionThenNewer) {
  WindowsBuild client;
  client.build = 19045;
  WindowsBuild server;
  server.build = 14393;
  server.installation = "Server";
  int asked = 0;
  EXPECT_EQ(Order(client, &asked),
            (std::vector<std::string>{
                "own.db (build 19045)",
                "windows_11_23h2_x64_10.0.22631.0.db (build 22631)",
                "windows_10_1703_enterprise_x64_10.0.15063.0.db (build 15063)",
                "windows_10_1607_enterprise_x64_10.0.14393.0.db (build 14393)",
                "windows_server_2016_x64_10.0.14393.0.db (build 14393)",
                "windows_7_sp1_enterprise_x64_6.1.7601.0.db (build 7601)",
                "unknown.db (build unknown)"}));
  EXPECT_EQ(asked, 1);
  // Per key, the nearest database that has it answers.
  auto provider = databases_->Find("P");
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(provider->Templates(1).at(0).text, "own.db");
  EXPECT_EQ(provider->Templates(2).at(0).text, "seven");

  const std::vector<std::string> for_server = Order(server);
  ASSERT_EQ(for_server.size(), 7u);
  EXPECT_EQ(for_server[0],
            "windows_server_2016_x64_10.0.14393.0.db (build 14393)");
  EXPECT_EQ(for_server[1],
            "windows_10_1607_enterprise_x64_10.0.14393.0.db (build 14393)");
  // Unknown: newest first, the unknown build last.
  const std::vector<std::string> unknown = Order(std::nullopt);
  EXPECT_EQ(unknown.front(),
            "windows_11_23h2_x64_10.0.22631.0.db (build 22631)");
  EXPECT_EQ(unknown[1], "own.db (build 19045)");
  EXPECT_EQ(unknown.back(), "unknown.db (build unknown)");
}

TEST_F(DatabaseFolderTest, NamedFilesKeepTheirPlaceAndAskNothing) {
  const fs::path file = folder_ / "windows_7_sp1_enterprise_x64_6.1.7601.0.db";
  int asked = 0;
  std::vector<std::string> warnings;
  auto databases = MessageDatabases::Open(
      file.string() + ":" + (folder_ / "own.db").string(), &warnings,
      [&asked] {
        ++asked;
        return std::optional<WindowsBuild>();
      });
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(databases->order(),
            (std::vector<std::string>{file.string() + " (build 7601)",
                                      (folder_ / "own.db").string() +
                                          " (build 19045)"}));
  EXPECT_EQ(databases->Find("P")->Templates(1).at(0).text,
            "windows_7_sp1_enterprise_x64_6.1.7601.0.db");
}

}  // namespace
}  // namespace qrv::offline
