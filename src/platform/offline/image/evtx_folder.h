// A bare folder of .evtx files read as the logs of a machine: each record of
// a file directly in the folder belongs to the channel its own Channel
// names; a record naming none, to the channel of the file's first record
// that names one, or, with no record naming one, to the channel the file
// name stands for (ChannelFromLogFileName: the records of a legacy .evt
// file name no channel, so its name decides). A file joins every channel
// its records belong to, listed as shared in each when there are several;
// channel names compare ignoring case.
// Entry points: ScanEvtxFolder, FolderChannel.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_EVTX_FOLDER_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_EVTX_FOLDER_H_

#include <vector>

#include "platform/offline/image/channel_files.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/path_resolver.h"

namespace qrv::offline {

struct FolderChannel {
  // Files: archives ("Archive-...") first in name order, which is time
  // order for Windows's timestamps, then the others in name order.
  ChannelFiles channel;
  // Summed over the channel's files, one entry per provider name ignoring
  // case, in order of first appearance.
  std::vector<ProviderCount> providers;
};

// The channels of the folder at resolver.root(), ordered as a registry
// enumerates their names. Files the summarizer rejects are left out;
// subfolders are not read.
std::vector<FolderChannel> ScanEvtxFolder(const PathResolver& resolver,
                                          const EvtxSummarizer& summarize);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_EVTX_FOLDER_H_
