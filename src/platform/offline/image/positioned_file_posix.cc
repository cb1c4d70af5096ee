// Host files opened for positioned reads with open and pread, for POSIX
// systems; see file_source.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/offline/image/file_source.h"

namespace qrv::offline {

namespace {

// The descriptor, closed with the object.
class PosixFile final : public RandomAccessFile {
 public:
  PosixFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  uint64_t size() const override { return size_; }

  size_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < length) {
      const ssize_t got = ::pread(fd_, out + done, length - done,
                                  static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }

 private:
  int fd_;
  uint64_t size_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenHostFile(const std::filesystem::path& path,
                                               int* error_number) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error_number = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    *error_number = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd, static_cast<uint64_t>(st.st_size));
}

}  // namespace qrv::offline
