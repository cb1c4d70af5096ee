// Loading The Sleuth Kit at run time; see tsk_library.h.
#include "platform/offline/disk_image/tsk_library.h"

#include <dlfcn.h>

#include <string>
#include <type_traits>

namespace qrv::offline {

namespace {

// The text of the last dl* failure, or a stand-in when there is none.
std::string LastDlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

}  // namespace

const TskLibrary* TskLibrary::OfProcess(std::string* error) {
  struct Loaded {
    std::string error;
    const TskLibrary* library = nullptr;
  };
  // QRV_TSK_SONAME is the soname of the library the build found (CMake
  // reads it from the file pkg-config names).
  static const Loaded loaded = [] {
    Loaded l;
    l.library = Load(QRV_TSK_SONAME, &l.error).release();
    return l;
  }();
  if (loaded.library == nullptr) *error = loaded.error;
  return loaded.library;
}

std::unique_ptr<TskLibrary> TskLibrary::Load(const char* soname, std::string* error) {
  // RTLD_NOW: a function or a library it depends on that is missing fails
  // here, not at some later call in the middle of a read.
  void* const handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = std::string(soname) + " (" + LastDlError() + ")";
    return nullptr;
  }
  std::unique_ptr<TskLibrary> library(new TskLibrary(handle));
  bool complete = true;
  auto resolve = [&](auto* function, const char* name) {
    if (!complete) return;
    void* const symbol = dlsym(handle, name);
    if (symbol == nullptr) {
      *error = std::string(soname) + " (" + LastDlError() + ")";
      complete = false;
      return;
    }
    *function = reinterpret_cast<std::remove_reference_t<decltype(*function)>>(symbol);
  };
  resolve(&library->error_reset, "tsk_error_reset");
  resolve(&library->img_open_utf8_sing, "tsk_img_open_utf8_sing");
  resolve(&library->img_read, "tsk_img_read");
  resolve(&library->img_close, "tsk_img_close");
  resolve(&library->vs_open, "tsk_vs_open");
  resolve(&library->vs_part_get, "tsk_vs_part_get");
  resolve(&library->vs_close, "tsk_vs_close");
  resolve(&library->fs_open_img, "tsk_fs_open_img");
  resolve(&library->fs_close, "tsk_fs_close");
  resolve(&library->fs_dir_open, "tsk_fs_dir_open");
  resolve(&library->fs_dir_getsize, "tsk_fs_dir_getsize");
  resolve(&library->fs_dir_get, "tsk_fs_dir_get");
  resolve(&library->fs_dir_close, "tsk_fs_dir_close");
  resolve(&library->fs_file_open, "tsk_fs_file_open");
  resolve(&library->fs_file_read, "tsk_fs_file_read");
  resolve(&library->fs_file_close, "tsk_fs_file_close");
  if (!complete) return nullptr;
  return library;
}

TskLibrary::~TskLibrary() { dlclose(handle_); }

}  // namespace qrv::offline
