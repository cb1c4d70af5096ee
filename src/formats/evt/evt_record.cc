// Decoding of the legacy log's header, records and end-of-file record; see
// evt_record.h.
#include "formats/evt/evt_record.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace evt {

namespace {

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Where the code unit U+0000 starts, counting whole units from `at`; else
// the last unit boundary at or before `end`. Eight units a step where SSE2
// is there: a record's strings are most of its bytes.
uint32_t FindTerminator(const uint8_t* bytes, uint32_t at, uint32_t end) {
  uint32_t stop = at;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (end - stop >= 16) {
    const __m128i units =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + stop));
    // Two mask bits per unit: the lowest set bit is the unit's first byte.
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, zero));
    if (mask != 0)
      return stop + static_cast<uint32_t>(std::countr_zero(static_cast<unsigned>(mask)));
    stop += 16;
  }
#endif
  while (stop + 2 <= end && (bytes[stop] | bytes[stop + 1]) != 0) stop += 2;
  return stop;
}

// The NUL-terminated UTF-16 string at [at, end), cut at `end` when it has no
// terminator; *next is past the terminator (or `end`). False when cut.
bool ReadString(const uint8_t* bytes, uint32_t at, uint32_t end,
                std::u16string* out, uint32_t* next) {
  const uint32_t stop = at <= end ? FindTerminator(bytes, at, end) : at;
  out->resize((stop - at) / 2);
  if constexpr (std::endian::native == std::endian::little) {
    if (!out->empty()) std::memcpy(out->data(), bytes + at, stop - at);
  } else {
    for (char16_t& unit : *out) {
      unit = U16(bytes + at);
      at += 2;
    }
  }
  if (stop + 2 <= end) {
    *next = stop + 2;
    return true;
  }
  *next = end;
  return false;
}

}  // namespace

bool ParseFileHeader(const uint8_t* bytes, size_t size, FileHeader* out) {
  if (size < kFileHeaderSize) return false;
  if (U32(bytes) != kFileHeaderSize || U32(bytes + 4) != kSignature ||
      U32(bytes + 8) != 1 || U32(bytes + 12) != 1 ||
      U32(bytes + 44) != kFileHeaderSize)
    return false;
  out->first_offset = U32(bytes + 16);
  out->eof_offset = U32(bytes + 20);
  out->last_number = U32(bytes + 24);
  out->first_number = U32(bytes + 28);
  out->max_size = U32(bytes + 32);
  out->flags = U32(bytes + 36);
  out->retention = U32(bytes + 40);
  return true;
}

bool ParseEofRecord(const uint8_t* bytes, size_t size, EofRecord* out) {
  if (size < kEofRecordSize) return false;
  if (U32(bytes) != kEofRecordSize || U32(bytes + 4) != 0x11111111 ||
      U32(bytes + 8) != 0x22222222 || U32(bytes + 12) != 0x33333333 ||
      U32(bytes + 16) != 0x44444444 || U32(bytes + 36) != kEofRecordSize)
    return false;
  out->first_offset = U32(bytes + 20);
  out->eof_offset = U32(bytes + 24);
  out->last_number = U32(bytes + 28);
  out->first_number = U32(bytes + 32);
  return true;
}

uint32_t ProbeRecordHead(const uint8_t* head, uint32_t limit) {
  const uint32_t size = U32(head);
  if (U32(head + 4) != kSignature || size < kMinRecordSize || size > limit ||
      size > kMaxRecordSize || size % 4 != 0)
    return 0;
  return size;
}

bool DecodeRecord(const uint8_t* bytes, uint32_t size, Record* out, RecordParts parts) {
  if (size < kMinRecordSize || U32(bytes) != size ||
      U32(bytes + 4) != kSignature || U32(bytes + size - 4) != size)
    return false;
  // Everything the record holds lies before its trailing size copy.
  const uint32_t end = size - 4;
  out->number = U32(bytes + 8);
  out->time_generated = U32(bytes + 12);
  out->time_written = U32(bytes + 16);
  out->event_id = U32(bytes + 20);
  out->event_type = U16(bytes + 24);
  const uint16_t string_count = U16(bytes + 26);
  out->category = U16(bytes + 28);
  out->reserved_flags = U16(bytes + 30);
  out->closing_number = U32(bytes + 32);
  const uint32_t strings_offset = U32(bytes + 36);
  const uint32_t sid_size = U32(bytes + 40);
  const uint32_t sid_offset = U32(bytes + 44);
  const uint32_t data_size = U32(bytes + 48);
  const uint32_t data_offset = U32(bytes + 52);

  uint32_t next = 56;
  ReadString(bytes, next, end, &out->source, &next);
  ReadString(bytes, next, end, &out->computer, &next);

  out->sid.clear();
  if (sid_size != 0 && sid_offset >= 56 && sid_offset <= end &&
      sid_size <= end - sid_offset)
    out->sid.assign(bytes + sid_offset, bytes + sid_offset + sid_size);

  out->data.clear();
  out->strings_cut = false;
  if (parts == RecordParts::kNames) {
    out->strings.clear();
    return true;
  }
  if (data_size != 0 && data_offset >= 56 && data_offset <= end &&
      data_size <= end - data_offset)
    out->data.assign(bytes + data_offset, bytes + data_offset + data_size);

  // Strings run to the data when it follows them, else to the record's end.
  uint32_t strings_end = end;
  if (data_size != 0 && data_offset > strings_offset && data_offset <= end)
    strings_end = data_offset;
  size_t read = 0;
  if (string_count != 0 && strings_offset >= 56 && strings_offset % 2 == 0) {
    uint32_t at = strings_offset;
    while (read < string_count && at < strings_end) {
      // Kept strings are reused from record to record.
      if (read == out->strings.size()) out->strings.emplace_back();
      const bool whole =
          ReadString(bytes, at, strings_end, &out->strings[read], &at);
      ++read;
      if (!whole) break;
    }
  }
  out->strings.resize(read);
  out->strings_cut = read < string_count;
  return true;
}

}  // namespace evt
