// A file kept open for positioned reads: each read names its offset and
// length, so memory stays with the caller's buffer whatever the file's size,
// and a file that shrinks, grows or is replaced on disk while open gives
// short reads or the old file's bytes, never a fault (unlike a mapping,
// which raises SIGBUS on a page past a shrunken end). POSIX systems use
// pread; elsewhere a seek and a read under a lock. The file comes from the
// path's FileSource (file_source.h): the host, or a volume in a disk image.
// Entry point: PositionedFile::Open.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_POSITIONED_FILE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_POSITIONED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/offline/image/file_source.h"

namespace qrv::offline {

class PositionedFile {
 public:
  PositionedFile() = default;
  PositionedFile(PositionedFile&& other) noexcept = default;
  PositionedFile& operator=(PositionedFile&& other) noexcept = default;
  PositionedFile(const PositionedFile&) = delete;
  PositionedFile& operator=(const PositionedFile&) = delete;

  // Opens `path` for reading. On failure returns false and sets
  // *error_number to an errno value (EISDIR for a folder).
  bool Open(const std::filesystem::path& path, int* error_number);

  // The size when opened (64-bit: logs may pass 4 GiB).
  uint64_t size() const { return file_ ? file_->size() : 0; }

  // Reads up to `length` bytes at `offset` into `buffer`; returns how many
  // were read: fewer at the current end of file, 0 past it or when the read
  // fails. Safe to call from several threads at once.
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) const {
    return file_ ? file_->ReadAt(offset, buffer, length) : 0;
  }

 private:
  std::unique_ptr<RandomAccessFile> file_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_POSITIONED_FILE_H_
