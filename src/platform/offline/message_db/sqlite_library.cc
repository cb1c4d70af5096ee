// Loading SQLite at run time; see sqlite_library.h.
#include "platform/offline/message_db/sqlite_library.h"

#include <string>
#include <utility>

namespace qrv::offline {

const SqliteLibrary* SqliteLibrary::OfProcess(std::string* error) {
  // QRV_SQLITE_SONAME is the soname of the library the build found (CMake
  // reads it from the library file).
  return LoadOnce<SqliteLibrary>(QRV_SQLITE_SONAME, error);
}

std::unique_ptr<SqliteLibrary> SqliteLibrary::Load(const char* soname, std::string* error) {
  std::unique_ptr<LoadedLibrary> loaded = LoadedLibrary::Open(soname, error);
  if (!loaded) return nullptr;
  std::unique_ptr<SqliteLibrary> library(new SqliteLibrary(std::move(loaded)));
  const LoadedLibrary& l = *library->library_;
  const bool complete =
      l.Resolve(&library->open_v2, "sqlite3_open_v2", error) &&
      l.Resolve(&library->close_v2, "sqlite3_close_v2", error) &&
      l.Resolve(&library->exec, "sqlite3_exec", error) &&
      l.Resolve(&library->errmsg, "sqlite3_errmsg", error) &&
      l.Resolve(&library->errstr, "sqlite3_errstr", error) &&
      l.Resolve(&library->prepare_v3, "sqlite3_prepare_v3", error) &&
      l.Resolve(&library->finalize, "sqlite3_finalize", error) &&
      l.Resolve(&library->reset, "sqlite3_reset", error) &&
      l.Resolve(&library->clear_bindings, "sqlite3_clear_bindings", error) &&
      l.Resolve(&library->bind_text, "sqlite3_bind_text", error) &&
      l.Resolve(&library->bind_int64, "sqlite3_bind_int64", error) &&
      l.Resolve(&library->step, "sqlite3_step", error) &&
      l.Resolve(&library->column_type, "sqlite3_column_type", error) &&
      l.Resolve(&library->column_bytes, "sqlite3_column_bytes", error) &&
      l.Resolve(&library->column_int64, "sqlite3_column_int64", error) &&
      l.Resolve(&library->column_text, "sqlite3_column_text", error);
  if (!complete) return nullptr;
  return library;
}

}  // namespace qrv::offline
