// Loading The Sleuth Kit at run time; see tsk_library.h.
#include "platform/offline/disk_image/tsk_library.h"

#include <string>
#include <utility>

namespace qrv::offline {

const TskLibrary* TskLibrary::OfProcess(std::string* error) {
  // QRV_TSK_SONAME is the soname of the library the build found (CMake
  // reads it from the file pkg-config names).
  return LoadOnce<TskLibrary>(QRV_TSK_SONAME, error);
}

std::unique_ptr<TskLibrary> TskLibrary::Load(const char* soname, std::string* error) {
  std::unique_ptr<LoadedLibrary> loaded = LoadedLibrary::Open(soname, error);
  if (!loaded) return nullptr;
  std::unique_ptr<TskLibrary> library(new TskLibrary(std::move(loaded)));
  const LoadedLibrary& l = *library->library_;
  const bool complete =
      l.Resolve(&library->error_reset, "tsk_error_reset", error) &&
      l.Resolve(&library->img_open_utf8_sing, "tsk_img_open_utf8_sing", error) &&
      l.Resolve(&library->img_read, "tsk_img_read", error) &&
      l.Resolve(&library->img_close, "tsk_img_close", error) &&
      l.Resolve(&library->vs_open, "tsk_vs_open", error) &&
      l.Resolve(&library->vs_part_get, "tsk_vs_part_get", error) &&
      l.Resolve(&library->vs_close, "tsk_vs_close", error) &&
      l.Resolve(&library->fs_open_img, "tsk_fs_open_img", error) &&
      l.Resolve(&library->fs_close, "tsk_fs_close", error) &&
      l.Resolve(&library->fs_dir_open, "tsk_fs_dir_open", error) &&
      l.Resolve(&library->fs_dir_getsize, "tsk_fs_dir_getsize", error) &&
      l.Resolve(&library->fs_dir_get, "tsk_fs_dir_get", error) &&
      l.Resolve(&library->fs_dir_close, "tsk_fs_dir_close", error) &&
      l.Resolve(&library->fs_file_open, "tsk_fs_file_open", error) &&
      l.Resolve(&library->fs_file_read, "tsk_fs_file_read", error) &&
      l.Resolve(&library->fs_file_close, "tsk_fs_file_close", error);
  if (!complete) return nullptr;
  return library;
}

}  // namespace qrv::offline
