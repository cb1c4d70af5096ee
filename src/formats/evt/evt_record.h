// Legacy Windows event log (.evt) structures: the 48-byte file header, the
// event record (EVENTLOGRECORD) and the 40-byte end-of-file record, decoded
// from bytes in memory. All values are little-endian; times are seconds
// since 1970 (UTC); text is UTF-16LE.
// Entry points: ParseFileHeader, ParseEofRecord, ProbeRecordHead,
// DecodeRecord.
#ifndef QRV_FORMATS_EVT_EVT_RECORD_H_
#define QRV_FORMATS_EVT_EVT_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace evt {

inline constexpr uint32_t kFileHeaderSize = 0x30;
inline constexpr uint32_t kEofRecordSize = 0x28;
// The fixed part (56 bytes) and the trailing copy of the size.
inline constexpr uint32_t kMinRecordSize = 0x3C;
// Windows caps what one ReportEvent call may write well below this; a
// larger size field is damage, and reading it would cost memory for nothing.
inline constexpr uint32_t kMaxRecordSize = 1u << 20;
inline constexpr uint32_t kSignature = 0x654C664C;  // "LfLe"

// Header flags.
inline constexpr uint32_t kFlagDirty = 0x1;
inline constexpr uint32_t kFlagWrapped = 0x2;

// Event types.
inline constexpr uint16_t kTypeError = 0x01;
inline constexpr uint16_t kTypeWarning = 0x02;
inline constexpr uint16_t kTypeInformation = 0x04;
inline constexpr uint16_t kTypeAuditSuccess = 0x08;
inline constexpr uint16_t kTypeAuditFailure = 0x10;

struct FileHeader {
  uint32_t first_offset = 0;  // of the oldest record
  uint32_t eof_offset = 0;    // of the end-of-file record
  uint32_t last_number = 0;   // newest record number (next to write, once wrapped)
  uint32_t first_number = 0;  // oldest record number
  uint32_t max_size = 0;
  uint32_t flags = 0;
  uint32_t retention = 0;
  bool dirty() const { return (flags & kFlagDirty) != 0; }
};

// Same layout as the header's offsets and numbers.
struct EofRecord {
  uint32_t first_offset = 0;
  uint32_t eof_offset = 0;
  uint32_t last_number = 0;
  uint32_t first_number = 0;
};

struct Record {
  uint32_t number = 0;
  uint32_t time_generated = 0;
  uint32_t time_written = 0;
  uint32_t event_id = 0;  // qualifier bits in the high 16
  uint16_t event_type = 0;
  uint16_t category = 0;
  uint16_t reserved_flags = 0;
  uint32_t closing_number = 0;
  std::u16string source;
  std::u16string computer;
  std::vector<uint8_t> sid;  // binary SID; empty when none
  std::vector<std::u16string> strings;
  std::vector<uint8_t> data;
  // Fewer strings than the record announces were readable (cut off).
  bool strings_cut = false;
};

// True when `bytes` (at least kFileHeaderSize) start with a legacy log
// header: both size fields 0x30, the signature, version 1.1.
bool ParseFileHeader(const uint8_t* bytes, size_t size, FileHeader* out);

// True when `bytes` hold an end-of-file record (size fields and the four
// signature words).
bool ParseEofRecord(const uint8_t* bytes, size_t size, EofRecord* out);

// The size of the record starting at `head` (8 bytes: size, signature) when
// it can be one: signature present, size a multiple of 4 within
// [kMinRecordSize, limit]; else 0.
uint32_t ProbeRecordHead(const uint8_t* head, uint32_t limit);

// What DecodeRecord reads besides the fixed fields.
enum class RecordParts {
  kAll,
  // The source and computer names and the SID; the strings and the data
  // are left empty (strings_cut false), for a reader that reads them from
  // the record's bytes later, if at all.
  kNames,
};

// Decodes the record in `bytes`, exactly `size` bytes long (its size field).
// False when the size fields or the signature disagree. Strings, names, SID
// and data that point outside the record are left empty or cut at its end
// (a cut string list sets strings_cut); nothing is read past `size`.
bool DecodeRecord(const uint8_t* bytes, uint32_t size, Record* out,
                  RecordParts parts = RecordParts::kAll);

}  // namespace evt

#endif  // QRV_FORMATS_EVT_EVT_RECORD_H_
