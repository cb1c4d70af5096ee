// What the image needs to know about one .evtx file to make a channel and a
// registry of it: the channels its records name and how many events each
// provider logged in each. Entry points: EvtxFileSummary, EvtxSummarizer,
// SummarizeEvtxFile.
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

struct ChannelSummary {
  std::string name;  // as the first record naming it spells it
  // In order of first appearance; one entry per provider name.
  std::vector<ProviderCount> providers;
};

// A channel's name is the record's Channel text up to its first NUL (the
// registry key made of it is known by that name); an empty one names none.
struct EvtxFileSummary {
  // Channel of the first record that names one; empty when no record does.
  std::string channel;
  // Of the records of `channel` and of those naming no channel, in order of
  // first appearance; one entry per provider name.
  std::vector<ProviderCount> providers;
  // Other channels that records name (ignoring case), in order of first
  // appearance: an export made with a query over several logs. Empty for a
  // file of one channel.
  std::vector<ChannelSummary> other_channels = {};
};

// Reads a file; nullopt when it is not an event log file at all.
using EvtxSummarizer = std::function<std::optional<EvtxFileSummary>(const std::filesystem::path&)>;

// The summarizer the tool uses: reads the system properties of every record
// (no XML, no tree), once, oldest first. Records that cannot be decoded are
// passed over; nullopt when the file cannot be read or has no EVTX header.
std::optional<EvtxFileSummary> SummarizeEvtxFile(const std::filesystem::path& path);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_EVTX_SUMMARY_H_
