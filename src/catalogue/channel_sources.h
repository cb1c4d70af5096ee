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

// True when the registry has no WINEVT key at all: a machine from before
// Windows Vista (an XP or Server 2003 image read offline), whose logs are
// the service logs alone. Every Vista and later registry has the key.
bool HasNoChannelRegistry();

}  // namespace qrv

#endif  // QRV_CATALOGUE_CHANNEL_SOURCES_H_
