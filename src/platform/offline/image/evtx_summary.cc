// Per-file channel and provider counts from the EVTX reader; see
// evtx_summary.h.
#include "platform/offline/image/evtx_summary.h"

#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "formats/evtx/system_properties.h"
#include "platform/offline/image/evtx_chunk_file.h"

namespace qrv::offline {

namespace {

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lowercase, as the registry
// spells publisher keys; Data1..Data3 are little-endian on disk.
std::string GuidText(const evtx::GuidBytes& guid) {
  const uint8_t* b = guid.bytes;
  char text[40];
  std::snprintf(text, sizeof text, "{%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return text;
}

}  // namespace

std::optional<EvtxFileSummary> SummarizeEvtxFile(const std::filesystem::path& path) {
  EvtxChunkFile file;
  if (file.Open(path) != EvtxOpenStatus::kOk) return std::nullopt;

  EvtxFileSummary summary;
  // Providers by the raw UTF-16LE bytes of their name, so a record costs a
  // hash lookup and no conversion; `key` keeps its capacity across records.
  std::unordered_map<std::string, size_t> index;
  std::string key;
  EvtxRecordCursor cursor(file, evtx::RecordOrder::kFileOrder);
  evtx::SystemProperties props;
  while (cursor.Next()) {
    if (cursor.decoder().ReadSystem(cursor.record(), &props) != evtx::DecodeStatus::kOk) continue;
    if (summary.channel.empty() && props.Has(evtx::SystemProperty::kChannel)) {
      summary.channel = props.channel.ToUtf8();
    }
    if (!props.Has(evtx::SystemProperty::kProviderName)) continue;
    key.assign(reinterpret_cast<const char*>(props.provider_name.data), props.provider_name.units * 2u);
    auto [it, added] = index.try_emplace(key, summary.providers.size());
    if (added) summary.providers.push_back(ProviderCount{props.provider_name.ToUtf8(), "", 0});
    ProviderCount& provider = summary.providers[it->second];
    ++provider.events;
    // A GUID missing from the provider's first record may come later.
    if (provider.guid.empty() && props.Has(evtx::SystemProperty::kProviderGuid)) {
      provider.guid = GuidText(props.provider_guid);
    }
  }
  return summary;
}

}  // namespace qrv::offline
