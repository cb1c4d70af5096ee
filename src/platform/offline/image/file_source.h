// Where the image's files come from: the one seam between the image layer and
// storage. Everything above it (hives, logs, message files, case-insensitive
// lookups) goes through a FileSource: list a folder, read a whole file, open
// a file for positioned reads. Paths are the ones the image layer already
// uses, the root joined with the path's components; the source that answers
// a path is found from it (FileSourceFor): a source mounted at a prefix of
// the path (a volume inside a disk image is mounted at the image file's own
// path), else the host's file system.
//
// Entry points: FileSource, RandomAccessFile, HostFiles, MountFileSource,
// FileSourceFor.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_FILE_SOURCE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_FILE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qrv::offline {

struct DirEntry {
  std::string name;  // as stored, in UTF-8
  bool is_directory = false;
  bool is_regular_file = false;  // symbolic links are followed
};

// An open file read at named offsets; see PositionedFile for the rules.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // The size when opened.
  virtual uint64_t size() const = 0;
  // Up to `length` bytes at `offset`; fewer at the end, 0 past it or on a
  // failed read. Safe to call from several threads at once.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t length) const = 0;
};

class FileSource {
 public:
  virtual ~FileSource() = default;
  // The entries of `directory`, in any order; empty when it cannot be read.
  virtual std::vector<DirEntry> List(const std::filesystem::path& directory) const = 0;
  // `path` opened for positioned reads; null with *error_number set to an
  // errno value on failure (ENOENT missing, EISDIR a folder).
  virtual std::unique_ptr<RandomAccessFile> Open(const std::filesystem::path& path,
                                                 int* error_number) const = 0;
  // The whole of `path` into *bytes; false with *error_number set when it
  // cannot be read (as Open, EINVAL for what is not a regular file, and
  // EFBIG when it holds more than `max_bytes`).
  // The default reads through Open.
  virtual bool ReadWhole(const std::filesystem::path& path, uint64_t max_bytes,
                         std::vector<uint8_t>* bytes, int* error_number) const;
};

// The host's file system.
const FileSource& HostFiles();

// Serves every path at or below `at` from `source` from now on (a later
// mount at the same path replaces it). Done while the program starts.
void MountFileSource(const std::filesystem::path& at, std::shared_ptr<const FileSource> source);

// The source for `path`: the mount with the longest matching prefix, else
// HostFiles().
const FileSource& FileSourceFor(const std::filesystem::path& path);

// The host file opened for positioned reads (pread, or a seek and a read
// under a lock where there is no pread).
std::unique_ptr<RandomAccessFile> OpenHostFile(const std::filesystem::path& path,
                                               int* error_number);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_FILE_SOURCE_H_
