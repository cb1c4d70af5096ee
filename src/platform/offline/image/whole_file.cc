// WholeFile, read with the standard library; see whole_file.h.
#include "platform/offline/image/whole_file.h"

#include <utility>

#include "platform/offline/image/file_source.h"

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
  int ignored = 0;
  const bool ok = FileSourceFor(path).ReadWhole(path, kMaxBytes, &buffer_,
                                                 error_number != nullptr ? error_number : &ignored);
  if (!ok) {
    buffer_.clear();
    buffer_.shrink_to_fit();
  }
  return ok;
}

}  // namespace qrv::offline
