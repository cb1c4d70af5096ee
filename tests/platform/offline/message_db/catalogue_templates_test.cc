// Events formatted from database templates through the message catalogue:
// which row answers, classic keys, the size cap against hostile rows, and,
// over real logs of the shared corpus with the Windows 10 1703 database,
// that every event the database knows gets its template filled exactly.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "formats/pe/message_format.h"
#include "formats/utf16.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "platform/offline/message_db/message_databases.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/service/offline_event_log.h"
#include "platform/win32_types.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/message_db/test_database.h"
#include "tests/support/fake_platform.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;
using testing::WriteTestDatabase;

class CatalogueTemplatesTest : public ::testing::Test {
 protected:
  void Open(const std::vector<testing::TemplateRow>& rows) {
    ASSERT_TRUE(WriteTestDatabase(dir_.path() / "t.db", rows));
    std::vector<std::string> warnings;
    databases_ =
        MessageDatabases::Open((dir_.path() / "t.db").string(), &warnings);
    catalog_ = std::make_unique<MessageCatalog>(
        fake_.registry,
        [](std::string_view) -> std::optional<std::string> {
          return std::nullopt;
        },
        loader_, databases_.get());
  }
  // The event's message, or "error <code>".
  std::string Format(const EventMessageRequest& request) {
    uint32_t error = 0;
    auto provider = catalog_->Open(request.provider, &error);
    if (provider == nullptr) return "error " + std::to_string(error);
    std::string text;
    error = provider->FormatEvent(request, &text);
    // An insert without a value leaves the text, with 15029, as on Windows.
    return error == kErrorSuccess || error == kErrorEvtUnresolvedValueInsert
               ? text
               : "error " + std::to_string(error);
  }

  testing::TempFolder dir_;
  fake::FakePlatform fake_;  // its registry has no keys
  HostFileLoader loader_;
  std::unique_ptr<MessageDatabases> databases_;
  std::unique_ptr<MessageCatalog> catalog_;
};

TEST_F(CatalogueTemplatesTest, TheRowWhoseInsertsTheValuesFillAnswers) {
  Open({{"P", 1, ""},
        {"P", 1, "three %1 %2 %3"},
        {"P", 1, "two %1 %2!s!"},
        {"P", 1, "also two %2 %1"},
        {"P", 2, "escapes %%1 %% 100%% %%1834 %t|%n|%r|%b|%.|%!|%0 gone"},
        {"P", 5, "parameter %%1833 in text, %1 in a value"},
        {"P", kParameterKeyBase + 1833, "Yes\r\n"},
        {"P", 3, ""},
        {"P", kClassicKeyBase + 0x80000010, "classic %1"},
        {"P", kClassicKeyBase + 0x11, "classic zero"},
        {"P", 0x10, "bare %1"}});
  const struct {
    uint16_t id;
    std::optional<uint16_t> qualifiers;
    std::vector<std::string> values;
    std::string expected;
  } kCases[] = {
      {1, {}, {"a", "b", "c"}, "three a b c"},
      {1, {}, {"a", "b", "c", "d"}, "three a b c"},
      {1, {}, {"a", "b"}, "two a b"},
      // Nothing fits: the first non-empty row, its missing insert as written.
      {1, {}, {"a"}, "three a %2 %3"},
      {2, {}, {}, "escapes %%1 % 100% %%1834 \t|\r\n|\r|b|.|!|"},
      {5, {}, {"%%1833"}, "parameter Yes in text, Yes in a value"},
      {3, {}, {}, "error 15027"},
      {4, {}, {}, "error 15027"},
      {0x10, uint16_t{0x8000}, {"x"}, "classic x"},
      {0x10, uint16_t{0x4000}, {"x"}, "bare x"},
      {0x10, {}, {"x"}, "bare x"},
      {0x11, {}, {}, "classic zero"},
      {0x11, uint16_t{0}, {}, "classic zero"},
  };
  for (const auto& c : kCases) {
    EventMessageRequest request;
    request.provider = "p";
    request.event_id = c.id;
    request.qualifiers = c.qualifiers;
    request.inserts = c.values;
    EXPECT_EQ(Format(request), c.expected) << c.id << " " << c.values.size();
  }
  EventMessageRequest unknown;
  unknown.provider = "Nobody";
  EXPECT_EQ(Format(unknown), "error 2");
}

TEST_F(CatalogueTemplatesTest, HostileRowsStayUnderTheCap) {
  std::string many_inserts;
  for (int i = 1; i <= 3000; ++i)
    many_inserts += "%" + std::to_string(i % 99 + 1);
  Open({{"P", 1, std::string(2 << 20, 'x')},
        {"P", 2, many_inserts},
        {"P", 3, std::string(200000, '%')},
        {"P", 4, "%99!S!%1!*.*s!%1!" + std::string(5000, 'd')}});
  const std::vector<std::string> big(99, std::string(64 << 10, 'v'));
  for (uint16_t id = 1; id <= 4; ++id) {
    EventMessageRequest request;
    request.provider = "P";
    request.event_id = id;
    request.inserts = big;
    const std::string text = Format(request);
    EXPECT_NE(text.rfind("error", 0), 0u) << id;
    EXPECT_LE(text.size(), size_t{3} << 20) << id;
  }
}

