// One .evtx file opened for a query: its header and chunk index read once,
// its chunks read on demand with positioned reads (see evtx_chunk_file.h).
// Shared (shared_ptr) by the query's record streams. Entry point:
// EvtxSource::Open.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SOURCE_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SOURCE_H_

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/offline/image/evtx_chunk_file.h"

namespace qrv::offline {

class EvtxSource {
 public:
  // The file at `path`, or null with *error set: kErrorFileNotFound for a
  // missing file (or a folder), kErrorAccessDenied when it cannot be read,
  // kErrorFileCorrupt when the bytes do not start with an EVTX header.
  static std::shared_ptr<const EvtxSource> Open(
      const std::filesystem::path& path, uint32_t* error);

  EvtxSource(const EvtxSource&) = delete;
  EvtxSource& operator=(const EvtxSource&) = delete;

  const EvtxChunkFile& file() const { return file_; }

 private:
  EvtxSource() = default;

  EvtxChunkFile file_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SOURCE_H_
