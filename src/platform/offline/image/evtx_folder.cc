// Grouping the files of a bare folder into channels; see evtx_folder.h.
#include "platform/offline/image/evtx_folder.h"

#include <algorithm>

#include "formats/event_names.h"
#include "formats/regf/name_text.h"
#include "platform/offline/image/channel_file_names.h"
#include "platform/offline/image/evt_log_file.h"

namespace qrv::offline {

namespace {

void AddProviders(const std::vector<ProviderCount>& from, std::vector<ProviderCount>* into) {
  for (const ProviderCount& p : from) {
    auto it = std::find_if(into->begin(), into->end(),
                           [&p](const ProviderCount& q) { return event_names::Same(q.name, p.name); });
    if (it == into->end()) {
      into->push_back(p);
      continue;
    }
    it->events += p.events;
    if (it->guid.empty()) it->guid = p.guid;
  }
}

// The index of channel `name` in `channels`, added when missing, with `path`
// among its files and `providers` counted in.
size_t Join(std::string name, const std::filesystem::path& path,
                    const std::vector<ProviderCount>& providers, std::vector<FolderChannel>* channels) {
  auto it = std::find_if(channels->begin(), channels->end(),
                         [&name](const FolderChannel& c) { return event_names::Same(c.channel.name, name); });
  if (it == channels->end()) {
    channels->push_back(FolderChannel{ChannelFiles{std::move(name), {}}, {}});
    it = channels->end() - 1;
  }
  if (it->channel.files.empty() || it->channel.files.back() != path) it->channel.files.push_back(path);
  AddProviders(providers, &it->providers);
  return static_cast<size_t>(it - channels->begin());
}

}  // namespace

std::vector<FolderChannel> ScanEvtxFolder(const PathResolver& resolver,
                                          const EvtxSummarizer& summarize) {
  std::vector<FolderChannel> channels;
  // List() is in byte order of names, so files join their channel in name order.
  for (const DirEntry& entry : resolver.List(resolver.root())) {
    if (!entry.is_regular_file || !HasLogFileExtension(entry.name)) continue;
    const std::filesystem::path path = resolver.root() / PathFromUtf8(entry.name);
    std::optional<EvtxFileSummary> summary = summarize(path);
    if (!summary) continue;
    std::string name = summary->channel;
    // The channel becomes a registry key, whose name the registry calls give
    // back up to its first NUL: the channel is known by that name.
    name.resize(std::min(name.size(), name.find('\0')));
    if (name.empty()) {
      std::optional<std::string> from_file_name = ChannelFromLogFileName(entry.name);
      if (!from_file_name) continue;
      name = std::move(*from_file_name);
    }
    const size_t home = Join(std::move(name), path, summary->providers, &channels);
    for (ChannelSummary& other : summary->other_channels) {
      other.name.resize(std::min(other.name.size(), other.name.find('\0')));
      if (other.name.empty()) continue;
      const size_t c = Join(std::move(other.name), path, other.providers, &channels);
      if (c == home) continue;  // the same name once cut at a NUL
      std::vector<SharedFile>& home_shared = channels[home].channel.shared;
      if (home_shared.empty() || home_shared.back().path != path) home_shared.push_back(SharedFile{path, true});
      channels[c].channel.shared.push_back(SharedFile{path, false});
    }
  }
  for (FolderChannel& c : channels) {
    // Stable: within each group the name order of the listing stays.
    std::stable_partition(c.channel.files.begin(), c.channel.files.end(),
                          [](const std::filesystem::path& p) { return IsArchiveName(Utf8FileName(p)); });
  }
  std::sort(channels.begin(), channels.end(), [](const FolderChannel& a, const FolderChannel& b) {
    return regf::CompareNamesIgnoreCase(a.channel.name, b.channel.name) < 0;
  });
  return channels;
}

}  // namespace qrv::offline
