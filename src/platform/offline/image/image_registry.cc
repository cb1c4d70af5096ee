// The registry calls over an image; see image_registry.h.
#include "platform/offline/image/image_registry.h"

#include <cstring>

#include "formats/utf16.h"
#include "platform/win32_types.h"

namespace qrv::offline {

namespace {

// HKEY_CLASSES_ROOT (0x80000000) to HKEY_DYN_DATA (0x80000006).
constexpr uintptr_t kFirstPredefined = 0x80000000u;
constexpr uintptr_t kLastPredefined = 0x80000006u;

int32_t Code(uint32_t win32_error) { return static_cast<int32_t>(win32_error); }

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Stored UTF-16LE (an odd last byte dropped) to the ANSI code page, every
// unit converted, NULs included.
std::vector<uint8_t> ToAnsi(const std::vector<uint8_t>& stored) {
  const std::string utf8 = text::Utf16ToUtf8(text::Utf16LeUnits(stored.data(), stored.size()));
  return std::vector<uint8_t>(utf8.begin(), utf8.end());
}

}  // namespace

ImageRegistry::Root ImageRegistry::PredefinedRoot(HKey key) {
  const auto value = reinterpret_cast<uintptr_t>(key);
  if (key == LocalMachineKey()) return Root::kMachine;
  if (value >= kFirstPredefined && value <= kLastPredefined) return Root::kOtherPredefined;
  return Root::kNone;
}

ImageRegistry::OpenKey* ImageRegistry::Lookup(HKey key, OpenKey* scratch) {
  switch (PredefinedRoot(key)) {
    case Root::kMachine:
      *scratch = OpenKey{tree_.Machine(), std::nullopt};
      return scratch;
    case Root::kOtherPredefined:
      // An empty key: no store behind it, so no subkeys and no values.
      *scratch = OpenKey{KeyRef{KeyRef::kMachine, std::monostate{}},
                         std::vector<std::string>{}};
      return scratch;
    case Root::kNone:
      break;
  }
  auto it = open_.find(reinterpret_cast<uintptr_t>(key));
  return it == open_.end() ? nullptr : &it->second;
}

int32_t ImageRegistry::RegOpenKeyA(HKey key, const char* sub_key, HKey* result) {
  if (result == nullptr) return Code(kErrorInvalidParameter);
  OpenKey scratch;
  OpenKey* parent = Lookup(key, &scratch);
  if (parent == nullptr) return Code(kErrorInvalidHandle);
  const bool empty_path = sub_key == nullptr || sub_key[0] == '\0';
  if (sub_key != nullptr && sub_key[0] == '\\') return Code(kErrorBadPathname);
  if (empty_path && PredefinedRoot(key) != Root::kNone) {
    *result = key;
    return Code(kErrorSuccess);
  }
  if (PredefinedRoot(key) == Root::kOtherPredefined) return Code(kErrorFileNotFound);
  std::optional<KeyRef> found = tree_.Open(parent->ref, empty_path ? "" : sub_key);
  if (!found) return Code(kErrorFileNotFound);
  const uintptr_t id = next_handle_;
  next_handle_ += kHandleStep;
  open_.emplace(id, OpenKey{*found, std::nullopt});
  *result = reinterpret_cast<HKey>(id);
  return Code(kErrorSuccess);
}

int32_t ImageRegistry::RegEnumKeyA(HKey key, uint32_t index, char* name, uint32_t name_size) {
  OpenKey scratch;
  OpenKey* open = Lookup(key, &scratch);
  if (open == nullptr) return Code(kErrorInvalidHandle);
  if (!open->names) open->names = tree_.SubkeyNames(open->ref);
  if (index >= open->names->size()) return Code(kErrorNoMoreItems);
  if (name == nullptr) return Code(kErrorInvalidParameter);
  const std::string& found = (*open->names)[index];
  if (found.size() + 1 > name_size) return Code(kErrorMoreData);
  std::memcpy(name, found.c_str(), found.size() + 1);
  return Code(kErrorSuccess);
}

int32_t ImageRegistry::RegQueryValueExA(HKey key, const char* value_name, uint32_t* reserved,
                                        uint32_t* type, uint8_t* data, uint32_t* data_size) {
  OpenKey scratch;
  OpenKey* open = Lookup(key, &scratch);
  if (open == nullptr) return Code(kErrorInvalidHandle);
  if (reserved != nullptr || (data != nullptr && data_size == nullptr)) {
    return Code(kErrorInvalidParameter);
  }
  StoredValue value;
  switch (tree_.QueryValue(open->ref, value_name == nullptr ? "" : value_name, &value)) {
    case ValueStatus::kFound:
      break;
    case ValueStatus::kMissing:
      return Code(kErrorFileNotFound);
    case ValueStatus::kUnreadable:
      return Code(kErrorRegistryCorrupt);
  }
  const std::vector<uint8_t> bytes = IsStringType(value.type) ? ToAnsi(value.data) : std::move(value.data);
  if (type != nullptr) *type = value.type;
  const auto needed = static_cast<uint32_t>(bytes.size());
  if (data == nullptr) {
    if (data_size != nullptr) *data_size = needed;
    return Code(kErrorSuccess);
  }
  if (*data_size < needed) {
    *data_size = needed;
    return Code(kErrorMoreData);
  }
  if (needed > 0) std::memcpy(data, bytes.data(), needed);
  *data_size = needed;
  return Code(kErrorSuccess);
}

int32_t ImageRegistry::RegCloseKey(HKey key) {
  if (PredefinedRoot(key) != Root::kNone) return Code(kErrorSuccess);
  return open_.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? Code(kErrorSuccess)
                                                            : Code(kErrorInvalidHandle);
}

}  // namespace qrv::offline
