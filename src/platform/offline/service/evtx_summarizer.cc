// Summaries of .evtx files for the image; see evtx_summarizer.h.
#include "platform/offline/service/evtx_summarizer.h"

#include <string>
#include <unordered_map>

#include "formats/evtx/value_format.h"
#include "platform/offline/service/evtx_source.h"

namespace qrv::offline {

std::optional<EvtxFileSummary> SummarizeEvtxFile(
    const std::filesystem::path& path) {
  uint32_t error = 0;
  std::shared_ptr<const EvtxSource> source = EvtxSource::Open(path, &error);
  if (!source) return std::nullopt;
  EvtxFileSummary summary;
  std::unordered_map<std::string, size_t> provider_index;
  EvtxRecordCursor cursor(source->file(), evtx::RecordOrder::kOldestFirst);
  evtx::SystemProperties props;
  std::string name;
  while (cursor.Next()) {
    if (cursor.decoder().ReadSystem(cursor.record(), &props) !=
        evtx::DecodeStatus::kOk)
      continue;
    if (summary.channel.empty() && props.Has(evtx::SystemProperty::kChannel))
      summary.channel = props.channel.ToUtf8();
    if (!props.Has(evtx::SystemProperty::kProviderName)) continue;
    name = props.provider_name.ToUtf8();
    auto [it, added] =
        provider_index.try_emplace(name, summary.providers.size());
    if (added) {
      ProviderCount count;
      count.name = name;
      if (props.Has(evtx::SystemProperty::kProviderGuid))
        evtx::AppendGuid(props.provider_guid.bytes, &count.guid);
      summary.providers.push_back(std::move(count));
    }
    ++summary.providers[it->second].events;
  }
  return summary;
}

}  // namespace qrv::offline
