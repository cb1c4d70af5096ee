// An offline image: a folder holding the event logs (and, for a Windows
// volume, the registry hives) of one machine, read in place. Two layouts are
// recognised:
//   - a Windows volume: Windows\System32\config\SYSTEM and/or SOFTWARE
//     (names matched ignoring case) are mounted as HKLM\SYSTEM and
//     HKLM\SOFTWARE, and the channels are those the registry registers
//     (see volume_channels.h);
//   - a folder of .evtx files (only those directly in it): channels come from
//     the records and the registry is made up to match (see evtx_folder.h
//     and synthetic_registry.h). Legacy .evt files join them (see
//     evt_log_file.h).
// Anything else (a missing folder included) is a machine with no keys and no
// logs. Transaction logs of dirty hives (.LOG1/.LOG2) are not replayed.
// One thread uses an Image: its registry's handle table and the folder
// listings it keeps are not locked.
//
// Entry points: Image (layout, registry, LookupChannel, Channels), ImageLayout.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_IMAGE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_IMAGE_H_

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "formats/regf/hive.h"
#include "platform/offline/image/channel_files.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image_registry.h"
#include "platform/offline/image/whole_file.h"
#include "platform/offline/image/memory_key.h"
#include "platform/offline/image/path_resolver.h"
#include "platform/offline/image/registry_tree.h"

namespace qrv::offline {

enum class ImageLayout {
  kEmpty,          // neither layout: no keys, no logs
  kWindowsVolume,  // hives under Windows\System32\config
  kEvtxFolder,     // .evtx (or .evt) files directly in the folder
};

class Image {
 public:
  // Reads the folder at once: hives are mapped, and in a folder of .evtx
  // files every file is read through `summarize` (once per process).
  Image(std::filesystem::path root, const EvtxSummarizer& summarize);
  // The same with SummarizeEvtxFile, as the tool reads its image.
  explicit Image(std::filesystem::path root);
  // The registry and the tree keep references into the image.
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  ImageLayout layout() const { return layout_; }
  const std::filesystem::path& root() const { return resolver_.root(); }

  // HKEY_LOCAL_MACHINE of the image, with its open-key table.
  RegistryApi& registry() { return registry_; }
  // The same keys without handles, for walking the whole tree.
  const RegistryTree& tree() const { return tree_; }

  // The channel named `name` ignoring case (its canonical spelling and its
  // files, oldest first); nullopt for a channel the machine does not have.
  std::optional<ChannelFiles> LookupChannel(std::string_view name) const;
  // Every channel, service logs first on a volume, in registry order.
  const std::vector<ChannelFiles>& Channels() const { return channels_; }

 private:
  // Maps Windows\System32\config\<file> and mounts it as HKLM\<mount>.
  bool MountHiveFile(std::string_view file, std::string_view mount);

  PathResolver resolver_;
  ImageLayout layout_ = ImageLayout::kEmpty;
  // The hives' bytes: each Hive reads from the mapping before it.
  std::vector<std::pair<WholeFile, std::unique_ptr<regf::Hive>>> hives_;
  MemoryKey synthetic_system_{"SYSTEM"};
  MemoryKey synthetic_software_{"SOFTWARE"};
  RegistryTree tree_;
  ImageRegistry registry_{tree_};
  std::vector<ChannelFiles> channels_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_IMAGE_H_
