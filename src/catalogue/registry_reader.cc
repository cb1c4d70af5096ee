// Registry reader over RegOpenKeyA, RegEnumKeyA, RegQueryValueExA and
// RegCloseKey; see registry_reader.h. Keys are held by RegKeyOwner, so each
// one is closed on every path.
#include "catalogue/registry_reader.h"

#include <cstdint>
#include <cstring>

#include "platform/handles.h"
#include "platform/platform.h"

namespace qrv {

namespace {

// Length of the text in `bytes` up to its first NUL, or all `size` bytes when
// there is none.
size_t TextLength(const void* bytes, size_t size) {
  const void* nul = std::memchr(bytes, 0, size);
  return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) -
                                              static_cast<const char*>(bytes))
                        : size;
}

// Opens `path` below `root`; an empty owner when it cannot be opened.
RegKeyOwner OpenKey(HKey root, const std::string& path) {
  RegKeyOwner key;
  if (RegOpenKeyA(root, path.c_str(), key.Receive()) != 0) key.Reset();
  return key;
}

// `value_name` null reads the default value.
bool ReadValueText(HKey root, const std::string& path, const char* value_name,
                   std::string& text) {
  const RegKeyOwner key = OpenKey(root, path);
  if (!key) return false;
  uint8_t data[kRegistryValueBufferBytes] = {};
  uint32_t size = kRegistryValueBufferBytes;
  if (RegQueryValueExA(key.Get(), value_name, nullptr, nullptr, data, &size) !=
      0) {
    return false;
  }
  // The data need not end in NUL (a string stored without one, or binary
  // data): the text stops at the first NUL or at the last byte read.
  const size_t read = size < kRegistryValueBufferBytes
                          ? size
                          : kRegistryValueBufferBytes;
  text.assign(reinterpret_cast<const char*>(data), TextLength(data, read));
  return true;
}

}  // namespace

bool RegistryKeyExists(HKey root, const std::string& path) {
  return static_cast<bool>(OpenKey(root, path));
}

bool RegistryKeyExists(const std::string& path) {
  return RegistryKeyExists(LocalMachineKey(), path);
}

bool GetRegistrySubkeys(HKey root, const std::string& path,
                        std::vector<std::string>& names) {
  const RegKeyOwner key = OpenKey(root, path);
  if (!key) return false;
  char name[kRegistryNameBufferChars];
  // ERROR_NO_MORE_ITEMS normally ends the walk; any other error ends it the
  // same way, keeping the names read so far. ERROR_MORE_DATA concerns one
  // name only: that key is skipped and the walk goes on.
  for (uint32_t index = 0;; ++index) {
    const int32_t status =
        RegEnumKeyA(key.Get(), index, name, kRegistryNameBufferChars);
    if (status == static_cast<int32_t>(kErrorMoreData)) continue;
    if (status != 0) break;
    names.emplace_back(name, TextLength(name, kRegistryNameBufferChars));
  }
  return true;
}

bool GetRegistrySubkeys(const std::string& path,
                        std::vector<std::string>& names) {
  return GetRegistrySubkeys(LocalMachineKey(), path, names);
}

bool GetRegistryValue(HKey root, const std::string& path,
                      const std::string& name, std::string& text) {
  return ReadValueText(root, path, name.c_str(), text);
}

bool GetRegistryValue(const std::string& path, const std::string& name,
                      std::string& text) {
  return GetRegistryValue(LocalMachineKey(), path, name, text);
}

bool GetRegistryDefaultValue(HKey root, const std::string& path,
                             std::string& text) {
  return ReadValueText(root, path, nullptr, text);
}

bool GetRegistryDefaultValue(const std::string& path, std::string& text) {
  return GetRegistryDefaultValue(LocalMachineKey(), path, text);
}

std::string JoinRegistryPath(const std::string& parent,
                             const std::string& child) {
  std::string path;
  path.reserve(parent.size() + 1 + child.size());
  path.append(parent).append(1, '\\').append(child);
  return path;
}

}  // namespace qrv
