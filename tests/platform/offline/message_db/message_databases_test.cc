// Message databases through SQLite: files that cannot serve are skipped with
// their reason, earlier files win, lookups ignore letter case and empty rows,
// the event enumeration, and many threads asking at once.
#include "platform/offline/message_db/message_databases.h"
#include "platform/offline/message_db/message_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/message_db/test_database.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;
using testing::TemplateRow;
using testing::WriteTestDatabase;

std::vector<std::string> Texts(const std::vector<MessageTemplate>& rows) {
  std::vector<std::string> texts;
  for (const MessageTemplate& row : rows) texts.push_back(row.text);
  return texts;
}

class MessageDatabasesTest : public ::testing::Test {
 protected:
  fs::path Path(const std::string& name) { return dir_.path() / name; }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  // Runs `sql` on database file `name`; false when SQLite refuses.
  bool Exec(const std::string& name, const char* sql) {
    sqlite3* db = nullptr;
    const bool ok =
        sqlite3_open(Path(name).c_str(), &db) == SQLITE_OK &&
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
  }
  testing::TempFolder dir_;
};

TEST_F(MessageDatabasesTest, FilesThatCannotServeAreSkippedWithTheirReason) {
  ASSERT_TRUE(WriteTestDatabase(Path("good.db"), {{"P", 1, "one"}}));
  WriteFile("text.db", std::string(4096, 'x'));
  // A valid header over pages of garbage.
  std::string damaged(8192, '\xA5');
  damaged.replace(0, 16, std::string("SQLite format 3\0", 16));
  WriteFile("damaged.db", damaged);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(Path("other.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE events (id, text);", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(other);
  ASSERT_TRUE(WriteTestDatabase(Path("locked.db"), {{"P", 1, "locked"}}));
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(Path("locked.db").c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer,
                         "BEGIN EXCLUSIVE; INSERT INTO providers(name) "
                         "VALUES ('Q');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(mkfifo(Path("fifo.db").c_str(), 0600), 0);
  // A folder stands for the databases in it: an empty one adds none, and
  // says nothing.
  fs::create_directory(Path("folder.db"));

  const struct {
    std::string name;
    std::string reason;
  } kCases[] = {{"missing.db", "not found"},
                {"text.db", "not a SQLite database"},
                {"damaged.db", "not a SQLite database"},
                {"other.db", "another schema: no such table: providers"},
                {"locked.db", "locked"},
                {"fifo.db", "not a file"}};
  std::string list;
  std::vector<std::string> expected;
  for (const auto& c : kCases) {
    list += Path(c.name).string() + ":";
    expected.push_back(Path(c.name).string() + ": " + c.reason);
  }
  list += Path("folder.db").string() + ":" + Path("good.db").string();
  std::vector<std::string> warnings;
  auto databases = MessageDatabases::Open(list, &warnings);
  sqlite3_exec(writer, "ROLLBACK;", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
  EXPECT_EQ(warnings, expected);
  ASSERT_EQ(databases->size(), 1u);
  auto provider = databases->Find("P");
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(Texts(provider->Templates(1)), std::vector<std::string>{"one"});
}

TEST_F(MessageDatabasesTest, EarlierFilesWinPerKeyAndEmptyRowsDoNotAnswer) {
  ASSERT_TRUE(WriteTestDatabase(
      Path("first.db"),
      {{"Microsoft-Windows-A", 7, "first %1"},
       {"Microsoft-Windows-A", 7, "first again %1 %2"},
       {"Microsoft-Windows-A", 8, ""},
       {"Microsoft-Windows-A", kClassicKeyBase + 0x40001B7C, "classic"},
       {"Microsoft-Windows-A", kKeyLimit, "never read"},
       {"Microsoft-Windows-A", -1, "never read"}}));
  ASSERT_TRUE(WriteTestDatabase(Path("second.db"),
                                {{"Other", 1, "other"},
                                 {"microsoft-windows-a", 7, "second"},
                                 {"microsoft-windows-a", 8, "second eight"},
                                 {"microsoft-windows-a", 9, "second nine"}}));
  std::vector<std::string> warnings;
  auto databases = MessageDatabases::Open(
      "::" + Path("first.db").string() + ":" + Path("second.db").string(),
      &warnings);
  EXPECT_TRUE(warnings.empty());
  auto provider = databases->Find("MICROSOFT-WINDOWS-A");
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(Texts(provider->Templates(7)),
            (std::vector<std::string>{"first %1", "first again %1 %2"}));
  EXPECT_EQ(Texts(provider->Templates(8)),
            std::vector<std::string>{"second eight"});
  EXPECT_EQ(Texts(provider->Templates(kClassicKeyBase + 0x40001B7C)),
            std::vector<std::string>{"classic"});
  EXPECT_TRUE(provider->Templates(10).empty());
  EXPECT_TRUE(provider->Templates(kKeyLimit).empty());
  EXPECT_EQ(databases->Find("Nobody"), nullptr);

  // Ascending ids, no classic keys, no empty rows, row order within an id;
  // each message id gives back its text.
  std::vector<std::pair<uint16_t, std::string>> listed;
  for (const TemplateEvent& event : provider->Events()) {
    listed.emplace_back(event.event_id,
                        provider->Text(event.message_id).value_or("?"));
  }
  EXPECT_EQ(listed, (std::vector<std::pair<uint16_t, std::string>>{
                        {7, "first %1"},
                        {7, "first again %1 %2"},
                        {8, "second eight"},
                        {9, "second nine"}}));
  EXPECT_FALSE(provider->Text(0).has_value());
  EXPECT_FALSE(provider->Text(5).has_value());
}

// The row scan reads each message's type and length rather than comparing
// it in SQL: NULL and '' are empty, a BLOB (even of no bytes) is not, as
// "message IS NULL OR message = ''" has it. Rows of providers out of order
// (written interleaved) still keep row order per provider.
TEST_F(MessageDatabasesTest, EmptyRowsAreNullOrEmptyTextInAnyRowOrder) {
  ASSERT_TRUE(WriteTestDatabase(Path("kinds.db"), {{"A", 1, "null"},
                                                   {"B", 1, "b one"},
                                                   {"A", 2, "empty"},
                                                   {"B", 2, "b two"},
                                                   {"A", 3, "blob"},
                                                   {"A", 4, "text"}}));
  ASSERT_TRUE(Exec("kinds.db",
                   "UPDATE messages SET message = NULL WHERE message = "
                   "'null'; UPDATE messages SET message = '' WHERE "
                   "message = 'empty'; UPDATE messages SET message = "
                   "X'' WHERE message = 'blob';"));
  std::vector<std::string> warnings;
  auto databases = MessageDatabases::Open(Path("kinds.db").string(), &warnings);
  auto a = databases->Find("A");
  auto b = databases->Find("B");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  std::vector<uint16_t> listed;
  for (const TemplateEvent& event : a->Events()) listed.push_back(event.event_id);
  EXPECT_EQ(listed, (std::vector<uint16_t>{3, 4}));
  EXPECT_EQ(Texts(b->Templates(2)), std::vector<std::string>{"b two"});
  EXPECT_EQ(b->Events().size(), 2u);
}

// The first providers are read with a scan each, the later ones from an
// index of the whole table: both must give every provider the same rows.
TEST_F(MessageDatabasesTest, ScannedAndIndexedProvidersGetTheSameRows) {
  std::vector<TemplateRow> rows;
  for (int i = 0; i < 60; ++i) {
    // Interleaved providers, ids out of range, NULL and empty messages.
    const int64_t event_id =
        i % 11 == 5 ? -1 : i % 13 == 7 ? (int64_t{3} << 32) : i;
    rows.push_back({"P" + std::to_string(i % 9), event_id,
                    i % 5 == 0 ? "null" : i % 7 == 0 ? "" : "t"});
  }
  ASSERT_TRUE(WriteTestDatabase(Path("mixed.db"), rows));
  ASSERT_TRUE(Exec("mixed.db",
                   "UPDATE messages SET message = NULL WHERE message = 'null'"));
  std::string reason;
  auto database = MessageDatabase::Open(Path("mixed.db").string(), &reason);
  ASSERT_NE(database, nullptr) << reason;
  const auto flat = [](const std::vector<DatabaseRow>& got) {
    std::vector<std::string> out;
    for (const DatabaseRow& r : got) {
      out.push_back(std::to_string(r.key) + "/" + std::to_string(r.row_id) +
                    (r.empty ? "e" : ""));
    }
    return out;
  };
  std::vector<std::vector<std::string>> first, again;
  for (int64_t id = 1; id <= 9; ++id) {
    first.push_back(flat(database->ProviderRows(id)));
  }
  for (int64_t id = 1; id <= 9; ++id) {
    again.push_back(flat(database->ProviderRows(id)));
  }
  EXPECT_EQ(first, again);
  // P1 (provider id 2) has rows 2, 11, ..., 56; row 47's id is out of
  // range, rows 11 and 56 are NULL, row 29 is ''.
  EXPECT_EQ(first[1], (std::vector<std::string>{"1/2", "10/11e", "19/20",
                                                 "28/29e", "37/38", "55/56e"}));
}

TEST_F(MessageDatabasesTest, ThreadsShareOneLibrary) {
  std::vector<TemplateRow> rows;
  for (int id = 0; id < 200; ++id) {
    rows.push_back(
        {"P" + std::to_string(id % 7), id, "text " + std::to_string(id)});
  }
  ASSERT_TRUE(WriteTestDatabase(Path("many.db"), rows));
  std::vector<std::string> warnings;
  auto databases = MessageDatabases::Open(Path("many.db").string(), &warnings);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int id = 0; id < 200; ++id) {
        auto provider = databases->Find("p" + std::to_string(id % 7));
        if (provider == nullptr ||
            Texts(provider->Templates(static_cast<uint32_t>(id))) !=
                std::vector<std::string>{"text " + std::to_string(id)}) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace qrv::offline
