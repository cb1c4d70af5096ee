// Libraries opened at run time; see loaded_library.h.
#include "platform/offline/loaded_library.h"

#include <dlfcn.h>

#include <utility>

namespace qrv::offline {

namespace {

// The text of the last dl* failure, or a stand-in when there is none.
std::string LastDlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

}  // namespace

std::unique_ptr<LoadedLibrary> LoadedLibrary::Open(const char* soname, std::string* error) {
  void* const handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = std::string(soname) + " (" + LastDlError() + ")";
    return nullptr;
  }
  return std::unique_ptr<LoadedLibrary>(new LoadedLibrary(handle, soname));
}

LoadedLibrary::~LoadedLibrary() { dlclose(handle_); }

void* LoadedLibrary::Symbol(const char* name, std::string* error) const {
  void* const symbol = dlsym(handle_, name);
  if (symbol == nullptr) *error = soname_ + " (" + LastDlError() + ")";
  return symbol;
}

}  // namespace qrv::offline
