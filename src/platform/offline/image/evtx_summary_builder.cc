// Folding records into a file summary; see evtx_summary_builder.h.
#include "platform/offline/image/evtx_summary_builder.h"

#include <cstdio>

#include "formats/event_names.h"
#include "formats/utf16.h"

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

size_t EvtxSummaryBuilder::ChannelIndex(const std::string& raw_channel) {
  auto found = channel_index_.find(raw_channel);
  if (found != channel_index_.end()) return found->second;
  std::string name = text::Utf16ToUtf8(
      text::Utf16LeUnits(reinterpret_cast<const uint8_t*>(raw_channel.data()), raw_channel.size()));
  size_t index = 0;
  if (!event_names::Same(summary_.channel, name)) {
    for (index = 1; index <= summary_.other_channels.size(); ++index) {
      if (event_names::Same(summary_.other_channels[index - 1].name, name)) break;
    }
    if (index > summary_.other_channels.size()) {
      summary_.other_channels.push_back(ChannelSummary{std::move(name), {}});
      provider_index_.emplace_back();
    }
  }
  channel_index_.emplace(raw_channel, index);
  return index;
}

void EvtxSummaryBuilder::Add(const evtx::SystemProperties& props) {
  size_t channel = 0;
  if (props.Has(evtx::SystemProperty::kChannel)) {
    uint32_t units = 0;
    const uint8_t* c = props.channel.data;
    while (units < props.channel.units && (c[2 * units] | c[2 * units + 1]) != 0) ++units;
    if (units != 0) {
      key_.assign(reinterpret_cast<const char*>(c), units * 2u);
      if (summary_.channel.empty()) {
        summary_.channel = evtx::Utf16Ref{c, units}.ToUtf8();
        home_raw_ = key_;
        channel_index_.emplace(key_, 0);
      } else if (key_ != home_raw_) {
        channel = ChannelIndex(key_);
      }
    }
  }
  if (!props.Has(evtx::SystemProperty::kProviderName)) return;
  std::vector<ProviderCount>& providers = Providers(channel);
  key_.assign(reinterpret_cast<const char*>(props.provider_name.data), props.provider_name.units * 2u);
  auto [it, added] = provider_index_[channel].try_emplace(key_, providers.size());
  if (added) providers.push_back(ProviderCount{props.provider_name.ToUtf8(), "", 0});
  ProviderCount& provider = providers[it->second];
  ++provider.events;
  // A GUID missing from the provider's first record may come later.
  if (provider.guid.empty() && props.Has(evtx::SystemProperty::kProviderGuid)) {
    provider.guid = GuidText(props.provider_guid);
  }
}


}  // namespace qrv::offline
