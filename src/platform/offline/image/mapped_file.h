// A whole file held read-only in memory for the readers, which take bytes:
// mapped with mmap for regular files, read into a buffer for anything else
// (pipes, character devices, files that report a size of 0).
// Entry point: MappedFile::Open.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_MAPPED_FILE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_MAPPED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace qrv::offline {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps `path`. On failure returns false and sets *error_number (errno)
  // when given; the object is then empty. An empty file opens as zero bytes.
  bool Open(const std::filesystem::path& path, int* error_number = nullptr);

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool is_mapped() const { return mapping_ != nullptr; }

 private:
  void Reset();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  void* mapping_ = nullptr;      // set when the bytes come from mmap
  std::vector<uint8_t> buffer_;  // the bytes when the file could not be mapped
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_MAPPED_FILE_H_
