// A shared library opened with dlopen at run time, for the optional
// libraries the program uses only for some inputs (disk images, message
// databases): linked, each would cost every run its loading. The handle is
// closed by the destructor. Entry point: LoadedLibrary::Open.
#ifndef QRV_PLATFORM_OFFLINE_LOADED_LIBRARY_H_
#define QRV_PLATFORM_OFFLINE_LOADED_LIBRARY_H_

#include <memory>
#include <string>

namespace qrv::offline {

class LoadedLibrary {
 public:
  // Opens the library by its file name (a soname such as libsqlite3.so.0)
  // with every symbol bound now, so that a missing dependency fails here
  // rather than at some later call in the middle of a read. Null when it
  // cannot be loaded; `*error` then names the library and gives dlerror()'s
  // text.
  static std::unique_ptr<LoadedLibrary> Open(const char* soname, std::string* error);

  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // Sets *function to the library's function `name`. False when it has
  // none, with `*error` as Open sets it.
  template <typename Function>
  bool Resolve(Function* function, const char* name, std::string* error) const {
    void* const symbol = Symbol(name, error);
    if (symbol == nullptr) return false;
    *function = reinterpret_cast<Function>(symbol);
    return true;
  }

 private:
  LoadedLibrary(void* handle, std::string soname)
      : handle_(handle), soname_(std::move(soname)) {}
  void* Symbol(const char* name, std::string* error) const;

  void* handle_;
  std::string soname_;
};

// The process's copy of a table of library functions (`Table::Load(soname,
// error)`), loaded by the first call, once, whichever thread asks, and kept
// for good: another thread may still be inside the library while the main
// thread runs the static destructors of a normal exit. Null when it cannot
// be loaded; `*error` (when given) then says why, as Load said it.
template <typename Table>
const Table* LoadOnce(const char* soname, std::string* error) {
  struct Loaded {
    std::string error;
    const Table* table = nullptr;
  };
  static const Loaded loaded = [soname] {
    Loaded l;
    l.table = Table::Load(soname, &l.error).release();
    return l;
  }();
  if (loaded.table == nullptr && error != nullptr) *error = loaded.error;
  return loaded.table;
}

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_LOADED_LIBRARY_H_
