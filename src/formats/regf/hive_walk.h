// Depth-first walk over every key reachable from a hive's root, in
// enumeration order, with a tally of what was skipped as damaged. Used to
// check a whole hive (tests, fuzz target) and to dump one.
//
// Entry points: WalkHive, WalkStats, kMaxKeyDepth.
#ifndef QRV_FORMATS_REGF_HIVE_WALK_H_
#define QRV_FORMATS_REGF_HIVE_WALK_H_

#include <cstdint>
#include <functional>
#include <string>

#include "formats/regf/hive.h"

namespace regf {

// Windows refuses to create keys nested deeper than 512 levels; anything
// deeper in a file is damage (or a loop) and is not descended into.
inline constexpr uint32_t kMaxKeyDepth = 512;

struct WalkStats {
  uint32_t keys = 0;              // keys visited, the root included
  uint32_t values = 0;            // values listed
  uint32_t skipped_subkeys = 0;   // damaged subkey list entries or lists
  uint32_t skipped_values = 0;    // damaged value list entries
  uint32_t unreadable_data = 0;   // values whose data could not be read
  uint32_t repeated_keys = 0;     // keys reached a second time (a loop)
  uint32_t too_deep = 0;          // keys deeper than kMaxKeyDepth, not visited
  bool clean() const {
    return skipped_subkeys == 0 && skipped_values == 0 && unreadable_data == 0 && repeated_keys == 0 &&
           too_deep == 0;
  }
};

// Calls on_key(key, path) for each key, parents before children, siblings in
// enumeration order. `path` is the UTF-8 path below the root joined with
// '\' ("" for the root). The walk uses an explicit stack and visits each
// key node once, so loops and deep nesting end cleanly.
using KeyVisitor = std::function<void(const Key& key, const std::string& path)>;
WalkStats WalkHive(const Hive& hive, const KeyVisitor& on_key);

}  // namespace regf

#endif  // QRV_FORMATS_REGF_HIVE_WALK_H_
