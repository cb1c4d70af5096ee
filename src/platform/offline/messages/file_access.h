// How the message catalogue reaches files inside the offline image: a
// resolver turns a path as the registry writes it into a host path, and a
// loader reads host files (from disk in the tool, from memory in tests).
//
// Entry points: FileResolver, FileLoader, HostFileLoader, SplitFileList.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_FILE_ACCESS_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_FILE_ACCESS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::offline {

// Maps one Windows path as registered (environment variables such as
// %SystemRoot% still in it, any letter case) to the host path of the file or
// directory it names in the image; nullopt when the image has none.
using FileResolver =
    std::function<std::optional<std::string>(std::string_view windows_path)>;

class FileLoader {
 public:
  virtual ~FileLoader() = default;
  // The whole file, or nullopt when it cannot be read (missing, a directory,
  // larger than the loader accepts).
  virtual std::optional<std::vector<uint8_t>> Read(
      const std::string& host_path) = 0;
  // Names of the subdirectories of `host_dir`, in any order; empty when
  // there are none or the directory cannot be listed. Used to find the
  // language folders that hold .mui files.
  virtual std::vector<std::string> Subdirectories(
      const std::string& host_dir) = 0;
};

// Reads files through their FileSource (image/file_source.h): the host's
// file system, or a volume in a disk image mounted over a path.
class HostFileLoader : public FileLoader {
 public:
  // Message DLLs are at most a few tens of MB (shell32.dll, about 25 MB, is
  // among the largest); a file claiming more is not a message file.
  static constexpr uint64_t kMaxFileBytes = 256ull << 20;

  std::optional<std::vector<uint8_t>> Read(
      const std::string& host_path) override;
  std::vector<std::string> Subdirectories(const std::string& host_dir) override;
};

// The entries of a registry file list ("a.dll; b.dll"): split at ';', blanks
// trimmed from each entry, empty entries dropped, order kept.
std::vector<std::string> SplitFileList(std::string_view list);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_FILE_ACCESS_H_
