// Host files opened for positioned reads with the standard library, for
// systems without pread: one stream per file, each read a seek and a read
// under the file's lock; see file_source.h.
#include <cerrno>
#include <fstream>
#include <mutex>
#include <system_error>

#include "platform/offline/image/file_source.h"

namespace qrv::offline {

namespace {

class StreamFile final : public RandomAccessFile {
 public:
  StreamFile(std::ifstream in, uint64_t size) : in_(std::move(in)), size_(size) {}

  uint64_t size() const override { return size_; }

  size_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
    std::lock_guard<std::mutex> hold(lock_);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    if (!in_) return 0;
    in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(length));
    return static_cast<size_t>(in_.gcount());
  }

 private:
  mutable std::ifstream in_;
  mutable std::mutex lock_;
  uint64_t size_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenHostFile(const std::filesystem::path& path,
                                               int* error_number) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error_number = EISDIR;
    return nullptr;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error_number = std::filesystem::exists(path, ec) ? EACCES : ENOENT;
    return nullptr;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  return std::make_unique<StreamFile>(std::move(in), end > 0 ? static_cast<uint64_t>(end) : 0);
}

}  // namespace qrv::offline
