// EvtxSummaryBuilder: an EvtxFileSummary (evtx_summary.h) folded from a
// file's records one at a time, for every reader of the folder's files.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_BUILDER_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_BUILDER_H_

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "formats/evtx/system_properties.h"
#include "platform/offline/image/evtx_summary.h"

namespace qrv::offline {

// Folds a file's records, in order, into an EvtxFileSummary. A record
// of the file's first channel costs a byte compare of its Channel; only the
// records of other channels are looked up by name.
class EvtxSummaryBuilder {
 public:
  void Add(const evtx::SystemProperties& props);
  EvtxFileSummary Take() { return std::move(summary_); }

 private:
  // The provider list of channel `index` (0: the file's first channel).
  std::vector<ProviderCount>& Providers(size_t index) {
    return index == 0 ? summary_.providers : summary_.other_channels[index - 1].providers;
  }
  size_t ChannelIndex(const std::string& raw_channel);

  EvtxFileSummary summary_;
  std::string home_raw_;  // UTF-16LE bytes of summary_.channel
  // Channel and provider spellings met so far, by raw UTF-16LE bytes, so a
  // record costs hash lookups and no conversion; `key_` keeps its capacity.
  std::unordered_map<std::string, size_t> channel_index_;
  std::vector<std::unordered_map<std::string, size_t>> provider_index_{1};
  std::string key_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_BUILDER_H_
