// Finds files inside an image folder the way Windows would on its own
// volume: each path component matched against the directory's entries
// ignoring case (the registry's uppercase folding, which NTFS also uses for
// the common scripts). Entry points: PathResolver::Resolve,
// PathResolver::ResolveWindowsPath, PathResolver::List, Utf8FileName,
// PathFromUtf8.
//
// Listings come from the folder's FileSource (file_source.h), so the same
// rules hold on the host and inside a disk image. They are read once and kept: the image is taken as it was when the
// process looked at it first.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_PATH_RESOLVER_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_PATH_RESOLVER_H_

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/image/file_source.h"

namespace qrv::offline {

class PathResolver {
 public:
  explicit PathResolver(std::filesystem::path root) : root_(std::move(root)) {}

  const std::filesystem::path& root() const { return root_; }

  // The path below the root whose components equal `components` ignoring
  // case; nullopt when one is missing. A component that is not the last
  // must be a directory. When several entries differ only in case (possible
  // on Linux), the exact spelling wins, else the first in byte order.
  std::optional<std::filesystem::path> Resolve(const std::vector<std::string>& components) const;

  // Resolve of a Windows path on the image's system drive (see
  // ImagePathComponents); nullopt when it maps outside the image or is missing.
  std::optional<std::filesystem::path> ResolveWindowsPath(std::string_view windows_path) const;

  // The entries of `directory` in byte order of their names; empty when it
  // cannot be read.
  const std::vector<DirEntry>& List(const std::filesystem::path& directory) const;

  // The entry of `directory` named `name` ignoring case, by the rule above.
  const DirEntry* Find(const std::filesystem::path& directory, std::string_view name) const;

 private:
  std::filesystem::path root_;
  mutable std::map<std::filesystem::path, std::vector<DirEntry>> listings_;
};

// Name equality ignoring case with the registry's folding (UTF-8 in).
bool FileNamesEqualIgnoreCase(std::string_view a, std::string_view b);

// File names are UTF-8 in this code whatever the system's narrow encoding:
// a path's last component as UTF-8, and a path made from UTF-8 text.
std::string Utf8FileName(const std::filesystem::path& path);
std::filesystem::path PathFromUtf8(std::string_view text);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_PATH_RESOLVER_H_
