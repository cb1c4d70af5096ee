// A channel of an image and the log files that hold its events.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILES_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILES_H_

#include <filesystem>
#include <string>
#include <vector>

namespace qrv::offline {

// One of a channel's files that also holds records of other channels (an
// export made with a query over several logs): only its records whose
// Channel names the channel belong to it, and, with `takes_unnamed`, those
// that name no channel too.
struct SharedFile {
  std::filesystem::path path;
  bool takes_unnamed = false;
};

struct ChannelFiles {
  std::string name;  // as the registry (or the records) spell it
  // Oldest first: archives in timestamp order, then the live log. Empty for
  // a registered channel whose log was never written: it has no events.
  std::vector<std::filesystem::path> files;
  // Those of `files` that other channels share; a file not listed here
  // belongs to this channel whole.
  std::vector<SharedFile> shared = {};
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILES_H_
