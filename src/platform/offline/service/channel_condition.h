// Which records of a file shared by several channels (SharedFile in
// channel_files.h) belong to the channel a query reads: those whose Channel
// names it, compared ignoring case up to a NUL as the folder compared them
// when it filed the file. Entry point: ChannelCondition::Admits.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_CHANNEL_CONDITION_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_CHANNEL_CONDITION_H_

#include <string>

#include "formats/evtx/system_properties.h"
#include "platform/offline/image/channel_files.h"

namespace qrv::offline {

struct ChannelCondition {
  // The condition for `file` as a file of `channel`.
  ChannelCondition(std::string_view channel, const SharedFile& file);

  std::u16string channel;
  // Records that name no channel (none, or an empty one) belong too.
  bool takes_unnamed = false;

  // True when the record with these properties belongs to the channel.
  bool Admits(const evtx::SystemProperties& props) const;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_CHANNEL_CONDITION_H_
