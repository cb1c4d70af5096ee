// A channel of an image and the log files that hold its events.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILES_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILES_H_

#include <filesystem>
#include <string>
#include <vector>

namespace qrv::offline {

struct ChannelFiles {
  std::string name;  // as the registry (or the records) spell it
  // Oldest first: archives in timestamp order, then the live log. Empty for
  // a registered channel whose log was never written: it has no events.
  std::vector<std::filesystem::path> files;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_CHANNEL_FILES_H_
