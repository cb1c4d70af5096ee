// Opening one .evtx file for queries; see evtx_source.h.
#include "platform/offline/service/evtx_source.h"

#include "platform/win32_types.h"

namespace qrv::offline {

std::shared_ptr<const EvtxSource> EvtxSource::Open(
    const std::filesystem::path& path, uint32_t* error) {
  std::shared_ptr<EvtxSource> source(new EvtxSource());
  switch (source->file_.Open(path)) {
    case EvtxOpenStatus::kOk:
      return source;
    // A folder reads as nothing useful; Windows reports such a path as
    // missing.
    case EvtxOpenStatus::kMissing:
      *error = kErrorFileNotFound;
      break;
    case EvtxOpenStatus::kUnreadable:
      *error = kErrorAccessDenied;
      break;
    case EvtxOpenStatus::kNotEvtx:
      *error = kErrorFileCorrupt;
      break;
  }
  return nullptr;
}

}  // namespace qrv::offline
