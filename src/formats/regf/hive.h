// Read-only view of a Windows registry hive file held in memory: validates
// the base block, indexes the hbin blocks and hands out checked cells, from
// which Key and Value read records.
//
// Entry points: Hive (construct over bytes, then status()), Hive::Root,
// Hive::OpenKey, Hive::Cell.
//
// The bytes are hostile. Every cell is checked to lie inside one bin and to be
// allocated before a record is read from it; nothing is read outside the
// buffer. What cannot be read is skipped (see Key and Value) and the rest of
// the hive stays readable.
#ifndef QRV_FORMATS_REGF_HIVE_H_
#define QRV_FORMATS_REGF_HIVE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "formats/regf/key.h"

namespace regf {

enum class HiveStatus {
  kOk,          // header and bins are consistent
  kDamaged,     // some header or bin fields are wrong, the tree is still read
  kNotAHive,    // no "regf" base block, or one this reader cannot use
  kUnreadable,  // a hive base block, but its root key cannot be read
};

// Findings of Hive construction, as bits of Hive::issues().
enum HiveIssue : uint32_t {
  kIssueTooSmall = 1u << 0,            // shorter than a base block
  kIssueBadSignature = 1u << 1,        // no "regf"
  kIssueUnsupportedVersion = 1u << 2,  // major != 1 or minor < 2 (NT 3.x layout)
  kIssueNotPrimaryFile = 1u << 3,      // a transaction log, not a hive
  kIssueBadChecksum = 1u << 4,
  kIssueTruncated = 1u << 5,     // bins size field runs past the end of the file
  kIssueBadBins = 1u << 6,       // an hbin header is wrong; later bins were resynced
  kIssueBadRoot = 1u << 7,       // root cell is not a key node
  kIssueDirty = 1u << 8,         // sequence numbers differ: changes may sit in .LOG files
};

class Hive {
 public:
  // Parses the base block and the bin chain of `data`. The bytes are not
  // copied: they must outlive the Hive and every Key and Value taken from it.
  // A dirty hive (kIssueDirty) is still kOk: the file itself is consistent.
  Hive(const uint8_t* data, size_t size);

  // Keys and values point back at their hive, so it stays where it was made.
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  HiveStatus status() const { return status_; }
  // True for kOk and kDamaged: Root() is a key.
  bool readable() const { return status_ == HiveStatus::kOk || status_ == HiveStatus::kDamaged; }
  uint32_t issues() const { return issues_; }
  uint32_t minor_version() const { return minor_version_; }

  // The root key node (its name is whatever the hive was created with, e.g.
  // "CMI-CreateHive{...}"); nullopt unless readable().
  std::optional<Key> Root() const;

  // Opens `path` below the root: components split at '\' only ('/' is part
  // of a name), each matched case-insensitively. Empty components are
  // skipped, so "" is the root. nullopt when a component is missing.
  std::optional<Key> OpenKey(std::string_view path_utf8) const;

  // The record inside the allocated cell at `cell_offset`, or an empty span
  // when the offset is not 8-aligned, not inside one bin, the cell is free,
  // or its size runs past its bin.
  std::span<const uint8_t> Cell(uint32_t cell_offset) const;

  // Size of the hive-bins area actually indexed; no value can be larger.
  uint32_t bins_size() const { return bins_size_; }

 private:
  struct Bin {
    uint32_t offset;  // cell offset of the hbin header
    uint32_t size;
  };

  void IndexBins();

  std::span<const uint8_t> bytes_;
  std::span<const uint8_t> bins_area_;
  std::vector<Bin> bins_;  // ascending, at most one per 4096 bytes of file
  uint32_t bins_size_ = 0;
  uint32_t root_offset_ = 0;
  uint32_t minor_version_ = 0;
  uint32_t issues_ = 0;
  HiveStatus status_ = HiveStatus::kNotAHive;
};

}  // namespace regf

#endif  // QRV_FORMATS_REGF_HIVE_H_
