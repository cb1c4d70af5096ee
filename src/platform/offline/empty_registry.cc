// EmptyRegistry: a registry with an empty HKEY_LOCAL_MACHINE; see
// empty_registry.h.
#include "platform/offline/empty_registry.h"

#include "platform/win32_types.h"

namespace qrv {

int32_t EmptyRegistry::RegOpenKeyA(HKey key, const char* sub_key,
                                   HKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  if (key != LocalMachineKey()) return kErrorInvalidHandle;
  if (sub_key != nullptr && *sub_key != '\0') return kErrorFileNotFound;
  *result = key;
  return kErrorSuccess;
}

int32_t EmptyRegistry::RegEnumKeyA(HKey key, uint32_t, char*, uint32_t) {
  if (key != LocalMachineKey()) return kErrorInvalidHandle;
  return kErrorNoMoreItems;
}

int32_t EmptyRegistry::RegQueryValueExA(HKey key, const char*, uint32_t*,
                                        uint32_t*, uint8_t*, uint32_t*) {
  if (key != LocalMachineKey()) return kErrorInvalidHandle;
  return kErrorFileNotFound;
}

int32_t EmptyRegistry::RegCloseKey(HKey key) {
  if (key != LocalMachineKey()) return kErrorInvalidHandle;
  return kErrorSuccess;
}

}  // namespace qrv
