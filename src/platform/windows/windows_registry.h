// WindowsRegistry: the registry reads (advapi32, ANSI forms) over the real
// registry, call for call. Only the predefined root key needs translating.
#ifndef QRV_PLATFORM_WINDOWS_WINDOWS_REGISTRY_H_
#define QRV_PLATFORM_WINDOWS_WINDOWS_REGISTRY_H_

#include <cstdint>

#include "platform/registry_api.h"

namespace qrv {

class WindowsRegistry : public RegistryApi {
 public:
  int32_t RegOpenKeyA(HKey key, const char* sub_key, HKey* result) override;
  int32_t RegEnumKeyA(HKey key, uint32_t index, char* name,
                      uint32_t name_size) override;
  int32_t RegQueryValueExA(HKey key, const char* value_name, uint32_t* reserved,
                           uint32_t* type, uint8_t* data,
                           uint32_t* data_size) override;
  int32_t RegCloseKey(HKey key) override;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_WINDOWS_WINDOWS_REGISTRY_H_
