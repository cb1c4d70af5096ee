// The channels of a Windows volume image and their log files, found the way
// the event-log service finds them: every log under
// SYSTEM\CurrentControlSet\Services\EventLog (but its Parameters and State
// keys) and every channel under SOFTWARE\...\WINEVT\Channels, the two lists
// merged ignoring case. Entry point: FindVolumeChannels.
//
// A channel's live log is the file its registry key names (the File value
// under WINEVT\Channels, else under Services\EventLog, with %SystemRoot% and
// the like expanded inside the image), else
// Windows\System32\winevt\Logs\<channel, '/' as %4>.evtx. Archives
// "Archive-<live log stem>-<timestamp>.evtx" in the live log's folder join
// it. As on Windows, a file that no registered channel claims is not a
// channel, and a registered channel without a file is an empty one.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_VOLUME_CHANNELS_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_VOLUME_CHANNELS_H_

#include <vector>

#include "platform/offline/image/channel_files.h"
#include "platform/offline/image/path_resolver.h"
#include "platform/offline/image/registry_tree.h"

namespace qrv::offline {

// In registry order: service logs first, then the other channels.
std::vector<ChannelFiles> FindVolumeChannels(const RegistryTree& tree, const PathResolver& resolver);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_VOLUME_CHANNELS_H_
