// The registry calls (advapi32, ANSI forms) the tool makes, read only. Return
// values are Win32 error codes (kErrorSuccess on success). Backends: the real
// registry on Windows, the offline image's hives elsewhere, a fake in tests.
#ifndef QRV_PLATFORM_REGISTRY_API_H_
#define QRV_PLATFORM_REGISTRY_API_H_

#include <cstdint>

#include "platform/win32_types.h"

namespace qrv {

// Registry value types (REG_*).
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // Opens `sub_key` (backslash-separated, case-insensitive) below `key`.
  // A null or empty sub_key opens `key` itself again.
  virtual int32_t RegOpenKeyA(HKey key, const char* sub_key, HKey* result) = 0;
  // Copies the name of subkey `index` (NUL-terminated) into `name`, whose
  // size is `name_size` characters. kErrorNoMoreItems past the last;
  // kErrorMoreData when the name does not fit.
  virtual int32_t RegEnumKeyA(HKey key, uint32_t index, char* name,
                              uint32_t name_size) = 0;
  // Reads a value; a null or empty name reads the key's default value.
  // `*data_size` is the buffer size in, the bytes stored (or needed, with
  // kErrorMoreData) out. String data is converted to the ANSI code page.
  virtual int32_t RegQueryValueExA(HKey key, const char* value_name,
                                   uint32_t* reserved, uint32_t* type,
                                   uint8_t* data, uint32_t* data_size) = 0;
  virtual int32_t RegCloseKey(HKey key) = 0;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_REGISTRY_API_H_
