// The image's view of one .evtx file (EvtxSummarizer): the channels its
// records name and the events per provider in each, read with the
// system-property fast path. Entry point: SummarizeEvtxFile.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SUMMARIZER_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SUMMARIZER_H_

#include <filesystem>
#include <optional>

#include "platform/offline/image/evtx_summary.h"

namespace qrv::offline {

// Nullopt when the file cannot be read or is not an EVTX file.
std::optional<EvtxFileSummary> SummarizeEvtxFile(
    const std::filesystem::path& path);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_EVTX_SUMMARIZER_H_
