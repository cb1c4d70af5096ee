// WholeFile, read with the standard library; see whole_file.h.
#include "platform/offline/image/whole_file.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <utility>

namespace qrv::offline {

WholeFile::WholeFile(WholeFile&& other) noexcept { *this = std::move(other); }

WholeFile& WholeFile::operator=(WholeFile&& other) noexcept {
  if (this != &other) {
    buffer_ = std::move(other.buffer_);
    other.buffer_.clear();
  }
  return *this;
}

bool WholeFile::Open(const std::filesystem::path& path, int* error_number) {
  buffer_.clear();
  buffer_.shrink_to_fit();
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
  // Read in steps until end of file rather than trusting a size taken
  // first: files under /proc report 0 bytes, and a file may change between
  // the two.
  constexpr size_t kReadStep = 1 << 16;
  size_t used = 0;
  for (;;) {
    buffer_.resize(used + kReadStep);
    in.read(reinterpret_cast<char*>(buffer_.data() + used),
            static_cast<std::streamsize>(kReadStep));
    used += static_cast<size_t>(in.gcount());
    if (!in) break;
  }
  if (in.bad()) {
    buffer_.clear();
    *err = EIO;
    return false;
  }
  buffer_.resize(used);
  buffer_.shrink_to_fit();
  return true;
}

}  // namespace qrv::offline
