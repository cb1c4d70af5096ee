// Layout detection and the parts of an image; see image.h.
#include "platform/offline/image/image.h"

#include "formats/event_names.h"
#include "platform/offline/image/channel_file_names.h"
#include "platform/offline/image/evt_log_file.h"
#include "platform/offline/image/evtx_folder.h"
#include "platform/offline/image/synthetic_registry.h"
#include "platform/offline/image/volume_channels.h"

namespace qrv::offline {

namespace {

const std::vector<std::string> kConfigFolder = {"Windows", "System32", "config"};

}  // namespace

Image::Image(std::filesystem::path root, const EvtxSummarizer& summarize)
    : resolver_(std::move(root)) {
  const bool has_system = MountHiveFile("SYSTEM", "SYSTEM");
  const bool has_software = MountHiveFile("SOFTWARE", "SOFTWARE");
  if (has_system || has_software) {
    layout_ = ImageLayout::kWindowsVolume;
    channels_ = FindVolumeChannels(tree_, resolver_);
    return;
  }
  bool any_evtx = false;
  for (const DirEntry& entry : resolver_.List(resolver_.root())) {
    any_evtx = any_evtx || (entry.is_regular_file && HasLogFileExtension(entry.name));
  }
  if (!any_evtx) return;
  layout_ = ImageLayout::kEvtxFolder;
  std::vector<FolderChannel> folder = ScanEvtxFolder(resolver_, summarize);
  AddClassicLogs(&folder);
  SynthesizeRegistry(folder, &synthetic_system_, &synthetic_software_);
  tree_.MountMemory("SOFTWARE", synthetic_software_);
  tree_.MountMemory("SYSTEM", synthetic_system_);
  for (FolderChannel& c : folder) channels_.push_back(std::move(c.channel));
}

// Legacy .evt files join a folder beside .evtx ones.
Image::Image(std::filesystem::path root) : Image(std::move(root), SummarizeLogFile) {}

bool Image::MountHiveFile(std::string_view file, std::string_view mount) {
  std::vector<std::string> components = kConfigFolder;
  components.emplace_back(file);
  std::optional<std::filesystem::path> path = resolver_.Resolve(components);
  if (!path) return false;
  WholeFile bytes;
  // A hive file that cannot be read still marks the folder as a volume:
  // its key is then missing, as it would be on a machine that failed to
  // load it.
  if (!bytes.Open(*path)) return true;
  auto hive = std::make_unique<regf::Hive>(bytes.data(), bytes.size());
  tree_.MountHive(std::string(mount), *hive);
  hives_.emplace_back(std::move(bytes), std::move(hive));
  return true;
}

std::optional<ChannelFiles> Image::LookupChannel(std::string_view name) const {
  for (const ChannelFiles& c : channels_) {
    if (event_names::Same(c.name, name)) return c;
  }
  return std::nullopt;
}

}  // namespace qrv::offline
