// The channel list behind GETLISTCHANNELS: every service log, then every
// registered channel, one name per line. Entry points: GetChannelList,
// PrintChannelList.
#ifndef QRV_CATALOGUE_CHANNEL_LIST_H_
#define QRV_CATALOGUE_CHANNEL_LIST_H_

#include <string>
#include <vector>

namespace qrv {

using ChannelList = std::vector<std::string>;

// Appends the service logs, then the registered channels, to `channels`. True
// when both sources gave at least one name, or when the service logs did on a
// machine from before Vista (HasNoChannelRegistry), which has no others. When
// the service logs give none, the registered channels are not read. On false
// the names appended so far stay in the list.
bool GetChannelList(ChannelList& channels);

// One line per name, in list order; nothing for an empty list.
void PrintChannelList(const ChannelList& channels);

}  // namespace qrv

#endif  // QRV_CATALOGUE_CHANNEL_LIST_H_
