// The real advapi32 registry calls behind RegistryApi; see windows_registry.h.
#include "platform/windows/windows_registry.h"

#include <windows.h>

namespace qrv {

// A 32-bit process on 64-bit Windows reads SOFTWARE through the
// WOW6432Node redirection, where almost no channel or publisher is
// registered, and RegOpenKeyA cannot ask for the 64-bit view.
static_assert(sizeof(void*) == 8,
              "build for 64-bit Windows: a 32-bit build would read the "
              "redirected WOW6432Node registry and miss the channels");

namespace {

// Compares one of our constants with the SDK's, whatever enum each is.
constexpr bool Same(uint64_t ours, uint64_t sdk) { return ours == sdk; }

static_assert(Same(kRegNone, REG_NONE));
static_assert(Same(kRegSz, REG_SZ));
static_assert(Same(kRegExpandSz, REG_EXPAND_SZ));
static_assert(Same(kRegBinary, REG_BINARY));
static_assert(Same(kRegDword, REG_DWORD));
static_assert(Same(kRegDwordBigEndian, REG_DWORD_BIG_ENDIAN));
static_assert(Same(kRegLink, REG_LINK));
static_assert(Same(kRegMultiSz, REG_MULTI_SZ));
static_assert(Same(kRegQword, REG_QWORD));
static_assert(sizeof(HKey) == sizeof(HKEY));

// The SDK's HKEY_LOCAL_MACHINE is the LONG 0x80000002 widened with its sign
// (0xFFFFFFFF80000002 in a 64-bit process); the logic's LocalMachineKey()
// holds the same 32 bits without the sign. Pass the SDK's own value so the
// system sees exactly the predefined handle it defines.
HKEY Sdk(HKey key) {
  if (key == LocalMachineKey()) return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

int32_t WindowsRegistry::RegOpenKeyA(HKey key, const char* sub_key,
                                     HKey* result) {
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyA(Sdk(key), sub_key, &opened);
  *result = reinterpret_cast<HKey>(opened);
  return status;
}

int32_t WindowsRegistry::RegEnumKeyA(HKey key, uint32_t index, char* name,
                                     uint32_t name_size) {
  return ::RegEnumKeyA(Sdk(key), index, name, name_size);
}

int32_t WindowsRegistry::RegQueryValueExA(HKey key, const char* value_name,
                                          uint32_t* reserved, uint32_t* type,
                                          uint8_t* data, uint32_t* data_size) {
  DWORD reserved_copy = reserved != nullptr ? *reserved : 0;
  DWORD type_copy = 0;
  DWORD size_copy = data_size != nullptr ? *data_size : 0;
  const LONG status = ::RegQueryValueExA(
      Sdk(key), value_name, reserved != nullptr ? &reserved_copy : nullptr,
      type != nullptr ? &type_copy : nullptr, data,
      data_size != nullptr ? &size_copy : nullptr);
  if (type != nullptr) *type = type_copy;
  if (data_size != nullptr) *data_size = size_copy;
  return status;
}

int32_t WindowsRegistry::RegCloseKey(HKey key) { return ::RegCloseKey(Sdk(key)); }

}  // namespace qrv
