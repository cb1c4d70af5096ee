// The in-memory key tree the hive writer serializes. See writer_key.h.
#include "formats/regf/writer_key.h"

#include "formats/regf/hive_layout.h"
#include "formats/regf/name_text.h"
#include "formats/regf/value.h"

namespace regf {
namespace {

std::vector<uint8_t> Utf16Bytes(std::u16string_view units) {
  std::vector<uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes.push_back(static_cast<uint8_t>(u));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

std::u16string Capped(std::u16string name, size_t limit) {
  if (name.size() > limit) name.resize(limit);
  return name;
}

}  // namespace

WriterKey::WriterKey(std::string_view name_utf8) : WriterKey(Utf8ToUtf16(name_utf8)) {}

WriterKey::WriterKey(std::u16string name) : name_(Capped(std::move(name), layout::kMaxKeyNameChars)) {}

WriterKey& WriterKey::AddKey(std::string_view name_utf8) { return AddKey(Utf8ToUtf16(name_utf8)); }

WriterKey& WriterKey::AddKey(std::u16string name) {
  name = Capped(std::move(name), layout::kMaxKeyNameChars);
  for (auto& key : subkeys_) {
    if (NamesEqualIgnoreCase(key->name(), name)) return *key;
  }
  subkeys_.push_back(std::make_unique<WriterKey>(std::move(name)));
  return *subkeys_.back();
}

WriterKey& WriterKey::AddPath(std::string_view path_utf8) {
  WriterKey* key = this;
  while (!path_utf8.empty()) {
    size_t cut = path_utf8.find('\\');
    std::string_view part = path_utf8.substr(0, cut);
    path_utf8 = cut == std::string_view::npos ? std::string_view() : path_utf8.substr(cut + 1);
    if (!part.empty()) key = &key->AddKey(part);
  }
  return *key;
}

void WriterKey::SetValue(std::string_view name_utf8, uint32_t type, std::vector<uint8_t> data) {
  SetValue(Utf8ToUtf16(name_utf8), type, std::move(data));
}

void WriterKey::SetValue(std::u16string name, uint32_t type, std::vector<uint8_t> data) {
  name = Capped(std::move(name), layout::kMaxValueNameChars);
  for (auto& value : values_) {
    if (NamesEqualIgnoreCase(value.name, name)) {
      value.type = type;
      value.data = std::move(data);
      return;
    }
  }
  values_.push_back({std::move(name), type, std::move(data)});
}

void WriterKey::SetString(std::string_view name_utf8, std::string_view text_utf8, uint32_t type) {
  std::u16string units = Utf8ToUtf16(text_utf8);
  units.push_back(u'\0');
  SetValue(name_utf8, type, Utf16Bytes(units));
}

void WriterKey::SetMultiString(std::string_view name_utf8, const std::vector<std::string>& strings) {
  std::u16string units;
  for (const std::string& s : strings) {
    units += Utf8ToUtf16(s);
    units.push_back(u'\0');
  }
  units.push_back(u'\0');
  SetValue(name_utf8, kRegMultiSz, Utf16Bytes(units));
}

void WriterKey::SetDword(std::string_view name_utf8, uint32_t value) {
  std::vector<uint8_t> data(4);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(value >> (8 * i));
  SetValue(name_utf8, kRegDword, std::move(data));
}

void WriterKey::SetQword(std::string_view name_utf8, uint64_t value) {
  std::vector<uint8_t> data(8);
  for (int i = 0; i < 8; ++i) data[i] = static_cast<uint8_t>(value >> (8 * i));
  SetValue(name_utf8, kRegQword, std::move(data));
}

void WriterKey::set_class_name(std::string_view class_utf8) { class_name_ = Utf8ToUtf16(class_utf8); }

}  // namespace regf
