// The offline registry until an image is mounted: HKEY_LOCAL_MACHINE exists
// and holds no subkey and no value, as on a computer with an empty hive.
#ifndef QRV_PLATFORM_OFFLINE_EMPTY_REGISTRY_H_
#define QRV_PLATFORM_OFFLINE_EMPTY_REGISTRY_H_

#include "platform/registry_api.h"

namespace qrv {

class EmptyRegistry : public RegistryApi {
 public:
  // kErrorFileNotFound for any subkey; the root itself (null or empty
  // sub_key) opens. Any other handle is kErrorInvalidHandle.
  int32_t RegOpenKeyA(HKey key, const char* sub_key, HKey* result) override;
  // kErrorNoMoreItems: the root has no subkeys.
  int32_t RegEnumKeyA(HKey key, uint32_t index, char* name,
                      uint32_t name_size) override;
  // kErrorFileNotFound: the root has no values.
  int32_t RegQueryValueExA(HKey key, const char* value_name, uint32_t* reserved,
                           uint32_t* type, uint8_t* data,
                           uint32_t* data_size) override;
  // Closing the predefined root is allowed and does nothing, as on Windows.
  int32_t RegCloseKey(HKey key) override;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_EMPTY_REGISTRY_H_
