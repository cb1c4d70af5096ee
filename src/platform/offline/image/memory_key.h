// An in-memory registry key: the store behind a registry that the image
// makes up itself (a folder of .evtx files has no hives). Subkeys are kept in
// the order Windows enumerates a hive's keys, sorted by uppercased name.
//
// Entry points: MemoryKey (AddKey, AddPath, SetValue, SetString, SetDword,
// FindSubkey, FindValue).
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_MEMORY_KEY_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_MEMORY_KEY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::offline {

struct MemoryValue {
  std::string name;  // UTF-8; empty for the default value
  uint32_t type = 0;
  std::vector<uint8_t> data;  // as a hive stores it: strings in UTF-16LE
};

class MemoryKey {
 public:
  explicit MemoryKey(std::string name_utf8) : name_(std::move(name_utf8)) {}
  MemoryKey(const MemoryKey&) = delete;
  MemoryKey& operator=(const MemoryKey&) = delete;

  const std::string& name() const { return name_; }
  const std::vector<std::unique_ptr<MemoryKey>>& subkeys() const { return subkeys_; }
  const std::vector<MemoryValue>& values() const { return values_; }

  // The direct subkey `name` (no splitting at '\'), created when no subkey
  // has that name ignoring case; an existing key keeps its first spelling.
  MemoryKey& AddKey(std::string_view name_utf8);
  // AddKey for each component of a '\'-separated path; returns the last.
  MemoryKey& AddPath(std::string_view path_utf8);

  // Sets a value, replacing one of the same name (ignoring case).
  void SetValue(std::string_view name_utf8, uint32_t type, std::vector<uint8_t> data);
  // REG_SZ stored with its terminating NUL, as RegSetValueEx stores it.
  void SetString(std::string_view name_utf8, std::string_view text_utf8);
  void SetDword(std::string_view name_utf8, uint32_t value);

  const MemoryKey* FindSubkey(std::string_view name_utf8) const;
  const MemoryValue* FindValue(std::string_view name_utf8) const;

 private:
  std::string name_;
  std::vector<std::unique_ptr<MemoryKey>> subkeys_;  // enumeration order
  std::vector<MemoryValue> values_;                  // insertion order
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_MEMORY_KEY_H_
