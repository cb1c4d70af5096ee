// Serializes a WriterKey tree into a complete hive file: base block with its
// checksum, hbin blocks, nk/vk records, subkey lists sorted as Windows sorts
// them (uppercased names), big-data values, class names and one shared
// security descriptor. Not part of the tool: tests and the sample-image
// generator use it.
//
// Entry points: WriteHive, WriterOptions, SubkeyListKind.
#ifndef QRV_FORMATS_REGF_HIVE_WRITER_H_
#define QRV_FORMATS_REGF_HIVE_WRITER_H_

#include <cstdint>
#include <vector>

#include "formats/regf/writer_key.h"

namespace regf {

enum class SubkeyListKind {
  kDefault,  // "lh" for minor version 5 and later, "lf" before, as Windows does
  kLi,
  kLf,
  kLh,
};

struct WriterOptions {
  // 5 is what Windows XP and later write; 3 has no big-data records (large
  // values then sit in one cell) and uses "lf" lists.
  uint32_t minor_version = 5;
  SubkeyListKind list_kind = SubkeyListKind::kDefault;
  // Leaves longer than this are split under an "ri" index root. 511 entries
  // of 8 bytes keep one leaf within a 4 KiB bin.
  uint32_t max_leaf_entries = 511;
  // FILETIME stored in the base block and the first bin.
  uint64_t timestamp = 0;
};

// The whole hive file. The root key's name is stored as given.
std::vector<uint8_t> WriteHive(const WriterKey& root, const WriterOptions& options = {});

}  // namespace regf

#endif  // QRV_FORMATS_REGF_HIVE_WRITER_H_
