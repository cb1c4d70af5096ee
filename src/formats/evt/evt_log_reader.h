// The records of a legacy event log (.evt) file, oldest first, read from a
// random-access byte source with a bounded window: memory does not grow
// with the file, and every byte is visited a bounded number of times.
//
// A log is a ring: its records live between the 48-byte header and the end
// of the file, the oldest may sit after the newest, and a record that
// reaches the end of the file goes on just after the header. The walk:
//   - starts at the oldest record: the header's first-record offset when
//     the header is clean (not dirty) and a record is there; else the
//     end-of-file record's, when one is found and a record is there; else
//     the record with the lowest number anywhere in the file. The
//     end-of-file record is looked for first by following records from
//     the header's end offset (the records written since the header was
//     last saved lead to it), then in every aligned place of the file;
//   - follows records by their sizes, around the ring, up to the end-of-file
//     record the header names (clean header) or once round the ring (dirty
//     or damaged), giving only records numbered above the last one given
//     (what lies past the newest record is older, overwritten space);
//   - where no intact record starts, steps 4 bytes and tries again, so
//     every intact record after damage is still found.
// Entry points: ByteSource, LogReader.
#ifndef QRV_FORMATS_EVT_EVT_LOG_READER_H_
#define QRV_FORMATS_EVT_EVT_LOG_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/evt/evt_record.h"

namespace evt {

// Random access to a file's bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Copies up to `n` bytes at `offset` into `out`; returns how many (fewer
  // at the end, or when the file has shrunk).
  virtual size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) const = 0;
};

// A source over bytes in memory (tests, fuzzing).
class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) const override;

 private:
  const uint8_t* data_;
  size_t size_;
};

struct LogStats {
  uint64_t records = 0;       // given out
  uint64_t stale = 0;         // intact, but not newer than the last given
  uint64_t damaged_steps = 0; // 4-byte steps over bytes holding no record
  bool scanned = false;       // the start was found by scanning
};

class LogReader {
 public:
  // Reads the header. False when `source` does not start with a legacy log
  // header; `source` must outlive the reader.
  bool Open(const ByteSource& source);

  const FileHeader& header() const { return header_; }
  // The next record, oldest first, with `parts` decoded; false when there
  // are no more.
  bool Next(Record* out, RecordParts parts = RecordParts::kAll);
  // The bytes of the record Next last gave (its size field first), valid
  // until the next call.
  std::span<const uint8_t> record_bytes() const { return {record_at_, record_size_}; }
  // Bytes of the ring the walk has covered so far, for a progress display.
  uint64_t walked() const { return walked_; }
  const LogStats& stats() const { return stats_; }

 private:
  // Circular reads within [kFileHeaderSize, ring_end_).
  bool ReadRing(uint64_t pos, uint8_t* out, uint32_t n);
  // The n bytes at ring position `pos`: in the window when they lie there
  // unbroken (valid until the window moves), else read into `scratch`;
  // null when they cannot be read.
  const uint8_t* View(uint64_t pos, uint8_t* scratch, uint32_t n);
  uint64_t Advance(uint64_t pos, uint64_t n) const;
  // The size of an intact record at `pos`, or 0. Its bytes are then at
  // record_at_, or, when `number` is given, only its number in *number.
  uint32_t IntactRecordAt(uint64_t pos, uint32_t* number = nullptr);
  void FindStart();
  // Follows intact records from `pos`, once round the ring at most, to the
  // end-of-file record after them; false when something else comes first.
  bool FollowToEof(uint64_t pos, EofRecord* eof);

  const ByteSource* source_ = nullptr;
  FileHeader header_;
  uint64_t ring_end_ = 0;
  uint64_t span_ = 0;  // ring_end_ - kFileHeaderSize
  uint64_t pos_ = 0;
  uint64_t walked_ = 0;
  uint64_t limit_ = 0;  // bytes of the ring the walk covers
  bool started_ = false;
  bool any_given_ = false;
  uint32_t last_number_ = 0;
  // Bytes at [window_at_, window_at_ + window_size_) of the file.
  std::unique_ptr<uint8_t[]> window_;
  uint64_t window_at_ = 0;
  size_t window_size_ = 0;
  std::vector<uint8_t> record_;  // a record read across the window's edge
  // The last intact record's bytes: in the window, or in record_.
  const uint8_t* record_at_ = nullptr;
  uint32_t record_size_ = 0;
  LogStats stats_;
};

}  // namespace evt

#endif  // QRV_FORMATS_EVT_EVT_LOG_READER_H_
