// One message database, read through SQLite: the two-table schema that
// event-log tools share for message templates (one file per Windows build):
//   providers(id INTEGER PRIMARY KEY, name TEXT)
//   messages(event_id INTEGER, id INTEGER PRIMARY KEY, message TEXT,
//            provider_id INTEGER REFERENCES providers(id))
// The file is opened read-only and its texts are never loaded whole: the
// schema offers no index on messages.provider_id. The first two providers
// asked for are each read with a scan of their own (about 3 ms for the
// 50,682 rows of a Windows 10 build); past those (26 providers in one System
// log) every row's (provider, event id, row id) is read in one scan of about
// three times that, into a 1.6 MiB index. Texts are read by row id when
// asked for.
//
// Every call locks the database's mutex (statements are reused), so any
// thread may call. A read that fails later (a page damaged past what the
// open checked) answers "nothing there".
//
// A third table, windows_build(build, ubr, product_name, installation_type),
// says which Windows build the rows were taken from; it is optional.
//
// Entry points: MessageDatabase::Open, MessageDatabase::ProviderId,
// MessageDatabase::ProviderRows, MessageDatabase::Text.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASE_H_
#define QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/message_db/windows_build.h"
#include "platform/offline/messages/template_library.h"

namespace qrv::offline {

// Through the loaded library (sqlite_library.h), which a handle implies.
struct SqliteCloser {
  void operator()(sqlite3* db) const;
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const;
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// One messages row of a provider, without its text.
struct DatabaseRow {
  uint64_t key = 0;  // event_id; rows outside 0..kKeyLimit are left out
  int64_t row_id = 0;
  bool empty = false;  // NULL or '' message
};

class MessageDatabase {
 public:
  // Null with *reason (one line: "not found", "not a SQLite database",
  // "damaged", "locked", "another schema: ...") when the file cannot serve.
  static std::unique_ptr<MessageDatabase> Open(const std::string& path,
                                               std::string* reason);

  // providers.id of `name` (any ASCII letter case; the lowest id if the
  // name repeats), or nullopt.
  std::optional<int64_t> ProviderId(std::string_view name);
  // The provider's rows in row-id order.
  std::vector<DatabaseRow> ProviderRows(int64_t provider_id);
  // The message of row `row_id` ("" for NULL), or nullopt.
  std::optional<std::string> Text(int64_t row_id);

  // The Windows build the file records in its windows_build table (written
  // by qrv_message_db; other files have none), read at open.
  const std::optional<WindowsBuild>& recorded_build() const {
    return recorded_build_;
  }

 private:
  MessageDatabase() = default;
  void BuildIndex();  // with mutex_ held

  std::mutex mutex_;
  int scans_ = 0;  // providers read with a scan of their own
  bool indexed_ = false;
  struct IndexedRow {
    int64_t provider_id;
    DatabaseRow row;
  };
  std::vector<IndexedRow> index_;  // by provider id, then row id
  std::optional<WindowsBuild> recorded_build_;
  // Declared first, destroyed last: statements are finalized before close.
  SqliteHandle db_;
  Statement provider_;
  Statement rows_;
  Statement provider_rows_;
  Statement text_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASE_H_
