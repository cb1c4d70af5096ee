// A key node (nk) of a hive: its name, last-write time, subkeys in the order
// Windows enumerates them, and its values.
//
// Entry points: Key::Name, Key::Subkeys, Key::FindSubkey, Key::OpenPath,
// Key::Values, Key::FindValue, Key::LastWriteTime.
//
// A Key is a cheap handle (hive pointer + cell offset), valid as long as its
// Hive. Damaged entries of subkey and value lists (offsets outside the hive,
// free cells, wrong signatures, an "ri" inside an "ri", a key listing itself)
// are left out, the way Windows drops them when it checks a hive on load;
// the rest of the list is still returned.
#ifndef QRV_FORMATS_REGF_KEY_H_
#define QRV_FORMATS_REGF_KEY_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/regf/value.h"

namespace regf {

class Hive;

class Key {
 public:
  // Name as stored (Latin-1 or UTF-16), converted to UTF-8 / as UTF-16 units.
  std::string Name() const;
  std::u16string NameUtf16() const;
  // FILETIME: 100 ns units since 1601-01-01 UTC.
  uint64_t LastWriteTime() const;
  // Cell offset of the nk record: the handle's identity (equal keys, same
  // offset); walkers use it to notice a key reached twice.
  uint32_t cell_offset() const { return offset_; }

  // The subkeys in RegEnumKey order: the order of the stored subkey list,
  // which Windows keeps sorted by uppercased name, "ri" leaves concatenated.
  // At most the count the key node declares. Index i of this vector is what
  // RegEnumKey(i) returns; callers that enumerate take it once. Damaged
  // entries are skipped and counted into *skipped when given.
  std::vector<Key> Subkeys(uint32_t* skipped = nullptr) const;

  // First subkey whose name equals `name` ignoring case (UpcaseUnit folding).
  std::optional<Key> FindSubkey(std::string_view name_utf8) const;
  std::optional<Key> FindSubkey(std::u16string_view name) const;

  // Follows `path` ('\'-separated, empty components skipped) downward.
  std::optional<Key> OpenPath(std::string_view path_utf8) const;

  // The values in stored order (the order RegEnumValue uses). Damaged
  // entries are skipped and counted into *skipped when given.
  std::vector<Value> Values(uint32_t* skipped = nullptr) const;

  // First value named `name` ignoring case; "" selects the default (unnamed)
  // value, which a key need not have.
  std::optional<Value> FindValue(std::string_view name_utf8) const;
  std::optional<Value> FindValue(std::u16string_view name) const;

 private:
  friend class Hive;
  Key(const Hive* hive, uint32_t offset) : hive_(hive), offset_(offset) {}

  // The key node record, or nullopt when the cell at `offset` is not one.
  static std::optional<Key> At(const Hive* hive, uint32_t offset);
  std::span<const uint8_t> Record() const;
  // Calls visit(key) for each intact list entry until it returns true.
  template <typename Visit>
  void ForEachSubkey(uint32_t* skipped, Visit visit) const;

  const Hive* hive_;
  uint32_t offset_;
};

}  // namespace regf

#endif  // QRV_FORMATS_REGF_KEY_H_
