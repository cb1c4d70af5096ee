// The machine key (HKEY_LOCAL_MACHINE) of an image: hives read from files or
// keys held in memory, mounted under it by name, looked up through one set of
// operations whichever store a key comes from. HKLM\SYSTEM's
// CurrentControlSet is the run-time link Windows makes at boot, resolved
// through Select\Current.
//
// Entry points: RegistryTree (MountHive, MountMemory, Machine, Open,
// SubkeyNames, ValueNames, QueryValue), KeyRef, StoredValue.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_REGISTRY_TREE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_REGISTRY_TREE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "formats/regf/hive.h"
#include "platform/offline/image/memory_key.h"

namespace qrv::offline {

// One key of the tree: the machine key itself, or a key of one mount.
struct KeyRef {
  static constexpr int kMachine = -1;
  int mount = kMachine;  // index into the tree's mounts
  std::variant<std::monostate, regf::Key, const MemoryKey*> node;
};

// A value's type and data as stored (strings in UTF-16LE).
struct StoredValue {
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

// Reading a value can fail when its data cells are damaged.
enum class ValueStatus { kFound, kMissing, kUnreadable };

class RegistryTree {
 public:
  // Mounts a store as HKLM\<name>; the hive or key must outlive the tree.
  // An unreadable hive is not mounted.
  void MountHive(std::string name, const regf::Hive& hive);
  void MountMemory(std::string name, const MemoryKey& root);

  KeyRef Machine() const { return KeyRef{}; }

  // Follows `path` ('\'-separated, empty components skipped, each matched
  // ignoring case) down from `from`. nullopt when a key is missing.
  std::optional<KeyRef> Open(const KeyRef& from, std::string_view path) const;

  // Names of the subkeys in RegEnumKey order (UTF-8). The machine key lists
  // its mounts in the same uppercased-name order; HKLM\SYSTEM lists
  // CurrentControlSet after its stored keys, where Windows puts volatile keys.
  std::vector<std::string> SubkeyNames(const KeyRef& key) const;

  // Names of the values of `key` in RegEnumValue order (UTF-8; "" is the
  // default value). Entries a damaged hive cannot read are left out.
  std::vector<std::string> ValueNames(const KeyRef& key) const;

  // The value `name` of `key` ("" is the default value).
  ValueStatus QueryValue(const KeyRef& key, std::string_view name, StoredValue* out) const;

 private:
  struct Mount {
    std::string name;
    std::variant<regf::Key, const MemoryKey*> root;
  };

  std::optional<KeyRef> Child(const KeyRef& key, std::string_view name) const;
  std::optional<KeyRef> StoredChild(const KeyRef& key, std::string_view name) const;
  // The ControlSet00N key Select\Current names, when `key` is a SYSTEM root.
  std::optional<KeyRef> CurrentControlSet(const KeyRef& key) const;
  bool IsMountRoot(const KeyRef& key) const;

  std::vector<Mount> mounts_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_REGISTRY_TREE_H_
