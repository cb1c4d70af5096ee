// The oldest-first walk round a legacy log's ring; see evt_log_reader.h.
#include "formats/evt/evt_log_reader.h"

#include <algorithm>
#include <cstring>

namespace evt {

namespace {

// Bytes read from the file at a time.
constexpr size_t kWindowSize = 256 * 1024;
// Offsets in a legacy log are 32-bit: nothing past 4 GiB belongs to it.
constexpr uint64_t kMaxRingEnd = uint64_t{1} << 32;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

size_t MemorySource::ReadAt(uint64_t offset, uint8_t* out, size_t n) const {
  if (offset >= size_) return 0;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  std::memcpy(out, data_ + offset, count);
  return count;
}

bool LogReader::Open(const ByteSource& source) {
  uint8_t head[kFileHeaderSize];
  if (source.ReadAt(0, head, sizeof head) != sizeof head ||
      !ParseFileHeader(head, sizeof head, &header_))
    return false;
  source_ = &source;
  ring_end_ = std::min(source.size(), kMaxRingEnd);
  // Records are 4-byte aligned from the header on; a ragged tail holds none.
  ring_end_ -= ring_end_ % 4;
  span_ = ring_end_ > kFileHeaderSize ? ring_end_ - kFileHeaderSize : 0;
  // Not zeroed: only the bytes a read has filled are ever looked at.
  if (!window_) window_.reset(new uint8_t[kWindowSize]);
  window_at_ = 0;
  window_size_ = 0;
  return true;
}

uint64_t LogReader::Advance(uint64_t pos, uint64_t n) const {
  pos += n % span_;
  if (pos >= ring_end_) pos -= span_;
  return pos;
}

bool LogReader::ReadRing(uint64_t pos, uint8_t* out, uint32_t n) {
  while (n > 0) {
    const uint32_t piece =
        static_cast<uint32_t>(std::min<uint64_t>(n, ring_end_ - pos));
    if (pos >= window_at_ && pos + piece <= window_at_ + window_size_) {
      std::memcpy(out, window_.get() + (pos - window_at_), piece);
    } else if (piece <= kWindowSize / 2) {
      window_at_ = pos;
      window_size_ = source_->ReadAt(pos, window_.get(), kWindowSize);
      if (window_size_ < piece) return false;
      std::memcpy(out, window_.get(), piece);
    } else if (source_->ReadAt(pos, out, piece) != piece) {
      return false;
    }
    out += piece;
    n -= piece;
    pos = Advance(pos, piece);
  }
  return true;
}

const uint8_t* LogReader::View(uint64_t pos, uint8_t* scratch, uint32_t n) {
  if (pos >= window_at_ && pos + n <= window_at_ + window_size_)
    return window_.get() + (pos - window_at_);
  return ReadRing(pos, scratch, n) ? scratch : nullptr;
}

uint32_t LogReader::IntactRecordAt(uint64_t pos, uint32_t* number) {
  uint8_t head_copy[12];
  const uint8_t* head = View(pos, head_copy, sizeof head_copy);
  if (head == nullptr) return 0;
  const uint32_t size = ProbeRecordHead(
      head, static_cast<uint32_t>(std::min<uint64_t>(span_, kMaxRecordSize)));
  if (size == 0) return 0;
  const uint32_t record_number = Le32(head + 8);
  // A record that runs past the end of the window is read from its start,
  // so that its trailer and its bytes come from one read, not one read for
  // the trailer and another for the record.
  if (pos + size <= ring_end_ && size <= kWindowSize / 2 &&
      !(pos >= window_at_ && pos + size <= window_at_ + window_size_)) {
    window_at_ = pos;
    window_size_ = source_->ReadAt(pos, window_.get(), kWindowSize);
  }
  // The trailing size copy is checked before the whole record is read, so
  // a head without its record costs no more than the head.
  uint8_t trailer_copy[4];
  const uint8_t* trailer = View(Advance(pos, size - 4), trailer_copy, 4);
  if (trailer == nullptr || Le32(trailer) != size) return 0;
  if (number != nullptr) {
    *number = record_number;
    return size;
  }
  if (record_.size() < size) record_.resize(size);
  record_at_ = View(pos, record_.data(), size);
  record_size_ = record_at_ != nullptr ? size : 0;
  return record_size_;
}

void LogReader::FindStart() {
  started_ = true;
  if (span_ < kMinRecordSize) return;
  const auto in_ring = [this](uint32_t offset) {
    return offset >= kFileHeaderSize && offset < ring_end_ && offset % 4 == 0;
  };
  const auto distance = [this](uint64_t from, uint64_t to) {
    return to >= from ? to - from : span_ - (from - to);
  };
  if (!header_.dirty() && in_ring(header_.first_offset) &&
      in_ring(header_.eof_offset)) {
    if (header_.first_offset == header_.eof_offset) return;  // empty
    if (IntactRecordAt(header_.first_offset) != 0) {
      pos_ = header_.first_offset;
      limit_ = distance(pos_, header_.eof_offset);
      return;
    }
  }
  // The header is stale or wrong. A log that was not closed cleanly
  // (dirty) has its records written since the header was last saved just
  // after the end offset the header gives, then the end-of-file record: a
  // walk over their heads finds it without reading the whole ring.
  EofRecord eof;
  limit_ = span_;
  if (in_ring(header_.eof_offset) && FollowToEof(header_.eof_offset, &eof) &&
      in_ring(eof.first_offset) && IntactRecordAt(eof.first_offset) != 0) {
    pos_ = eof.first_offset;
    return;
  }
  // Else every aligned offset is looked at once for the end-of-file record
  // and the lowest-numbered record.
  stats_.scanned = true;
  bool have_eof = false;
  bool have_lowest = false;
  uint32_t lowest = 0;
  uint64_t lowest_at = 0;
  uint8_t probe[kEofRecordSize];
  for (uint64_t pos = kFileHeaderSize; pos + 8 <= ring_end_; pos += 4) {
    uint32_t number = 0;
    const uint32_t size = IntactRecordAt(pos, &number);
    if (size != 0) {
      if (!have_lowest || number < lowest) {
        have_lowest = true;
        lowest = number;
        lowest_at = pos;
      }
      // Within a record no other starts; the loop adds the last 4 bytes.
      pos += size - 4;
      continue;
    }
    if (!have_eof && ReadRing(pos, probe, kEofRecordSize) &&
        ParseEofRecord(probe, kEofRecordSize, &eof))
      have_eof = true;
  }
  if (have_eof && in_ring(eof.first_offset) &&
      IntactRecordAt(eof.first_offset) != 0) {
    pos_ = eof.first_offset;
  } else if (have_lowest) {
    pos_ = lowest_at;
  } else {
    limit_ = 0;
  }
}

bool LogReader::FollowToEof(uint64_t pos, EofRecord* eof) {
  uint8_t probe[kEofRecordSize];
  for (uint64_t walked = 0; walked < span_;) {
    uint32_t number = 0;
    const uint32_t size = IntactRecordAt(pos, &number);
    if (size == 0) {
      const uint8_t* bytes = View(pos, probe, kEofRecordSize);
      return bytes != nullptr && ParseEofRecord(bytes, kEofRecordSize, eof);
    }
    pos = Advance(pos, size);
    walked += size;
  }
  return false;
}

bool LogReader::Next(Record* out, RecordParts parts) {
  if (source_ == nullptr) return false;
  if (!started_) FindStart();
  while (walked_ < limit_) {
    const uint32_t size = IntactRecordAt(pos_);
    if (size != 0 && DecodeRecord(record_at_, size, out, parts)) {
      pos_ = Advance(pos_, size);
      walked_ += size;
      if (any_given_ && out->number <= last_number_) {
        ++stats_.stale;
        continue;
      }
      any_given_ = true;
      last_number_ = out->number;
      ++stats_.records;
      return true;
    }
    pos_ = Advance(pos_, 4);
    walked_ += 4;
    ++stats_.damaged_steps;
  }
  return false;
}

}  // namespace evt
