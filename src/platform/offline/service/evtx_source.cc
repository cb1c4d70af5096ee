// Opening one .evtx file for queries; see evtx_source.h.
#include "platform/offline/service/evtx_source.h"

#include <cerrno>
#include <system_error>

#include "platform/win32_types.h"

namespace qrv::offline {

std::shared_ptr<const EvtxSource> EvtxSource::Open(
    const std::filesystem::path& path, uint32_t* error) {
  std::error_code ec;
  // A folder maps as nothing useful; Windows reports such a path as missing.
  if (std::filesystem::is_directory(path, ec)) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  std::shared_ptr<EvtxSource> source(new EvtxSource());
  int error_number = 0;
  if (!source->file_.Open(path, &error_number)) {
    *error = (error_number == ENOENT || error_number == ENOTDIR)
                 ? kErrorFileNotFound
                 : kErrorAccessDenied;
    return nullptr;
  }
  if (!source->reader_.Open(source->file_.data(), source->file_.size())) {
    *error = kErrorFileCorrupt;
    return nullptr;
  }
  return source;
}

}  // namespace qrv::offline
