// Message databases made by tests, in the shared two-table schema, written
// through SQLite directly (not through the code under test).
// Entry points: TemplateRow, WriteTestDatabase.
#ifndef QRV_TESTS_PLATFORM_OFFLINE_MESSAGE_DB_TEST_DATABASE_H_
#define QRV_TESTS_PLATFORM_OFFLINE_MESSAGE_DB_TEST_DATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qrv::offline::testing {

struct TemplateRow {
  std::string provider;
  int64_t event_id;
  std::string message;
};

// Rows go in in the order given (row ids ascending); providers get ids in
// order of first appearance. False when SQLite refuses.
inline bool WriteTestDatabase(const std::filesystem::path& path,
                              const std::vector<TemplateRow>& rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  bool ok =
      sqlite3_exec(db,
                   "CREATE TABLE providers (id INTEGER PRIMARY KEY "
                   "AUTOINCREMENT, name TEXT);"
                   "CREATE TABLE messages (event_id INTEGER NOT NULL, id "
                   "INTEGER PRIMARY KEY AUTOINCREMENT, message TEXT, "
                   "provider_id INTEGER NOT NULL, FOREIGN KEY(provider_id) "
                   "REFERENCES providers(id));BEGIN;",
                   nullptr, nullptr, nullptr) == SQLITE_OK;
  for (const TemplateRow& row : rows) {
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(
                   db,
                   "INSERT INTO providers(name) SELECT ?1 WHERE NOT EXISTS "
                   "(SELECT 1 FROM providers WHERE name = ?1);",
                   -1, &insert, nullptr) == SQLITE_OK;
    if (ok) {
      sqlite3_bind_text(insert, 1, row.provider.c_str(), -1, SQLITE_TRANSIENT);
      ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    sqlite3_finalize(insert);
    insert = nullptr;
    ok = ok && sqlite3_prepare_v2(
                   db,
                   "INSERT INTO messages(event_id, message, provider_id) "
                   "SELECT ?1, ?2, id FROM providers WHERE name = ?3;",
                   -1, &insert, nullptr) == SQLITE_OK;
    if (ok) {
      sqlite3_bind_int64(insert, 1, row.event_id);
      sqlite3_bind_text(insert, 2, row.message.data(),
                        static_cast<int>(row.message.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, row.provider.c_str(), -1, SQLITE_TRANSIENT);
      ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    sqlite3_finalize(insert);
  }
  ok =
      ok && sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

}  // namespace qrv::offline::testing

#endif  // QRV_TESTS_PLATFORM_OFFLINE_MESSAGE_DB_TEST_DATABASE_H_
