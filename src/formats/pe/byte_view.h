// Bounds-checked little-endian reads over a byte range, shared by the PE,
// message table, MUI and manifest readers. Every read reports failure instead
// of touching bytes outside the range, so callers never index raw pointers.
//
// Entry points: Bytes (a std::span of const bytes), ByteView.
#ifndef QRV_FORMATS_PE_BYTE_VIEW_H_
#define QRV_FORMATS_PE_BYTE_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace pe {

using Bytes = std::span<const uint8_t>;

class ByteView {
 public:
  ByteView() = default;
  explicit ByteView(Bytes bytes) : bytes_(bytes) {}
  ByteView(const uint8_t* data, size_t size) : bytes_(data, size) {}

  size_t size() const { return bytes_.size(); }
  Bytes bytes() const { return bytes_; }

  // True when [offset, offset + length) lies inside the range; written so
  // that offset + length cannot overflow.
  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }

  bool U8(uint64_t offset, uint8_t* out) const {
    if (!Has(offset, 1)) return false;
    *out = bytes_[offset];
    return true;
  }
  bool U16(uint64_t offset, uint16_t* out) const {
    if (!Has(offset, 2)) return false;
    *out = static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    return true;
  }
  bool U32(uint64_t offset, uint32_t* out) const {
    if (!Has(offset, 4)) return false;
    *out = static_cast<uint32_t>(bytes_[offset]) |
           (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes_[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
    return true;
  }
  bool U64(uint64_t offset, uint64_t* out) const {
    uint32_t low = 0;
    uint32_t high = 0;
    if (!U32(offset, &low) || !U32(offset + 4, &high)) return false;
    *out = (static_cast<uint64_t>(high) << 32) | low;
    return true;
  }

  // The sub-range [offset, offset + length), or an empty view when it does
  // not fit (callers check Has() first when empty is a valid answer).
  ByteView Sub(uint64_t offset, uint64_t length) const {
    if (!Has(offset, length)) return ByteView();
    return ByteView(bytes_.subspan(offset, length));
  }
  // From offset to the end; empty when offset is past the end.
  ByteView From(uint64_t offset) const {
    if (offset > bytes_.size()) return ByteView();
    return ByteView(bytes_.subspan(offset));
  }

 private:
  Bytes bytes_;
};

}  // namespace pe

#endif  // QRV_FORMATS_PE_BYTE_VIEW_H_
