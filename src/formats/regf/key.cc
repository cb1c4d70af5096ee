// Key node records: names, subkey lists (li, lf, lh, ri) and value lists.
// See key.h.
#include "formats/regf/key.h"

#include <algorithm>

#include "formats/regf/hive.h"
#include "formats/regf/hive_layout.h"
#include "formats/regf/le_bytes.h"
#include "formats/regf/name_text.h"

namespace regf {
namespace {

using namespace layout;

bool IsLeafList(std::span<const uint8_t> list) {
  if (list.size() < kListHeaderSize) return false;
  uint16_t sig = LoadU16(list, 0);
  return sig == kLiSig || sig == kLfSig || sig == kLhSig;
}

std::span<const uint8_t> StoredKeyName(std::span<const uint8_t> record) {
  return record.subspan(kNkName, LoadU16(record, kNkNameLength));
}

bool KeyNameCompressed(std::span<const uint8_t> record) {
  return (LoadU16(record, kNkFlags) & kKeyCompressedName) != 0;
}

}  // namespace

std::optional<Key> Key::At(const Hive* hive, uint32_t offset) {
  auto record = hive->Cell(offset);
  if (record.size() < kNkName || LoadU16(record, 0) != kNkSig) return std::nullopt;
  if (LoadU16(record, kNkNameLength) > record.size() - kNkName) return std::nullopt;
  return Key(hive, offset);
}

std::span<const uint8_t> Key::Record() const { return hive_->Cell(offset_); }

std::string Key::Name() const { return Utf16ToUtf8(NameUtf16()); }

std::u16string Key::NameUtf16() const {
  auto record = Record();
  return DecodeStoredName(StoredKeyName(record), KeyNameCompressed(record));
}

uint64_t Key::LastWriteTime() const { return LoadU64(Record(), kNkLastWrite); }

template <typename Visit>
void Key::ForEachSubkey(uint32_t* skipped, Visit visit) const {
  uint32_t local_skipped = 0;
  uint32_t& skip_count = skipped ? *skipped : local_skipped;
  auto record = Record();
  // Windows stops at the count in the key node even when the list holds
  // more; a list holding fewer simply ends the enumeration early.
  const uint32_t declared = LoadU32(record, kNkSubkeyCount);
  const uint32_t list_offset = LoadU32(record, kNkSubkeyList);
  if (declared == 0 || list_offset == kNoCell) return;

  uint32_t taken = 0;
  // Returns true when the walk is over (visitor satisfied or count reached).
  auto walk_leaf = [&](std::span<const uint8_t> leaf) {
    const size_t entry_size = LoadU16(leaf, 0) == kLiSig ? 4 : 8;
    const size_t entries = std::min<size_t>(LoadU16(leaf, 2), (leaf.size() - kListHeaderSize) / entry_size);
    for (size_t i = 0; i < entries; ++i) {
      if (taken == declared) return true;
      ++taken;
      uint32_t child = LoadU32(leaf, kListHeaderSize + i * entry_size);
      std::optional<Key> key = child == offset_ ? std::nullopt : At(hive_, child);
      if (!key) {
        ++skip_count;
        continue;
      }
      if (visit(*key)) return true;
    }
    return taken == declared;
  };

  auto list = hive_->Cell(list_offset);
  if (IsLeafList(list)) {
    walk_leaf(list);
    return;
  }
  if (list.size() < kListHeaderSize || LoadU16(list, 0) != kRiSig) {
    ++skip_count;
    return;
  }
  // An index root only ever points at leaves; an "ri" found there (itself
  // included) is refused, so the walk is never deeper than two levels.
  const size_t leaves = std::min<size_t>(LoadU16(list, 2), (list.size() - kListHeaderSize) / 4);
  for (size_t i = 0; i < leaves; ++i) {
    auto leaf = hive_->Cell(LoadU32(list, kListHeaderSize + i * 4));
    if (!IsLeafList(leaf)) {
      ++skip_count;
      continue;
    }
    if (walk_leaf(leaf)) return;
  }
}

std::vector<Key> Key::Subkeys(uint32_t* skipped) const {
  std::vector<Key> keys;
  ForEachSubkey(skipped, [&keys](const Key& key) {
    keys.push_back(key);
    return false;
  });
  return keys;
}

std::optional<Key> Key::FindSubkey(std::string_view name_utf8) const {
  return FindSubkey(std::u16string_view(Utf8ToUtf16(name_utf8)));
}

std::optional<Key> Key::FindSubkey(std::u16string_view name) const {
  // A linear scan rather than a binary search: it needs no trust in the
  // list's order, and lists are at most a few thousand entries.
  std::optional<Key> found;
  ForEachSubkey(nullptr, [&](const Key& key) {
    auto record = key.Record();
    if (!StoredNameEquals(StoredKeyName(record), KeyNameCompressed(record), name)) return false;
    found = key;
    return true;
  });
  return found;
}

std::optional<Key> Key::OpenPath(std::string_view path_utf8) const {
  std::optional<Key> key = *this;
  while (key && !path_utf8.empty()) {
    size_t cut = path_utf8.find('\\');
    std::string_view part = path_utf8.substr(0, cut);
    path_utf8 = cut == std::string_view::npos ? std::string_view() : path_utf8.substr(cut + 1);
    if (!part.empty()) key = key->FindSubkey(part);
  }
  return key;
}

std::vector<Value> Key::Values(uint32_t* skipped) const {
  std::vector<Value> values;
  auto record = Record();
  const uint32_t declared = LoadU32(record, kNkValueCount);
  const uint32_t list_offset = LoadU32(record, kNkValueList);
  if (declared == 0 || list_offset == kNoCell) return values;
  auto list = hive_->Cell(list_offset);
  // The list cell bounds the count: a declared count the cell cannot hold
  // is damage, and only the entries present are read.
  const uint32_t present = static_cast<uint32_t>(std::min<size_t>(declared, list.size() / 4));
  uint32_t bad = declared - present;
  values.reserve(present);
  for (uint32_t i = 0; i < present; ++i) {
    std::optional<Value> value = Value::At(hive_, LoadU32(list, size_t{i} * 4));
    if (value) {
      values.push_back(*value);
    } else {
      ++bad;
    }
  }
  if (skipped) *skipped += bad;
  return values;
}

std::optional<Value> Key::FindValue(std::string_view name_utf8) const {
  return FindValue(std::u16string_view(Utf8ToUtf16(name_utf8)));
}

std::optional<Value> Key::FindValue(std::u16string_view name) const {
  for (const Value& value : Values()) {
    if (NamesEqualIgnoreCase(value.NameUtf16(), name)) return value;
  }
  return std::nullopt;
}

}  // namespace regf
