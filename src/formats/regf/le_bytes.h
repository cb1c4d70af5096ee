// Little-endian loads and stores on byte spans, shared by the hive reader and
// writer. Loads return 0 when the field does not fit, so a short record reads
// as zeros instead of past its end; callers still check sizes first where a
// zero would be taken for a real value.
//
// Entry points: LoadU16, LoadU32, LoadU64, StoreU16, StoreU32, StoreU64.
#ifndef QRV_FORMATS_REGF_LE_BYTES_H_
#define QRV_FORMATS_REGF_LE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace regf {

inline uint16_t LoadU16(std::span<const uint8_t> b, size_t off) {
  if (off > b.size() || b.size() - off < 2) return 0;
  return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

inline uint32_t LoadU32(std::span<const uint8_t> b, size_t off) {
  if (off > b.size() || b.size() - off < 4) return 0;
  return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
         (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

inline uint64_t LoadU64(std::span<const uint8_t> b, size_t off) {
  if (off > b.size() || b.size() - off < 8) return 0;
  return static_cast<uint64_t>(LoadU32(b, off)) | (static_cast<uint64_t>(LoadU32(b, off + 4)) << 32);
}

inline void StoreU16(std::span<uint8_t> b, size_t off, uint16_t v) {
  b[off] = static_cast<uint8_t>(v);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreU32(std::span<uint8_t> b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void StoreU64(std::span<uint8_t> b, size_t off, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace regf

#endif  // QRV_FORMATS_REGF_LE_BYTES_H_
