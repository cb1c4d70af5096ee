// A whole file read into memory, for the readers that keep pointers into
// their bytes (registry hives). The bytes are a copy, so the file may change
// or vanish on disk afterwards without harm. The file comes from the path's
// FileSource (file_source.h). Entry point: WholeFile::Open.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_WHOLE_FILE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_WHOLE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace qrv::offline {

class WholeFile {
 public:
  // Hives, the largest files read whole, stay well under this; a damaged
  // volume that claims a larger file is not believed.
  static constexpr uint64_t kMaxBytes = 2ull << 30;

  WholeFile() = default;
  WholeFile(WholeFile&& other) noexcept;
  WholeFile& operator=(WholeFile&& other) noexcept;
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  // Reads `path`. On failure returns false and sets *error_number (an errno
  // value: EISDIR for a folder, ENOENT when it cannot be opened, EIO when a
  // read fails, EFBIG past kMaxBytes) when given; the object is then empty.
  // An empty file opens as zero bytes.
  bool Open(const std::filesystem::path& path, int* error_number = nullptr);

  const uint8_t* data() const { return buffer_.data(); }
  size_t size() const { return buffer_.size(); }

 private:
  std::vector<uint8_t> buffer_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_WHOLE_FILE_H_
