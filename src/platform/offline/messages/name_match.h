// Name comparison for provider names, source names, GUID texts and Windows
// paths in the message layer: the channel and provider name rule of
// formats/event_names.h under the names this layer uses.
//
// Entry points: FoldName, SameName.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_

#include <string>
#include <string_view>

#include "formats/event_names.h"

namespace qrv::offline {

// The name with ASCII upper-case letters lowered: a map key for lookups.
inline std::string FoldName(std::string_view name) { return event_names::Key(name); }

inline bool SameName(std::string_view a, std::string_view b) {
  return event_names::Same(a, b);
}

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_
