// Lookups over mounted hives and in-memory keys; see registry_tree.h.
#include "platform/offline/image/registry_tree.h"

#include <algorithm>
#include <cstdio>

#include "formats/regf/name_text.h"

namespace qrv::offline {

namespace {

constexpr std::string_view kSystemMount = "SYSTEM";
constexpr std::string_view kCurrentControlSet = "CurrentControlSet";


}  // namespace

void RegistryTree::MountHive(std::string name, const regf::Hive& hive) {
  std::optional<regf::Key> root = hive.Root();
  if (root) mounts_.push_back(Mount{std::move(name), *root});
}

void RegistryTree::MountMemory(std::string name, const MemoryKey& root) {
  mounts_.push_back(Mount{std::move(name), &root});
}

bool RegistryTree::IsMountRoot(const KeyRef& key) const {
  if (key.mount == KeyRef::kMachine) return false;
  const Mount& m = mounts_[static_cast<size_t>(key.mount)];
  if (const auto* hive_key = std::get_if<regf::Key>(&key.node)) {
    return hive_key->cell_offset() == std::get<regf::Key>(m.root).cell_offset();
  }
  if (const auto* memory_key = std::get_if<const MemoryKey*>(&key.node)) {
    return *memory_key == std::get<const MemoryKey*>(m.root);
  }
  return false;
}

std::optional<KeyRef> RegistryTree::StoredChild(const KeyRef& key, std::string_view name) const {
  if (const auto* hive_key = std::get_if<regf::Key>(&key.node)) {
    std::optional<regf::Key> sub = hive_key->FindSubkey(name);
    if (sub) return KeyRef{key.mount, *sub};
  } else if (const auto* memory_key = std::get_if<const MemoryKey*>(&key.node)) {
    const MemoryKey* sub = (*memory_key)->FindSubkey(name);
    if (sub != nullptr) return KeyRef{key.mount, sub};
  }
  return std::nullopt;
}

std::optional<KeyRef> RegistryTree::CurrentControlSet(const KeyRef& key) const {
  if (!IsMountRoot(key) || !regf::NamesEqualIgnoreCase(mounts_[static_cast<size_t>(key.mount)].name, kSystemMount)) {
    return std::nullopt;
  }
  std::optional<KeyRef> select = StoredChild(key, "Select");
  StoredValue current;
  if (!select || QueryValue(*select, "Current", &current) != ValueStatus::kFound ||
      current.data.size() != 4) {
    return std::nullopt;
  }
  const uint32_t n = current.data[0] | (current.data[1] << 8) | (current.data[2] << 16) |
                     (static_cast<uint32_t>(current.data[3]) << 24);
  char name[32];
  std::snprintf(name, sizeof name, "ControlSet%03u", static_cast<unsigned>(n));
  return StoredChild(key, name);
}

std::optional<KeyRef> RegistryTree::Child(const KeyRef& key, std::string_view name) const {
  if (key.mount == KeyRef::kMachine) {
    for (size_t i = 0; i < mounts_.size(); ++i) {
      if (!regf::NamesEqualIgnoreCase(mounts_[i].name, name)) continue;
      KeyRef root{static_cast<int>(i), {}};
      std::visit([&root](const auto& node) { root.node = node; }, mounts_[i].root);
      return root;
    }
    return std::nullopt;
  }
  std::optional<KeyRef> stored = StoredChild(key, name);
  if (stored) return stored;
  if (regf::NamesEqualIgnoreCase(name, kCurrentControlSet)) return CurrentControlSet(key);
  return std::nullopt;
}

std::optional<KeyRef> RegistryTree::Open(const KeyRef& from, std::string_view path) const {
  KeyRef key = from;
  size_t i = 0;
  while (i <= path.size()) {
    size_t end = path.find('\\', i);
    if (end == std::string_view::npos) end = path.size();
    if (end > i) {
      std::optional<KeyRef> next = Child(key, path.substr(i, end - i));
      if (!next) return std::nullopt;
      key = *next;
    }
    i = end + 1;
  }
  return key;
}

std::vector<std::string> RegistryTree::SubkeyNames(const KeyRef& key) const {
  std::vector<std::string> names;
  if (key.mount == KeyRef::kMachine) {
    for (const Mount& m : mounts_) names.push_back(m.name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return regf::CompareNamesIgnoreCase(a, b) < 0;
    });
    return names;
  }
  if (const auto* hive_key = std::get_if<regf::Key>(&key.node)) {
    for (const regf::Key& sub : hive_key->Subkeys()) names.push_back(sub.Name());
  } else if (const auto* memory_key = std::get_if<const MemoryKey*>(&key.node)) {
    for (const auto& sub : (*memory_key)->subkeys()) names.push_back(sub->name());
  }
  if (CurrentControlSet(key) && !StoredChild(key, kCurrentControlSet)) {
    names.emplace_back(kCurrentControlSet);
  }
  return names;
}

std::vector<std::string> RegistryTree::ValueNames(const KeyRef& key) const {
  std::vector<std::string> names;
  if (const auto* hive_key = std::get_if<regf::Key>(&key.node)) {
    for (const regf::Value& value : hive_key->Values()) names.push_back(value.Name());
  } else if (const auto* memory_key = std::get_if<const MemoryKey*>(&key.node)) {
    for (const MemoryValue& value : (*memory_key)->values()) names.push_back(value.name);
  }
  return names;  // the machine key holds no values
}

ValueStatus RegistryTree::QueryValue(const KeyRef& key, std::string_view name,
                                     StoredValue* out) const {
  if (const auto* hive_key = std::get_if<regf::Key>(&key.node)) {
    std::optional<regf::Value> value = hive_key->FindValue(name);
    if (!value) return ValueStatus::kMissing;
    std::optional<std::vector<uint8_t>> data = value->Data();
    if (!data) return ValueStatus::kUnreadable;
    out->type = value->Type();
    out->data = std::move(*data);
    return ValueStatus::kFound;
  }
  if (const auto* memory_key = std::get_if<const MemoryKey*>(&key.node)) {
    const MemoryValue* value = (*memory_key)->FindValue(name);
    if (value == nullptr) return ValueStatus::kMissing;
    out->type = value->type;
    out->data = value->data;
    return ValueStatus::kFound;
  }
  return ValueStatus::kMissing;  // the machine key holds no values
}

}  // namespace qrv::offline
