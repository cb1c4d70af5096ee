// Name comparison for provider names, source names, GUID texts and Windows
// paths: ASCII letters without regard to case, every other byte (UTF-8
// included) as is. Windows compares these names case-insensitively; letters
// outside ASCII in provider names are rare enough that full Unicode case
// folding is not attempted.
//
// Entry points: FoldName, SameName (the rule of formats/ascii.h).
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_

#include <string>
#include <string_view>

#include "formats/ascii.h"

namespace qrv::offline {

// The name with ASCII upper-case letters lowered: a map key for lookups.
inline std::string FoldName(std::string_view name) { return ascii::Lower(name); }

inline bool SameName(std::string_view a, std::string_view b) {
  return ascii::EqualsIgnoreCase(a, b);
}

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_
