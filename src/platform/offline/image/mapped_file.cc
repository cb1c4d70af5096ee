// POSIX implementation of MappedFile; see mapped_file.h.
#include "platform/offline/image/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qrv::offline {

namespace {

// Closes a descriptor on every path out of Open; the mapping outlives it.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads until end of file, for descriptors that cannot be mapped.
bool ReadAll(int fd, std::vector<uint8_t>* out, int* error_number) {
  constexpr size_t kReadStep = 1 << 16;
  size_t used = 0;
  for (;;) {
    out->resize(used + kReadStep);
    ssize_t got = ::read(fd, out->data() + used, kReadStep);
    if (got < 0) {
      if (errno == EINTR) continue;
      *error_number = errno;
      return false;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  out->resize(used);
  return true;
}

}  // namespace

MappedFile::~MappedFile() { Reset(); }

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Reset();
    mapping_ = std::exchange(other.mapping_, nullptr);
    size_ = std::exchange(other.size_, 0);
    buffer_ = std::move(other.buffer_);
    other.buffer_.clear();
    other.data_ = nullptr;
    data_ = mapping_ != nullptr ? static_cast<const uint8_t*>(mapping_) : buffer_.data();
  }
  return *this;
}

void MappedFile::Reset() {
  if (mapping_ != nullptr) ::munmap(mapping_, size_);
  mapping_ = nullptr;
  buffer_.clear();
  buffer_.shrink_to_fit();
  data_ = nullptr;
  size_ = 0;
}

bool MappedFile::Open(const std::filesystem::path& path, int* error_number) {
  Reset();
  int ignored = 0;
  int* err = error_number != nullptr ? error_number : &ignored;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    *err = errno;
    return false;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    *err = errno;
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *err = EISDIR;
    return false;
  }
  // A size of 0 is read rather than mapped: mmap refuses length 0, and
  // files such as those under /proc report 0 but have content.
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    const auto length = static_cast<size_t>(st.st_size);
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (p != MAP_FAILED) {
      mapping_ = p;
      size_ = length;
      data_ = static_cast<const uint8_t*>(p);
      return true;
    }
    // Some file systems cannot map; reading still works there.
  }
  if (!ReadAll(fd.get(), &buffer_, err)) {
    buffer_.clear();
    return false;
  }
  data_ = buffer_.data();
  size_ = buffer_.size();
  return true;
}

}  // namespace qrv::offline
