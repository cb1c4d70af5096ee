// Helpers shared by the hive tests: a sample key tree, the bytes of UTF-16
// text, and patching of written hives to simulate damage.
#ifndef QRV_TESTS_FORMATS_REGF_REGF_TEST_UTIL_H_
#define QRV_TESTS_FORMATS_REGF_REGF_TEST_UTIL_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "formats/regf/hive.h"
#include "formats/regf/hive_writer.h"
#include "formats/regf/le_bytes.h"

namespace regf::testing {

inline std::vector<uint8_t> Utf16Le(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<uint8_t>(u));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

// A SYSTEM-like tree: ControlSet001\Services\EventLog\{Application,System},
// Select\Current, and a key with one value of every common type.
inline std::unique_ptr<WriterKey> SampleTree() {
  auto root = std::make_unique<WriterKey>("CMI-CreateHive{2A7FB991-7BBE-4F9D-B91E-7CB51D4737F5}");
  root->set_last_write_time(0x01D7441C2B5A1C00);
  root->AddKey("Select").SetDword("Current", 1);
  WriterKey& eventlog = root->AddPath("ControlSet001\\Services\\EventLog");
  WriterKey& app = eventlog.AddKey("Application");
  app.SetString("File", "%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx", kRegExpandSz);
  app.SetDword("MaxSize", 0x01400000);
  eventlog.AddKey("System").SetString("", "system default");
  eventlog.AddKey("Parameters");
  WriterKey& types = root->AddKey("Types");
  types.set_last_write_time(0x01D0000000000001);
  types.SetString("", "default");
  types.SetString("Sz", "text");
  types.SetString("Expand", "%windir%", kRegExpandSz);
  types.SetMultiString("Multi", {"one", "two", "three"});
  types.SetDword("Dword", 0xDEADBEEF);
  types.SetValue("DwordBE", kRegDwordBigEndian, {0x12, 0x34, 0x56, 0x78});
  types.SetQword("Qword", 0x0102030405060708);
  types.SetValue("Binary", kRegBinary, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  types.SetValue("None", kRegNone, {});
  types.SetValue("Link", kRegLink, Utf16Le(u"\\Registry\\Machine\\X"));
  types.SetValue("Rid", 0x3E9, {0xAA});
  return root;
}

// File offset of the record inside the cell at `cell_offset`.
inline size_t RecordAt(uint32_t cell_offset) { return 4096 + size_t{cell_offset} + 4; }

inline uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t file_offset) {
  return LoadU32(bytes, file_offset);
}

inline void PutU32(std::vector<uint8_t>& bytes, size_t file_offset, uint32_t value) {
  StoreU32(bytes, file_offset, value);
}

inline void PutU16(std::vector<uint8_t>& bytes, size_t file_offset, uint16_t value) {
  StoreU16(bytes, file_offset, value);
}

// Recomputes the base block checksum after the header was patched.
inline void FixChecksum(std::vector<uint8_t>& bytes) {
  uint32_t sum = 0;
  for (size_t off = 0; off < 508; off += 4) sum ^= LoadU32(bytes, off);
  StoreU32(bytes, 508, sum);
}

}  // namespace regf::testing

#endif  // QRV_TESTS_FORMATS_REGF_REGF_TEST_UTIL_H_
