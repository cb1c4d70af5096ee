// Read-only SQLite access to one message database; see message_database.h.
#include "platform/offline/message_db/message_database.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/offline/message_db/sqlite_library.h"

namespace qrv::offline {
namespace {

// The library; loaded, as a database could only be opened once it was.
const SqliteLibrary& Sql() { return *SqliteLibrary::OfProcess(nullptr); }

constexpr char kProviderSql[] =
    "SELECT id FROM providers WHERE name = ?1 COLLATE NOCASE "
    "ORDER BY id LIMIT 1";
// The message itself is read for its type and length only: asking SQLite
// for "message IS NULL OR message = ''" instead costs 40 % more per row, and
// this scan reads every row of the database on a provider's first use.
constexpr char kRowsSql[] =
    "SELECT provider_id, event_id, id, message FROM messages ORDER BY id";
// One provider's rows: SQLite still reads every row (no index on
// provider_id), but compares inside its engine, a third of the whole scan.
constexpr char kProviderRowsSql[] =
    "SELECT event_id, id, message FROM messages WHERE provider_id = ?1 "
    "ORDER BY id";
constexpr char kCountSql[] = "SELECT count(*) FROM messages";
// Providers answered by their own scan before the whole table is indexed:
// a security log asks for one or two, a System log for a few dozen.
constexpr int kScansBeforeIndex = 2;
constexpr char kTextSql[] = "SELECT message FROM messages WHERE id = ?1";
constexpr char kBuildSql[] =
    "SELECT build, ubr, product_name, installation_type FROM windows_build "
    "LIMIT 1";

// The one-line reason for a failed open or first read.
std::string Reason(int code, sqlite3* db) {
  switch (code & 0xFF) {
    case SQLITE_NOTADB:
      return "not a SQLite database";
    case SQLITE_CORRUPT:
      return "damaged";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "locked";
    case SQLITE_CANTOPEN:
      return "cannot be opened";
    case SQLITE_ERROR:
      // Preparing against the wrong tables or columns ("no such table: ...").
      return std::string("another schema: ") +
             (db != nullptr ? Sql().errmsg(db) : "");
    default:
      return db != nullptr ? Sql().errmsg(db) : Sql().errstr(code);
  }
}

Statement Prepare(sqlite3* db, const char* sql, int* code) {
  sqlite3_stmt* statement = nullptr;
  *code = Sql().prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement,
                             nullptr);
  return Statement(statement);
}

// Resets the statement (and its bindings) when the scope ends, on every path.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() {
    Sql().reset(statement_);
    Sql().clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* statement_;
};

// What "message IS NULL OR message = ''" says of column `column`: NULL or a
// text of no bytes (a BLOB, even an empty one, never equals a text).
bool EmptyMessage(sqlite3_stmt* statement, int column) {
  switch (Sql().column_type(statement, column)) {
    case SQLITE_NULL:
      return true;
    case SQLITE_TEXT:
      return Sql().column_bytes(statement, column) == 0;
    default:
      return false;
  }
}

// Event ids from 0 up to kKeyLimit; nothing is stored past it (see
// template_library.h).
bool KeyInRange(int64_t key) {
  return key >= 0 && static_cast<uint64_t>(key) < kKeyLimit;
}

// The windows_build row, when the file has the table and a usable row.
std::optional<WindowsBuild> ReadRecordedBuild(sqlite3* db) {
  int code = SQLITE_OK;
  const Statement statement = Prepare(db, kBuildSql, &code);
  if (code != SQLITE_OK || Sql().step(statement.get()) != SQLITE_ROW)
    return std::nullopt;
  const int64_t build = Sql().column_int64(statement.get(), 0);
  if (build <= 0 || build > 0xFFFFFFFF) return std::nullopt;
  WindowsBuild found;
  found.build = static_cast<uint32_t>(build);
  const int64_t ubr = Sql().column_int64(statement.get(), 1);
  if (ubr > 0 && ubr <= 0xFFFFFFFF) found.ubr = static_cast<uint32_t>(ubr);
  auto text = [&](int column) {
    const auto* t = reinterpret_cast<const char*>(
        Sql().column_text(statement.get(), column));
    return std::string(t != nullptr ? t : "");
  };
  found.product = text(2);
  found.installation = text(3);
  return found;
}

}  // namespace

void SqliteCloser::operator()(sqlite3* db) const { Sql().close_v2(db); }

void StatementFinalizer::operator()(sqlite3_stmt* statement) const {
  Sql().finalize(statement);
}