// Over real logs as a bare folder: (provider, id) pairs the 1703 database
// holds with a non-empty row get a message, and where it holds exactly one
// row the message is that template filled with the event's values.
TEST(CorpusWithDatabase, KnownEventsGetTheirTemplateFilled) {
  const fs::path corpus = fs::path(QRV_SHARED_DIR) / "corpus";
  const fs::path db_path =
      corpus / "messages/windows_10_1703_enterprise_x64_10.0.15063.0.db";
  if (!fs::exists(db_path)) GTEST_SKIP() << "no shared corpus";
  // The database as the test reads it: (folded provider, id) -> rows.
  std::map<std::pair<std::string, int64_t>, std::vector<std::string>> known;
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    sqlite3_stmt* all = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(
                  db,
                  "SELECT lower(p.name), m.event_id, m.message FROM messages m "
                  "JOIN providers p ON p.id = m.provider_id "
                  "WHERE m.message <> '' ORDER BY m.id",
                  -1, &all, nullptr),
              SQLITE_OK);
    while (sqlite3_step(all) == SQLITE_ROW) {
      known[{reinterpret_cast<const char*>(sqlite3_column_text(all, 0)),
             sqlite3_column_int64(all, 1)}]
          .push_back(
              reinterpret_cast<const char*>(sqlite3_column_text(all, 2)));
    }
    sqlite3_finalize(all);
    sqlite3_close(db);
  }
  testing::TempFolder folder;
  for (const char* file :
       {"velocidex-evtx/testdata/Security.evtx",
        "plaso/test_data/evtx/System.evtx", "evtx-rs/samples/sysmon.evtx",
        "EVTX-to-MITRE-Attack/TA0008-Lateral Movement/T1021.003-Distributed "
        "Component Object Model (DCOM)/ID4103,4104-DCOMexec native via "
        "PowerShell.evtx"}) {
    fs::create_symlink(corpus / file,
                       folder.path() / fs::path(file).filename());
  }
  std::vector<std::string> warnings;
  auto databases = MessageDatabases::Open(db_path.string(), &warnings);
  ASSERT_TRUE(warnings.empty());
  Image image(folder.path(), SummarizeEvtxFile);
  HostFileLoader loader;
  MessageCatalog catalog(
      image.registry(),
      [](std::string_view) -> std::optional<std::string> {
        return std::nullopt;
      },
      loader, databases.get());
  fake::FakePlatform fake;
  OfflineEventLog log(QuerySources{[&](std::string_view name) {
                                     return image.LookupChannel(name);
                                   },
                                   folder.path(), nullptr},
                      fake.system, catalog);

  size_t known_events = 0, with_message = 0, compared = 0;
  std::set<std::string> compared_providers;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(folder.path())) {
    const std::u16string path = text::Utf8ToUtf16(entry.path().string());
    EvtHandle query =
        log.EvtQuery(nullptr, path.c_str(), u"*",
                     kEvtQueryFilePath | kEvtQueryForwardDirection);
    ASSERT_NE(query, nullptr) << entry.path();
    EvtHandle batch[64];
    uint32_t n = 0;
    while (log.EvtNext(query, 64, batch, 0, 0, &n)) {
      for (uint32_t i = 0; i < n; ++i) {
        const EventMessageRequest request = *log.MessageRequest(batch[i]);
        std::string folded = request.provider;
        for (char& c : folded) c = static_cast<char>(std::tolower(c));
        auto rows = known.find({folded, request.event_id});
        if (rows != known.end()) {
          ++known_events;
          char16_t buffer[1 << 16];
          uint32_t used = 0;
          // A template with more inserts than the event has values gives
          // its text with 15029.
          if (log.EvtFormatMessage(nullptr, batch[i], 0, 0, nullptr,
                                   kEvtFormatMessageEvent, 1 << 16, buffer,
                                   &used) ||
              fake.system.GetLastError() == kErrorEvtUnresolvedValueInsert) {
            ++with_message;
            if (rows->second.size() == 1) {
              ++compared;
              compared_providers.insert(folded);
              EXPECT_EQ(
                  text::Utf16ToUtf8(std::u16string_view(buffer, used - 1)),
                  pe::FormatMessageText(rows->second.front(), request.inserts,
                                        [](uint32_t) { return std::nullopt; }))
                  << request.provider << " " << request.event_id;
            }
          }
        }
        log.EvtClose(batch[i]);
      }
    }
    log.EvtClose(query);
  }
  EXPECT_EQ(with_message, known_events);
  EXPECT_GE(compared, 300u);
  EXPECT_GE(compared_providers.size(), 3u);
  RecordProperty("known_events", std::to_string(known_events));
  RecordProperty("compared", std::to_string(compared));
}

}  // namespace
}  // namespace qrv::offline
