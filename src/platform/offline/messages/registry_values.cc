// Registry read helpers; see registry_values.h.
#include "platform/offline/messages/registry_values.h"

#include <utility>

namespace qrv::offline {
namespace {

// Key names are at most 255 characters; one more for the terminator.
constexpr uint32_t kKeyNameBuffer = 256;

}  // namespace

RegKeyOwner OpenRegistryKey(RegistryApi& registry, const std::string& path,
                            int32_t* status) {
  HKey key = nullptr;
  const int32_t code =
      registry.RegOpenKeyA(LocalMachineKey(), path.c_str(), &key);
  if (status != nullptr) *status = code;
  if (code != static_cast<int32_t>(kErrorSuccess) || key == nullptr) {
    return RegKeyOwner();
  }
  return RegKeyOwner(registry, key);
}

std::vector<std::string> RegistrySubkeys(RegistryApi& registry,
                                         const RegKeyOwner& key) {
  std::vector<std::string> names;
  if (!key) return names;
  char name[kKeyNameBuffer];
  for (uint32_t index = 0;; ++index) {
    const int32_t status =
        registry.RegEnumKeyA(key.Get(), index, name, kKeyNameBuffer);
    if (status == static_cast<int32_t>(kErrorMoreData)) continue;
    if (status != static_cast<int32_t>(kErrorSuccess)) break;
    names.emplace_back(name);
  }
  return names;
}

std::optional<std::string> RegistryString(RegistryApi& registry,
                                          const RegKeyOwner& key,
                                          const std::string& name) {
  if (!key) return std::nullopt;
  uint32_t type = 0;
  uint32_t size = 0;
  if (registry.RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type,
                                nullptr, &size) !=
      static_cast<int32_t>(kErrorSuccess)) {
    return std::nullopt;
  }
  if ((type != kRegSz && type != kRegExpandSz) ||
      size > kMaxRegistryStringBytes) {
    return std::nullopt;
  }
  std::string text(size, '\0');
  if (size > 0 &&
      registry.RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<uint8_t*>(text.data()),
                                &size) != static_cast<int32_t>(kErrorSuccess)) {
    return std::nullopt;
  }
  text.resize(size < text.size() ? size : text.size());
  // Stored strings usually carry their terminator, sometimes several.
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::optional<uint32_t> RegistryDword(RegistryApi& registry,
                                      const RegKeyOwner& key,
                                      const std::string& name) {
  if (!key) return std::nullopt;
  uint32_t type = 0;
  uint8_t bytes[4] = {};
  uint32_t size = sizeof(bytes);
  if (registry.RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, bytes,
                                &size) != static_cast<int32_t>(kErrorSuccess) ||
      type != kRegDword || size != sizeof(bytes)) {
    return std::nullopt;
  }
  // REG_DWORD is stored little-endian whatever the host.
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace qrv::offline
