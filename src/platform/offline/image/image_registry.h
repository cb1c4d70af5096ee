// RegistryApi over a RegistryTree: the registry calls of the tool answered
// from an image with the Win32 contract (codes, sizes, ANSI conversion).
// Entry point: ImageRegistry.
//
// HKEY_LOCAL_MACHINE is the only root with keys. The other predefined roots
// (HKEY_CLASSES_ROOT .. HKEY_DYN_DATA) answer as empty keys, since an image
// holds no user or volatile hives; any other handle that was not handed out
// by RegOpenKeyA, or was closed already, gives ERROR_INVALID_HANDLE.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_IMAGE_REGISTRY_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_IMAGE_REGISTRY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/offline/image/registry_tree.h"
#include "platform/registry_api.h"

namespace qrv::offline {

class ImageRegistry : public RegistryApi {
 public:
  // The tree must outlive this object.
  explicit ImageRegistry(const RegistryTree& tree) : tree_(tree) {}

  // Relative to HKLM or an opened key; a leading '\' is refused with
  // ERROR_BAD_PATHNAME as Windows does. Opening HKLM with no sub_key gives
  // HKLM back (a predefined handle); any other key gives a new handle.
  int32_t RegOpenKeyA(HKey key, const char* sub_key, HKey* result) override;
  int32_t RegEnumKeyA(HKey key, uint32_t index, char* name, uint32_t name_size) override;
  // Strings (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) come back in UTF-8, the
  // ANSI code page here, with exactly the NULs that were stored; other types
  // as stored. `reserved` must be null.
  int32_t RegQueryValueExA(HKey key, const char* value_name, uint32_t* reserved,
                           uint32_t* type, uint8_t* data, uint32_t* data_size) override;
  // Closing a predefined root succeeds and changes nothing, as on Windows.
  int32_t RegCloseKey(HKey key) override;

  // Handles handed out and not yet closed (tests check for leaks).
  size_t open_handle_count() const { return open_.size(); }

 private:
  struct OpenKey {
    KeyRef ref;
    // Taken on the first RegEnumKeyA, so enumerating n keys reads the list
    // once rather than n times.
    std::optional<std::vector<std::string>> names;
  };
  enum class Root { kNone, kMachine, kOtherPredefined };

  static Root PredefinedRoot(HKey key);
  // The open key behind `key`; the machine key for HKLM; nullptr for an
  // unknown handle. `scratch` holds the entry for a predefined root.
  OpenKey* Lookup(HKey key, OpenKey* scratch);

  const RegistryTree& tree_;
  std::unordered_map<uintptr_t, OpenKey> open_;
  uintptr_t next_handle_ = kFirstHandle;
  // Handle values are multiples of 4 like real HKEYs, counted up and never
  // reused, so a stale handle cannot reach a key opened later.
  static constexpr uintptr_t kFirstHandle = 0x1000;
  static constexpr uintptr_t kHandleStep = 4;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_IMAGE_REGISTRY_H_
