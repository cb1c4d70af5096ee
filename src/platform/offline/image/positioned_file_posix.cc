// PositionedFile with open and pread, for POSIX systems; see
// positioned_file.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/offline/image/positioned_file.h"

namespace qrv::offline {

// The descriptor, closed on every path: in Open's failures and with the
// object.
struct PositionedFile::Handle {
  explicit Handle(int d) : fd(d) {}
  ~Handle() {
    if (fd >= 0) ::close(fd);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  int fd;
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
  auto handle =
      std::make_unique<Handle>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (handle->fd < 0) {
    *error_number = errno;
    return false;
  }
  struct stat st {};
  if (::fstat(handle->fd, &st) != 0) {
    *error_number = errno;
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error_number = EISDIR;
    return false;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  handle_ = std::move(handle);
  return true;
}

size_t PositionedFile::ReadAt(uint64_t offset, void* buffer,
                              size_t length) const {
  if (!handle_) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(handle_->fd, out + done, length - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace qrv::offline
