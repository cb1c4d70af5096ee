// SQLite, loaded with dlopen the first time a message database is opened
// rather than linked: mapping and relocating the library cost every run of
// the program about 0.2 ms, a tenth of a short command, and most runs open
// no database. Its functions are called through the table below, resolved
// with dlsym. Entry points: SqliteLibrary::OfProcess, SqliteLibrary::Load.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGE_DB_SQLITE_LIBRARY_H_
#define QRV_PLATFORM_OFFLINE_MESSAGE_DB_SQLITE_LIBRARY_H_

#include <sqlite3.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/offline/loaded_library.h"

namespace qrv::offline {

// One loaded copy of the library, closed with the object, and the functions this program calls, named as in the library without the
// `sqlite3_` prefix and typed from its header.
class SqliteLibrary {
 public:
  // The program's copy, loaded by the first call (once, whichever thread
  // asks) and kept for good, as connections may be closed by static
  // destructors at exit. Null when it cannot be loaded; `*error` (when
  // given) then says why, naming the library.
  static const SqliteLibrary* OfProcess(std::string* error);

  // Loads the library by its file name (a soname such as libsqlite3.so.0),
  // resolving every function below. Null when the library or one of the
  // functions is missing; `*error` then names the library and gives
  // dlerror()'s text.
  static std::unique_ptr<SqliteLibrary> Load(const char* soname, std::string* error);

  SqliteLibrary(const SqliteLibrary&) = delete;
  SqliteLibrary& operator=(const SqliteLibrary&) = delete;

  decltype(&sqlite3_open_v2) open_v2 = nullptr;
  decltype(&sqlite3_close_v2) close_v2 = nullptr;
  decltype(&sqlite3_exec) exec = nullptr;
  decltype(&sqlite3_errmsg) errmsg = nullptr;
  decltype(&sqlite3_errstr) errstr = nullptr;
  decltype(&sqlite3_prepare_v3) prepare_v3 = nullptr;
  decltype(&sqlite3_finalize) finalize = nullptr;
  decltype(&sqlite3_reset) reset = nullptr;
  decltype(&sqlite3_clear_bindings) clear_bindings = nullptr;
  decltype(&sqlite3_bind_text) bind_text = nullptr;
  decltype(&sqlite3_bind_int64) bind_int64 = nullptr;
  decltype(&sqlite3_step) step = nullptr;
  decltype(&sqlite3_column_type) column_type = nullptr;
  decltype(&sqlite3_column_bytes) column_bytes = nullptr;
  decltype(&sqlite3_column_int64) column_int64 = nullptr;
  decltype(&sqlite3_column_text) column_text = nullptr;

 private:
  explicit SqliteLibrary(std::unique_ptr<LoadedLibrary> library)
      : library_(std::move(library)) {}
  std::unique_ptr<LoadedLibrary> library_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGE_DB_SQLITE_LIBRARY_H_
