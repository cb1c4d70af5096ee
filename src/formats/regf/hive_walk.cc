// Whole-hive walk with an explicit stack and a visited set. See hive_walk.h.
#include "formats/regf/hive_walk.h"

#include <unordered_set>
#include <vector>

namespace regf {

WalkStats WalkHive(const Hive& hive, const KeyVisitor& on_key) {
  WalkStats stats;
  std::optional<Key> root = hive.Root();
  if (!root) return stats;

  struct Pending {
    Key key;
    std::string path;
    uint32_t depth;
  };
  std::vector<Pending> stack;
  std::unordered_set<uint32_t> seen;  // one entry per distinct key node: bounded by the file
  stack.push_back({*root, std::string(), 0});
  while (!stack.empty()) {
    Pending item = std::move(stack.back());
    stack.pop_back();
    if (!seen.insert(item.key.cell_offset()).second) {
      ++stats.repeated_keys;
      continue;
    }
    ++stats.keys;
    on_key(item.key, item.path);

    for (const Value& value : item.key.Values(&stats.skipped_values)) {
      ++stats.values;
      if (!value.Data()) ++stats.unreadable_data;
    }
    std::vector<Key> children = item.key.Subkeys(&stats.skipped_subkeys);
    if (children.empty()) continue;
    if (item.depth + 1 > kMaxKeyDepth) {
      stats.too_deep += static_cast<uint32_t>(children.size());
      continue;
    }
    // Pushed last to first so the first subkey is visited next.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      std::string path = item.path.empty() ? it->Name() : item.path + "\\" + it->Name();
      stack.push_back({*it, std::move(path), item.depth + 1});
    }
  }
  return stats;
}

}  // namespace regf
