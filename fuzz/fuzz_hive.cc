// Fuzz target for the registry hive reader: opens the bytes as a hive, walks
// every key and reads every value through each typed view, checking the
// promises the reader's headers make about what it returns.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/regf/hive.h"
#include "formats/regf/hive_walk.h"
#include "formats/regf/key.h"
#include "formats/regf/value.h"
#include "fuzz/fuzz_check.h"

namespace {

// Name lookups scan the whole list, so checking every subkey of a key with
// thousands would be quadratic; the first few cover the lookup path.
constexpr size_t kLookupsPerKey = 8;

void ReadValue(const regf::Hive& hive, const regf::Value& value) {
  value.Name();
  value.IsDefault();
  const uint32_t type = value.Type();
  const auto data = value.Data();
  const auto units = value.DataUtf16();
  QRV_FUZZ_CHECK(data.has_value() == units.has_value());
  if (data) {
    QRV_FUZZ_CHECK(data->size() <= hive.bins_size());
    QRV_FUZZ_CHECK(units->size() == data->size() / 2);
  }
  if (value.AsString()) {
    QRV_FUZZ_CHECK(type == regf::kRegSz || type == regf::kRegExpandSz || type == regf::kRegLink);
  }
  if (value.AsMultiString()) QRV_FUZZ_CHECK(type == regf::kRegMultiSz);
  if (value.AsDword()) {
    QRV_FUZZ_CHECK(type == regf::kRegDword || type == regf::kRegDwordBigEndian);
    QRV_FUZZ_CHECK(data && data->size() == 4);
  }
  if (value.AsQword()) QRV_FUZZ_CHECK(type == regf::kRegQword && data && data->size() == 8);
}

void ReadKey(const regf::Hive& hive, const regf::Key& key) {
  key.Name();
  key.LastWriteTime();
  const auto values = key.Values();
  for (const regf::Value& value : values) ReadValue(hive, value);
  // Every listed name must be found again by name (the first of equal
  // names may be another key, so only presence is checked).
  const auto subkeys = key.Subkeys();
  for (size_t i = 0; i < subkeys.size() && i < kLookupsPerKey; ++i) {
    QRV_FUZZ_CHECK(key.FindSubkey(subkeys[i].NameUtf16()).has_value());
  }
  for (size_t i = 0; i < values.size() && i < kLookupsPerKey; ++i) {
    QRV_FUZZ_CHECK(key.FindValue(values[i].NameUtf16()).has_value());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  regf::Hive hive(data, size);
  QRV_FUZZ_CHECK(hive.readable() == hive.Root().has_value());
  if (!hive.readable()) return 0;
  const regf::WalkStats stats = regf::WalkHive(
      hive, [&hive](const regf::Key& key, const std::string&) { ReadKey(hive, key); });
  QRV_FUZZ_CHECK(stats.keys >= 1);
  // Paths the event log catalogue opens in a SYSTEM and a SOFTWARE hive.
  hive.OpenKey("ControlSet001\\Services\\EventLog");
  hive.OpenKey("Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers");
  return 0;
}
