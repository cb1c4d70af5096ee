// Summaries of .evtx files for the image; see evtx_summarizer.h.
#include "platform/offline/service/evtx_summarizer.h"

#include "platform/offline/image/evtx_summary_builder.h"
#include "platform/offline/service/evtx_source.h"

namespace qrv::offline {

std::optional<EvtxFileSummary> SummarizeEvtxFile(
    const std::filesystem::path& path) {
  uint32_t error = 0;
  std::shared_ptr<const EvtxSource> source = EvtxSource::Open(path, &error);
  if (!source) return std::nullopt;
  EvtxSummaryBuilder builder;
  EvtxRecordCursor cursor(source->file(), evtx::RecordOrder::kOldestFirst);
  evtx::SystemProperties props;
  while (cursor.Next()) {
    if (cursor.decoder().ReadSystem(cursor.record(), &props) ==
        evtx::DecodeStatus::kOk)
      builder.Add(props);
  }
  return builder.Take();
}

}  // namespace qrv::offline