std::unique_ptr<MessageDatabase> MessageDatabase::Open(const std::string& path,
                                                       std::string* reason) {
  // SQLite opens a missing file read-only only to fail at the first read,
  // with a vaguer message; a directory likewise.
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    *reason = "not found";
    return nullptr;
  }
  if (!std::filesystem::is_regular_file(status)) {
    *reason = "not a file";
    return nullptr;
  }
  std::string load_error;
  if (SqliteLibrary::OfProcess(&load_error) == nullptr) {
    *reason = "SQLite cannot be loaded: " + load_error;
    return nullptr;
  }
  std::unique_ptr<MessageDatabase> database(new MessageDatabase());
  sqlite3* db = nullptr;
  // NOMUTEX: the object's own mutex serialises every use of the connection.
  int code = Sql().open_v2(
      path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  database->db_.reset(db);
  if (code != SQLITE_OK) {
    *reason = Reason(code, db);
    return nullptr;
  }
  // The file is read whole by the first provider's row scan: mapped, its
  // pages are not copied into SQLite's cache one read() at a time. A build
  // without memory mapping ignores the pragma.
  Sql().exec(db, "PRAGMA mmap_size = 268435456", nullptr, nullptr, nullptr);
  // Preparing reads the schema: a foreign file, a damaged first page, a
  // writer's lock and other tables all show here.
  database->provider_ = Prepare(db, kProviderSql, &code);
  if (code == SQLITE_OK) database->rows_ = Prepare(db, kRowsSql, &code);
  if (code == SQLITE_OK) database->text_ = Prepare(db, kTextSql, &code);
  if (code == SQLITE_OK) {
    database->provider_rows_ = Prepare(db, kProviderRowsSql, &code);
  }
  if (code != SQLITE_OK) {
    *reason = Reason(code, db);
    return nullptr;
  }
  // One lookup walks the providers table, which every provider's first use
  // needs anyway; a damaged table is refused now rather than mid-run.
  {
    sqlite3_stmt* probe = database->provider_.get();
    const StatementUse use(probe);
    Sql().bind_text(probe, 1, "", 0, SQLITE_STATIC);
    while ((code = Sql().step(probe)) == SQLITE_ROW) {
    }
    if (code != SQLITE_DONE) {
      *reason = Reason(code, db);
      return nullptr;
    }
  }
  database->recorded_build_ = ReadRecordedBuild(db);
  return database;
}

std::optional<int64_t> MessageDatabase::ProviderId(std::string_view name) {
  const std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = provider_.get();
  const StatementUse use(statement);
  Sql().bind_text(statement, 1, name.data(), static_cast<int>(name.size()),
                    SQLITE_TRANSIENT);
  if (Sql().step(statement) != SQLITE_ROW) return std::nullopt;
  return Sql().column_int64(statement, 0);
}

std::vector<DatabaseRow> MessageDatabase::ProviderRows(int64_t provider_id) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!indexed_ && scans_ < kScansBeforeIndex) {
    ++scans_;
    std::vector<DatabaseRow> rows;
    sqlite3_stmt* statement = provider_rows_.get();
    const StatementUse use(statement);
    Sql().bind_int64(statement, 1, provider_id);
    while (Sql().step(statement) == SQLITE_ROW) {
      const int64_t key = Sql().column_int64(statement, 0);
      if (!KeyInRange(key)) continue;
      rows.push_back(DatabaseRow{static_cast<uint64_t>(key),
                                 Sql().column_int64(statement, 1),
                                 EmptyMessage(statement, 2)});
    }
    return rows;
  }
  if (!indexed_) BuildIndex();
  const auto [first, last] = std::equal_range(
      index_.begin(), index_.end(), IndexedRow{provider_id, {}},
      [](const IndexedRow& a, const IndexedRow& b) {
        return a.provider_id < b.provider_id;
      });
  std::vector<DatabaseRow> rows;
  rows.reserve(static_cast<size_t>(last - first));
  for (auto it = first; it != last; ++it) rows.push_back(it->row);
  return rows;
}

void MessageDatabase::BuildIndex() {
  indexed_ = true;
  // Sized once: grown by doubling, the index's last steps were fresh
  // mappings of up to 2 MiB, each faulted in page by page.
  {
    int code = SQLITE_OK;
    const Statement count = Prepare(db_.get(), kCountSql, &code);
    if (code == SQLITE_OK && Sql().step(count.get()) == SQLITE_ROW) {
      const int64_t rows = Sql().column_int64(count.get(), 0);
      if (rows > 0 && rows < (int64_t{1} << 24)) {
        index_.reserve(static_cast<size_t>(rows));
      }
    }
  }
  sqlite3_stmt* statement = rows_.get();
  const StatementUse use(statement);
  while (Sql().step(statement) == SQLITE_ROW) {
    const int64_t key = Sql().column_int64(statement, 1);
    if (!KeyInRange(key)) continue;
    index_.push_back(IndexedRow{Sql().column_int64(statement, 0),
                                DatabaseRow{static_cast<uint64_t>(key),
                                            Sql().column_int64(statement, 2),
                                            EmptyMessage(statement, 3)}});
  }
  // Stable: each provider's rows stay in row-id order. Databases are
  // written provider by provider, so the rows usually come sorted and the
  // sort (a fifth of the scan) is skipped.
  const auto by_provider = [](const IndexedRow& a, const IndexedRow& b) {
    return a.provider_id < b.provider_id;
  };
  if (!std::is_sorted(index_.begin(), index_.end(), by_provider)) {
    std::stable_sort(index_.begin(), index_.end(), by_provider);
  }
}

std::optional<std::string> MessageDatabase::Text(int64_t row_id) {
  const std::lock_guard<std::mutex> lock(mutex_);
  sqlite3_stmt* statement = text_.get();
  const StatementUse use(statement);
  Sql().bind_int64(statement, 1, row_id);
  if (Sql().step(statement) != SQLITE_ROW) return std::nullopt;
  const auto* text =
      reinterpret_cast<const char*>(Sql().column_text(statement, 0));
  const int size = Sql().column_bytes(statement, 0);
  return text != nullptr ? std::string(text, static_cast<size_t>(size))
                         : std::string();
}

}  // namespace qrv::offline
