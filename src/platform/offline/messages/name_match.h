// Name comparison for provider names, source names, GUID texts and Windows
// paths: ASCII letters without regard to case, every other byte (UTF-8
// included) as is. Windows compares these names case-insensitively; letters
// outside ASCII in provider names are rare enough that full Unicode case
// folding is not attempted.
//
// Entry points: FoldName, SameName.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_

#include <string>
#include <string_view>

namespace qrv::offline {

// The name with ASCII upper-case letters lowered: a map key for lookups.
inline std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_NAME_MATCH_H_
