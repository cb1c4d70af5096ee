// Per-file channel and provider counts from the EVTX reader; see
// evtx_summary.h.
#include "platform/offline/image/evtx_summary.h"

#include "formats/evtx/system_properties.h"
#include "platform/offline/image/evtx_chunk_file.h"
#include "platform/offline/image/evtx_summary_builder.h"

namespace qrv::offline {

std::optional<EvtxFileSummary> SummarizeEvtxFile(const std::filesystem::path& path) {
  EvtxChunkFile file;
  if (file.Open(path) != EvtxOpenStatus::kOk) return std::nullopt;

  EvtxSummaryBuilder builder;
  // Oldest first, as queries read the file: in a log that has wrapped, the
  // first channel and the order of first appearance are those of the
  // oldest records.
  EvtxRecordCursor cursor(file, evtx::RecordOrder::kOldestFirst);
  evtx::SystemProperties props;
  while (cursor.Next()) {
    if (cursor.decoder().ReadSystem(cursor.record(), &props) != evtx::DecodeStatus::kOk) continue;
    builder.Add(props);
  }
  return builder.Take();
}

}  // namespace qrv::offline
