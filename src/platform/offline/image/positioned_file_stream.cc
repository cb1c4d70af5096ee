// PositionedFile with the standard library, for systems without pread: one
// stream per file, each read a seek and a read under the file's lock; see
// positioned_file.h.
#include <cerrno>
#include <fstream>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/offline/image/positioned_file.h"

namespace qrv::offline {

struct PositionedFile::Handle {
  std::ifstream in;
  std::mutex lock;
};

PositionedFile::PositionedFile() = default;
PositionedFile::~PositionedFile() = default;
PositionedFile::PositionedFile(PositionedFile&& other) noexcept
    : handle_(std::move(other.handle_)),
      size_(std::exchange(other.size_, 0)) {}
PositionedFile& PositionedFile::operator=(PositionedFile&& other) noexcept {
  handle_ = std::move(other.handle_);
  size_ = std::exchange(other.size_, 0);
  return *this;
}

bool PositionedFile::Open(const std::filesystem::path& path,
                          int* error_number) {
  handle_.reset();
  size_ = 0;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error_number = EISDIR;
    return false;
  }
  auto handle = std::make_unique<Handle>();
  handle->in.open(path, std::ios::binary);
  if (!handle->in) {
    *error_number = std::filesystem::exists(path, ec) ? EACCES : ENOENT;
    return false;
  }
  handle->in.seekg(0, std::ios::end);
  const std::streamoff end = handle->in.tellg();
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  handle_ = std::move(handle);
  return true;
}

size_t PositionedFile::ReadAt(uint64_t offset, void* buffer,
                              size_t length) const {
  if (!handle_) return 0;
  std::lock_guard<std::mutex> hold(handle_->lock);
  std::ifstream& in = handle_->in;
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
  if (!in) return 0;
  in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(length));
  return static_cast<size_t>(in.gcount());
}

}  // namespace qrv::offline
