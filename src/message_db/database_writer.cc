// Atomic, additive writing of a message database; see database_writer.h.
#include "message_db/database_writer.h"

#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <tuple>

#include "platform/offline/message_db/message_database.h"
#include "platform/offline/messages/name_match.h"

namespace qrv::message_db {
namespace {

namespace fs = std::filesystem;
using offline::SqliteHandle;
using offline::Statement;

constexpr char kSchemaSql[] =
    "CREATE TABLE IF NOT EXISTS providers (id INTEGER PRIMARY KEY "
    "AUTOINCREMENT, name TEXT);"
    "CREATE TABLE IF NOT EXISTS messages (event_id INTEGER NOT NULL, id "
    "INTEGER PRIMARY KEY AUTOINCREMENT, message TEXT, provider_id INTEGER "
    "NOT NULL, FOREIGN KEY(provider_id) REFERENCES providers(id));";

// The temporary copy: removed when the write does not complete.
class TemporaryFile {
 public:
  explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!kept_) {
      std::error_code ignored;
      fs::remove(path_, ignored);
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const fs::path& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  fs::path path_;
  bool kept_ = false;
};

Statement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  return Statement(statement);
}

// What the file already has: folded provider name -> id, and the
// (provider id, key, text) triples.
struct Existing {
  std::map<std::string, int64_t> providers;
  std::set<std::tuple<int64_t, int64_t, std::string>> messages;
};

bool ReadExisting(sqlite3* db, Existing* existing) {
  Statement providers =
      Prepare(db, "SELECT id, name FROM providers ORDER BY id");
  Statement messages =
      Prepare(db, "SELECT provider_id, event_id, message FROM messages");
  if (!providers || !messages) return false;
  int code;
  while ((code = sqlite3_step(providers.get())) == SQLITE_ROW) {
    const auto* name =
        reinterpret_cast<const char*>(sqlite3_column_text(providers.get(), 1));
    existing->providers.emplace(offline::FoldName(name != nullptr ? name : ""),
                                sqlite3_column_int64(providers.get(), 0));
  }
  if (code != SQLITE_DONE) return false;
  while ((code = sqlite3_step(messages.get())) == SQLITE_ROW) {
    const auto* text =
        reinterpret_cast<const char*>(sqlite3_column_text(messages.get(), 2));
    existing->messages.emplace(sqlite3_column_int64(messages.get(), 0),
                               sqlite3_column_int64(messages.get(), 1),
                               text != nullptr ? text : "");
  }
  return code == SQLITE_DONE;
}

constexpr char kBuildSchemaSql[] =
    "CREATE TABLE IF NOT EXISTS windows_build (build INTEGER, ubr INTEGER, "
    "product_name TEXT, installation_type TEXT);";

// Records `build` unless the file records one already; false when SQLite
// refuses.
bool RecordBuild(sqlite3* db, const offline::WindowsBuild& build) {
  if (sqlite3_exec(db, kBuildSchemaSql, nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    return false;
  }
  Statement add = Prepare(
      db,
      "INSERT INTO windows_build(build, ubr, product_name, installation_type) "
      "SELECT ?1, ?2, ?3, ?4 WHERE NOT EXISTS (SELECT 1 FROM windows_build)");
  if (!add) return false;
  sqlite3_bind_int64(add.get(), 1, build.build);
  sqlite3_bind_int64(add.get(), 2, build.ubr);
  sqlite3_bind_text(add.get(), 3, build.product.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(add.get(), 4, build.installation.c_str(), -1,
                    SQLITE_STATIC);
  return sqlite3_step(add.get()) == SQLITE_DONE;
}

WriteResult Failed(std::string error) {
  WriteResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

WriteResult WriteMessageDatabase(
    const fs::path& target, const std::vector<ExportRow>& rows,
    const std::optional<offline::WindowsBuild>& build) {
  std::error_code error;
  fs::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::string pattern =
      (directory / (target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return Failed("cannot create a file in " + directory.string());
  // mkstemp makes the file private; a new database is meant to be shared,
  // so it gets the mode of any new file (an existing one keeps its own, as
  // the copy below takes it over).
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  TemporaryFile temporary(pattern);
  if (fs::exists(target, error)) {
    fs::copy_file(target, temporary.path(),
                  fs::copy_options::overwrite_existing, error);
    if (error)
      return Failed("cannot copy " + target.string() + ": " + error.message());
  }

  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(temporary.path().c_str(), &raw,
                                     SQLITE_OPEN_READWRITE, nullptr);
  SqliteHandle db(raw);
  if (opened != SQLITE_OK) return Failed(sqlite3_errstr(opened));
  if (sqlite3_exec(db.get(), kSchemaSql, nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    return Failed(target.string() + ": " + sqlite3_errmsg(db.get()));
  }
  Existing existing;
  if (!ReadExisting(db.get(), &existing)) {
    return Failed(target.string() +
                  " is not a message database: " + sqlite3_errmsg(db.get()));
  }

  if (sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Failed(sqlite3_errmsg(db.get()));
  }
  Statement add_provider =
      Prepare(db.get(), "INSERT INTO providers(name) VALUES (?1)");
  Statement add_message = Prepare(db.get(),
                                  "INSERT INTO messages(event_id, message, "
                                  "provider_id) VALUES (?1, ?2, ?3)");
  if (!add_provider || !add_message) return Failed(sqlite3_errmsg(db.get()));
  WriteResult result;
  for (const ExportRow& row : rows) {
    auto [provider, is_new] =
        existing.providers.emplace(offline::FoldName(row.provider), 0);
    if (is_new) {
      sqlite3_bind_text(add_provider.get(), 1, row.provider.data(),
                        static_cast<int>(row.provider.size()), SQLITE_STATIC);
      const int code = sqlite3_step(add_provider.get());
      sqlite3_reset(add_provider.get());
      if (code != SQLITE_DONE) return Failed(sqlite3_errmsg(db.get()));
      provider->second = sqlite3_last_insert_rowid(db.get());
      ++result.providers_added;
    }
    if (!existing.messages.emplace(provider->second, row.key, row.message)
             .second) {
      continue;
    }
    sqlite3_bind_int64(add_message.get(), 1, row.key);
    sqlite3_bind_text(add_message.get(), 2, row.message.data(),
                      static_cast<int>(row.message.size()), SQLITE_STATIC);
    sqlite3_bind_int64(add_message.get(), 3, provider->second);
    const int code = sqlite3_step(add_message.get());
    sqlite3_reset(add_message.get());
    if (code != SQLITE_DONE) return Failed(sqlite3_errmsg(db.get()));
    ++result.messages_added;
  }
  add_provider.reset();
  add_message.reset();
  if (build && !RecordBuild(db.get(), *build))
    return Failed(sqlite3_errmsg(db.get()));
  if (sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    return Failed(sqlite3_errmsg(db.get()));
  }
  db.reset();  // closed (and synced by the commit) before the rename
  fs::rename(temporary.path(), target, error);
  if (error)
    return Failed("cannot replace " + target.string() + ": " + error.message());
  temporary.Keep();
  result.ok = true;
  return result;
}

}  // namespace qrv::message_db
