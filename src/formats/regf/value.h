// A value (vk) of a hive key: name, type and data, with big-data (db) values
// reassembled and inline data taken from the record itself, plus typed views
// for the string and integer types.
//
// Entry points: Value::Name, Value::Type, Value::Data, Value::DataUtf16,
// Value::AsString, Value::AsMultiString, Value::AsDword, Value::AsQword.
#ifndef QRV_FORMATS_REGF_VALUE_H_
#define QRV_FORMATS_REGF_VALUE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace regf {

class Hive;

// Value types (REG_*). Other numbers occur (SAM stores RIDs as the type) and
// are passed through unchanged.
enum ValueType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegFullResourceDescriptor = 9,
  kRegResourceRequirementsList = 10,
  kRegQword = 11,
};

class Value {
 public:
  // Name as UTF-8 / UTF-16 units; empty for the default value.
  std::string Name() const;
  std::u16string NameUtf16() const;
  bool IsDefault() const;
  uint32_t Type() const;
  // Data size the record declares (the inline flag removed).
  uint32_t DeclaredSize() const;
  uint32_t cell_offset() const { return offset_; }

  // The raw data bytes, exactly as RegQueryValueEx returns them for a
  // Unicode call. nullopt when the data cannot be read in full (cell outside
  // the hive or too short, broken big-data segment list).
  std::optional<std::vector<uint8_t>> Data() const;

  // The data as UTF-16 code units, every unit kept (embedded and trailing
  // NULs included), an odd last byte dropped. This is what RegQueryValueExA
  // converts to the ANSI code page for REG_SZ, REG_EXPAND_SZ and
  // REG_MULTI_SZ: the result counts the NULs only if they were stored.
  std::optional<std::u16string> DataUtf16() const;

  // REG_SZ, REG_EXPAND_SZ, REG_LINK: the text up to the first NUL, as UTF-8.
  // nullopt for other types or unreadable data.
  std::optional<std::string> AsString() const;
  // REG_MULTI_SZ: the strings, ending at the first empty one (the list's
  // double NUL) or at the end of the data when the final NULs are missing.
  std::optional<std::vector<std::string>> AsMultiString() const;
  // REG_DWORD (little-endian) or REG_DWORD_BIG_ENDIAN with exactly 4 bytes.
  std::optional<uint32_t> AsDword() const;
  // REG_QWORD with exactly 8 bytes.
  std::optional<uint64_t> AsQword() const;

 private:
  friend class Key;
  Value(const Hive* hive, uint32_t offset) : hive_(hive), offset_(offset) {}
  static std::optional<Value> At(const Hive* hive, uint32_t offset);
  std::span<const uint8_t> Record() const;
  std::optional<std::vector<uint8_t>> ReadBigData(std::span<const uint8_t> db, uint32_t size) const;

  const Hive* hive_;
  uint32_t offset_;
};

}  // namespace regf

#endif  // QRV_FORMATS_REGF_VALUE_H_
