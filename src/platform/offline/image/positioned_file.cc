// PositionedFile over the path's file source; see positioned_file.h.
#include "platform/offline/image/positioned_file.h"

namespace qrv::offline {

bool PositionedFile::Open(const std::filesystem::path& path, int* error_number) {
  file_ = FileSourceFor(path).Open(path, error_number);
  return file_ != nullptr;
}

}  // namespace qrv::offline
