// Channel discovery on a volume image; see volume_channels.h.
#include "platform/offline/image/volume_channels.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "formats/event_names.h"
#include "formats/utf16.h"
#include "platform/offline/image/channel_file_names.h"
#include "platform/offline/image/windows_path.h"
#include "platform/registry_api.h"
#include "platform/registry_layout.h"

namespace qrv::offline {

namespace {

const std::vector<std::string> kDefaultLogFolder = {"Windows", "System32", "winevt", "Logs"};

// Where a channel's files are looked for.
struct LogLocation {
  std::optional<std::filesystem::path> folder;  // resolved in the image
  std::string file_name;                        // live log, as configured
  std::vector<std::string> archive_suffixes;    // parallel to archives
  std::vector<std::filesystem::path> archives;
};

// REG_SZ / REG_EXPAND_SZ text up to its first NUL.
std::optional<std::string> StringValue(const RegistryTree& tree, const KeyRef& key,
                                       std::string_view name) {
  StoredValue value;
  if (tree.QueryValue(key, name, &value) != ValueStatus::kFound) return std::nullopt;
  if (value.type != kRegSz && value.type != kRegExpandSz) return std::nullopt;
  return text::Utf16ToUtf8(text::Utf16LeUnits(value.data.data(), value.data.size(), true));
}

// The configured log path of `channel`, from either registry area.
std::optional<std::string> ConfiguredFile(const RegistryTree& tree, std::string_view channel) {
  for (std::string_view area : {kRegisteredChannelKey, kServiceLogKey}) {
    std::optional<KeyRef> area_key = tree.Open(tree.Machine(), area);
    if (!area_key) continue;
    // Key names never hold a backslash, so the channel name opens as one key.
    std::optional<KeyRef> key = tree.Open(*area_key, channel);
    if (!key) continue;
    std::optional<std::string> file = StringValue(tree, *key, kLogFileValue);
    if (file && !file->empty()) return file;
  }
  return std::nullopt;
}

LogLocation Locate(const RegistryTree& tree, const PathResolver& resolver, std::string_view channel) {
  LogLocation where;
  std::vector<std::string> components = kDefaultLogFolder;
  components.push_back(ChannelFileName(channel));
  if (std::optional<std::string> configured = ConfiguredFile(tree, channel)) {
    std::optional<std::vector<std::string>> parts = ImagePathComponents(*configured);
    // A path off the system drive cannot be in the image: the log is empty.
    if (!parts || parts->empty()) return where;
    components = std::move(*parts);
  }
  where.file_name = components.back();
  components.pop_back();
  where.folder = resolver.Resolve(components);
  return where;
}

std::string FileStem(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  return std::string(dot == std::string_view::npos ? file_name : file_name.substr(0, dot));
}

// Hands each archive in the folders of `locations` to the channel with the
// longest live-log stem it names, so "Archive-Security-Audit-..." goes to a
// "Security-Audit" log rather than "Security".
void AssignArchives(const PathResolver& resolver, std::vector<LogLocation>* locations) {
  std::map<std::filesystem::path, std::vector<size_t>> by_folder;
  for (size_t i = 0; i < locations->size(); ++i) {
    if ((*locations)[i].folder) by_folder[*(*locations)[i].folder].push_back(i);
  }
  for (const auto& [folder, members] : by_folder) {
    for (const DirEntry& entry : resolver.List(folder)) {
      if (!entry.is_regular_file || !IsArchiveName(entry.name)) continue;
      size_t best = 0;
      size_t best_stem = 0;
      std::optional<std::string> best_suffix;
      for (size_t i : members) {
        const std::string stem = FileStem((*locations)[i].file_name);
        std::optional<std::string> suffix = ArchiveSuffix(entry.name, stem);
        if (suffix && (!best_suffix || stem.size() > best_stem)) {
          best = i;
          best_stem = stem.size();
          best_suffix = std::move(suffix);
        }
      }
      if (!best_suffix) continue;
      LogLocation& owner = (*locations)[best];
      owner.archive_suffixes.push_back(*best_suffix);
      owner.archives.push_back(folder / PathFromUtf8(entry.name));
    }
  }
}

}  // namespace

std::vector<ChannelFiles> FindVolumeChannels(const RegistryTree& tree, const PathResolver& resolver) {
  std::vector<std::string> names;
  auto add_names = [&](std::string_view area, bool skip_settings) {
    std::optional<KeyRef> key = tree.Open(tree.Machine(), area);
    if (!key) return;
    for (std::string& name : tree.SubkeyNames(*key)) {
      const auto same = [&name](std::string_view other) { return event_names::Same(name, other); };
      if (skip_settings && IsServiceSettingsKey(name)) continue;
      if (std::none_of(names.begin(), names.end(), same)) names.push_back(std::move(name));
    }
  };
  add_names(kServiceLogKey, true);
  add_names(kRegisteredChannelKey, false);

  std::vector<LogLocation> locations;
  locations.reserve(names.size());
  for (const std::string& name : names) locations.push_back(Locate(tree, resolver, name));
  AssignArchives(resolver, &locations);

  std::vector<ChannelFiles> channels;
  channels.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    LogLocation& where = locations[i];
    ChannelFiles channel{names[i], {}};
    // Windows's timestamps sort as text in time order.
    std::vector<size_t> order(where.archives.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&where](size_t a, size_t b) {
      return where.archive_suffixes[a] < where.archive_suffixes[b];
    });
    for (size_t k : order) channel.files.push_back(where.archives[k]);
    if (where.folder) {
      const DirEntry* live = resolver.Find(*where.folder, where.file_name);
      if (live != nullptr && live->is_regular_file) channel.files.push_back(*where.folder / PathFromUtf8(live->name));
    }
    channels.push_back(std::move(channel));
  }
  return channels;
}

}  // namespace qrv::offline
