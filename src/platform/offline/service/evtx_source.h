// One .evtx file opened for a query: mapped once, its header and chunk index
// read once, then shared (shared_ptr) by the query's record stream and by
// every event handle that came from it, so an event can still be rendered
// after its query moved on or was closed. Entry point: EvtxSource::Open.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SOURCE_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SOURCE_H_

#include <cstdint>
#include <filesystem>
#include <memory>

#include "formats/evtx/file_reader.h"
#include "platform/offline/image/mapped_file.h"

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

  const evtx::FileReader& reader() const { return reader_; }

 private:
  EvtxSource() = default;

  MappedFile file_;
  evtx::FileReader reader_;  // reads from file_'s bytes
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SOURCE_H_
