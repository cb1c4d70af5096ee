// In-memory registry keys; see memory_key.h.
#include "platform/offline/image/memory_key.h"

#include <algorithm>

#include "formats/regf/name_text.h"
#include "platform/registry_api.h"

namespace qrv::offline {

MemoryKey& MemoryKey::AddKey(std::string_view name_utf8) {
  const std::u16string wanted = regf::Utf8ToUtf16(name_utf8);
  // Subkeys are sorted: the first not less than `wanted` is the match or
  // the insertion point.
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), wanted,
                             [](const std::unique_ptr<MemoryKey>& k, const std::u16string& n) {
                               return regf::CompareNamesIgnoreCase(regf::Utf8ToUtf16(k->name()), n) < 0;
                             });
  if (it != subkeys_.end() && regf::NamesEqualIgnoreCase(regf::Utf8ToUtf16((*it)->name()), wanted)) {
    return **it;
  }
  it = subkeys_.insert(it, std::make_unique<MemoryKey>(std::string(name_utf8)));
  return **it;
}

MemoryKey& MemoryKey::AddPath(std::string_view path_utf8) {
  MemoryKey* key = this;
  size_t i = 0;
  while (i <= path_utf8.size()) {
    size_t end = path_utf8.find('\\', i);
    if (end == std::string_view::npos) end = path_utf8.size();
    if (end > i) key = &key->AddKey(path_utf8.substr(i, end - i));
    i = end + 1;
  }
  return *key;
}

void MemoryKey::SetValue(std::string_view name_utf8, uint32_t type, std::vector<uint8_t> data) {
  for (MemoryValue& v : values_) {
    if (regf::NamesEqualIgnoreCase(v.name, name_utf8)) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  }
  values_.push_back(MemoryValue{std::string(name_utf8), type, std::move(data)});
}

void MemoryKey::SetString(std::string_view name_utf8, std::string_view text_utf8) {
  std::vector<uint8_t> data;
  std::u16string text = regf::Utf8ToUtf16(text_utf8);
  text.push_back(u'\0');
  data.reserve(text.size() * 2);
  for (char16_t unit : text) {
    data.push_back(static_cast<uint8_t>(unit));
    data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  SetValue(name_utf8, kRegSz, std::move(data));
}

void MemoryKey::SetDword(std::string_view name_utf8, uint32_t value) {
  SetValue(name_utf8, kRegDword,
           {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

const MemoryKey* MemoryKey::FindSubkey(std::string_view name_utf8) const {
  for (const auto& k : subkeys_) {
    if (regf::NamesEqualIgnoreCase(k->name(), name_utf8)) return k.get();
  }
  return nullptr;
}

const MemoryValue* MemoryKey::FindValue(std::string_view name_utf8) const {
  for (const MemoryValue& v : values_) {
    if (regf::NamesEqualIgnoreCase(v.name, name_utf8)) return &v;
  }
  return nullptr;
}

}  // namespace qrv::offline
