// What the image needs to know about one .evtx file to make a channel and a
// registry of it: the channel its records name and how many events each
// provider logged. Entry points: EvtxFileSummary, EvtxSummarizer.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrv::offline {

struct ProviderCount {
  std::string name;  // Provider Name, UTF-8
  std::string guid;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" lowercase; empty when none
  uint64_t events = 0;
};

struct EvtxFileSummary {
  // Channel of the first record that has one; empty when no record does.
  std::string channel;
  // In order of first appearance; one entry per provider name.
  std::vector<ProviderCount> providers;
};

// Reads a file; nullopt when it is not an event log file at all.
using EvtxSummarizer = std::function<std::optional<EvtxFileSummary>(const std::filesystem::path&)>;

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_H_
