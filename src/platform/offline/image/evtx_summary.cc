// Per-file channel and provider counts from the EVTX reader; see
// evtx_summary.h.
#include "platform/offline/image/evtx_summary.h"

#include "formats/evtx/file_reader.h"
#include "formats/evtx/system_properties.h"
#include "platform/offline/image/evtx_summary_builder.h"
#include "platform/offline/image/mapped_file.h"

namespace qrv::offline {

std::optional<EvtxFileSummary> SummarizeEvtxFile(const std::filesystem::path& path) {
  MappedFile file;
  if (!file.Open(path)) return std::nullopt;
  evtx::FileReader reader;
  if (!reader.Open(file.data(), file.size())) return std::nullopt;

  EvtxSummaryBuilder builder;
  evtx::RecordCursor cursor(reader, evtx::RecordOrder::kFileOrder);
  evtx::SystemProperties props;
  while (cursor.Next()) {
    if (cursor.decoder().ReadSystem(cursor.record(), &props) != evtx::DecodeStatus::kOk) continue;
    builder.Add(props);
  }
  return builder.Take();
}

}  // namespace qrv::offline
