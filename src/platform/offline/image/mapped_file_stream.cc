// MappedFile for systems without mmap: the file is read whole into a buffer
// with the standard library; see mapped_file.h.
#include "platform/offline/image/mapped_file.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <utility>

namespace qrv::offline {

MappedFile::~MappedFile() { Reset(); }

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    buffer_ = std::move(other.buffer_);
    other.Reset();
    data_ = buffer_.data();
    size_ = buffer_.size();
  }
  return *this;
}

void MappedFile::Reset() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  data_ = nullptr;
  size_ = 0;
}

bool MappedFile::Open(const std::filesystem::path& path, int* error_number) {
  Reset();
  int ignored = 0;
  int* err = error_number != nullptr ? error_number : &ignored;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *err = EISDIR;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *err = ENOENT;
    return false;
  }
  constexpr size_t kReadStep = 1 << 16;
  size_t used = 0;
  for (;;) {
    buffer_.resize(used + kReadStep);
    in.read(reinterpret_cast<char*>(buffer_.data() + used), static_cast<std::streamsize>(kReadStep));
    used += static_cast<size_t>(in.gcount());
    if (!in) break;
  }
  if (in.bad()) {
    Reset();
    *err = EIO;
    return false;
  }
  buffer_.resize(used);
  data_ = buffer_.data();
  size_ = buffer_.size();
  return true;
}

}  // namespace qrv::offline
