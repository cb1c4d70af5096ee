// An in-memory tree of registry keys and values to be serialized by
// WriteHive: what tests and the sample-image generator build hives from.
//
// Entry points: WriterKey (AddKey, AddPath, SetValue and the typed setters).
//
// Behaves like the registry: names are unique ignoring case (adding an
// existing key returns it, setting an existing value replaces its type and
// data in place), values keep their insertion order, subkeys are sorted only
// when written. Names are cut at the Windows limits (255 characters for
// keys, 16383 for values).
#ifndef QRV_FORMATS_REGF_WRITER_KEY_H_
#define QRV_FORMATS_REGF_WRITER_KEY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/regf/value.h"

namespace regf {

struct WriterValue {
  std::u16string name;  // empty = the default value
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

class WriterKey {
 public:
  explicit WriterKey(std::string_view name_utf8);
  explicit WriterKey(std::u16string name);
  WriterKey(const WriterKey&) = delete;
  WriterKey& operator=(const WriterKey&) = delete;

  // The direct subkey `name` (no '\' splitting), created when absent.
  WriterKey& AddKey(std::string_view name_utf8);
  WriterKey& AddKey(std::u16string name);
  // Creates each missing key of a '\'-separated path and returns the last.
  WriterKey& AddPath(std::string_view path_utf8);

  void SetValue(std::string_view name_utf8, uint32_t type, std::vector<uint8_t> data);
  void SetValue(std::u16string name, uint32_t type, std::vector<uint8_t> data);
  // REG_SZ / REG_EXPAND_SZ: UTF-16LE text with its terminating NUL, as
  // RegSetValueEx stores it when given the NUL.
  void SetString(std::string_view name_utf8, std::string_view text_utf8, uint32_t type = kRegSz);
  // REG_MULTI_SZ: each string NUL-terminated, then the closing NUL.
  void SetMultiString(std::string_view name_utf8, const std::vector<std::string>& strings);
  void SetDword(std::string_view name_utf8, uint32_t value);
  void SetQword(std::string_view name_utf8, uint64_t value);

  void set_last_write_time(uint64_t filetime) { last_write_time_ = filetime; }
  void set_class_name(std::string_view class_utf8);

  const std::u16string& name() const { return name_; }
  uint64_t last_write_time() const { return last_write_time_; }
  const std::u16string& class_name() const { return class_name_; }
  const std::vector<WriterValue>& values() const { return values_; }
  // In insertion order.
  const std::vector<std::unique_ptr<WriterKey>>& subkeys() const { return subkeys_; }

 private:
  std::u16string name_;
  std::u16string class_name_;
  uint64_t last_write_time_ = 0;
  std::vector<WriterValue> values_;
  std::vector<std::unique_ptr<WriterKey>> subkeys_;
};

}  // namespace regf

#endif  // QRV_FORMATS_REGF_WRITER_KEY_H_
