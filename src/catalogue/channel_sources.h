// The two places in the registry where logs and channels are registered, read
// in this order by the channel list, the publisher catalogue and the sweep:
// the service logs (ServiceLogNames) and the registered channels
// (RegisteredChannelNames).
#ifndef QRV_CATALOGUE_CHANNEL_SOURCES_H_
#define QRV_CATALOGUE_CHANNEL_SOURCES_H_

#include <string>
#include <vector>

#include "platform/registry_layout.h"

namespace qrv {

// The service logs: subkeys of kServiceLogKey in enumeration order, settings
// keys left out. None when the key cannot be read.
std::vector<std::string> ServiceLogNames();
// The registered channels: every subkey of kRegisteredChannelKey in
// enumeration order. None when the key cannot be read.
std::vector<std::string> RegisteredChannelNames();

}  // namespace qrv

#endif  // QRV_CATALOGUE_CHANNEL_SOURCES_H_
