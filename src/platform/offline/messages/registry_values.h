// Read-only helpers over a RegistryApi object (the image's registry, or a
// fake in tests): keys held by a RegKeyOwner that closes through that same
// object, subkey listing and string values. Calls go to the object given, never to the
// installed platform, so the catalogue can read the image's registry while
// any platform is installed.
//
// Entry points: OpenRegistryKey, RegistrySubkeys, RegistryString,
// RegistryDword.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_REGISTRY_VALUES_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_REGISTRY_VALUES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/registry_api.h"

namespace qrv::offline {

// Registry string values longer than this are not file lists or names; a
// value claiming more is refused rather than allocated.
inline constexpr uint32_t kMaxRegistryStringBytes = 64 * 1024;

// Opens `path` below HKEY_LOCAL_MACHINE; an empty owner when it cannot, the
// code of the failed open in *status when `status` is given.
RegKeyOwner OpenRegistryKey(RegistryApi& registry, const std::string& path,
                            int32_t* status = nullptr);

// Names of the key's subkeys in enumeration order. The walk stops at the
// first error other than "no more items"; names that do not fit the 255
// characters Windows allows are skipped.
std::vector<std::string> RegistrySubkeys(RegistryApi& registry,
                                         const RegKeyOwner& key);

// A REG_SZ or REG_EXPAND_SZ value without its terminating NULs; an empty
// name reads the default value. nullopt when absent, of another type, or
// longer than kMaxRegistryStringBytes.
std::optional<std::string> RegistryString(RegistryApi& registry,
                                          const RegKeyOwner& key,
                                          const std::string& name);

// A REG_DWORD value; nullopt when absent or of another type or size.
std::optional<uint32_t> RegistryDword(RegistryApi& registry,
                                      const RegKeyOwner& key,
                                      const std::string& name);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_REGISTRY_VALUES_H_
