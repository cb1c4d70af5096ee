// The Sleuth Kit, loaded with dlopen the first time a disk image is opened
// rather than linked: the library pulls in some forty shared libraries
// (libewf, libvhdi, libvmdk, afflib, curl, krb5, gnutls ...) whose loading
// would cost every run about 14 ms, and most runs never read an image.
// Its functions are called through the table below, resolved with dlsym.
// Entry points: TskLibrary::OfProcess, TskLibrary::Load.
#ifndef QRV_PLATFORM_OFFLINE_DISK_IMAGE_TSK_LIBRARY_H_
#define QRV_PLATFORM_OFFLINE_DISK_IMAGE_TSK_LIBRARY_H_

#include <tsk/libtsk.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/offline/loaded_library.h"

namespace qrv::offline {

// One loaded copy of the library, closed with the object, and the functions this program calls, named as in the library without the
// `tsk_` prefix and typed from its headers.
class TskLibrary {
 public:
  // The program's copy, loaded by the first call (once, whichever thread
  // asks) and kept for good: a read-ahead thread may still be inside it
  // while the main thread runs the static destructors of a normal exit, and
  // the leak checker's suppressions for it and the libraries it loads name
  // their modules, which must still be mapped when it runs at exit.
  // Null when it cannot be loaded; `*error` then says why, naming the
  // library.
  static const TskLibrary* OfProcess(std::string* error);

  // Loads the library by its file name (a soname such as libtsk.so.19),
  // resolving every function below. Null when the library or one of the
  // functions is missing; `*error` then names the library and gives
  // dlerror()'s text.
  static std::unique_ptr<TskLibrary> Load(const char* soname, std::string* error);

  TskLibrary(const TskLibrary&) = delete;
  TskLibrary& operator=(const TskLibrary&) = delete;

  decltype(&tsk_error_reset) error_reset = nullptr;
  decltype(&tsk_img_open_utf8_sing) img_open_utf8_sing = nullptr;
  decltype(&tsk_img_read) img_read = nullptr;
  decltype(&tsk_img_close) img_close = nullptr;
  decltype(&tsk_vs_open) vs_open = nullptr;
  decltype(&tsk_vs_part_get) vs_part_get = nullptr;
  decltype(&tsk_vs_close) vs_close = nullptr;
  decltype(&tsk_fs_open_img) fs_open_img = nullptr;
  decltype(&tsk_fs_close) fs_close = nullptr;
  decltype(&tsk_fs_dir_open) fs_dir_open = nullptr;
  decltype(&tsk_fs_dir_getsize) fs_dir_getsize = nullptr;
  decltype(&tsk_fs_dir_get) fs_dir_get = nullptr;
  decltype(&tsk_fs_dir_close) fs_dir_close = nullptr;
  decltype(&tsk_fs_file_open) fs_file_open = nullptr;
  decltype(&tsk_fs_file_read) fs_file_read = nullptr;
  decltype(&tsk_fs_file_close) fs_file_close = nullptr;

 private:
  explicit TskLibrary(std::unique_ptr<LoadedLibrary> library)
      : library_(std::move(library)) {}
  std::unique_ptr<LoadedLibrary> library_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_DISK_IMAGE_TSK_LIBRARY_H_
