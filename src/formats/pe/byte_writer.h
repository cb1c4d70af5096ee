// Little-endian byte buffer for the resource and PE writers: append values,
// pad to an alignment, and patch a value written earlier once its target
// offset is known.
//
// Entry points: ByteWriter.
#ifndef QRV_FORMATS_PE_BYTE_WRITER_H_
#define QRV_FORMATS_PE_BYTE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pe {

class ByteWriter {
 public:
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t>& bytes() { return bytes_; }

  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  void U64(uint64_t v) { Put(v, 8); }
  void Append(std::span<const uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  void Zeros(size_t count) { bytes_.resize(bytes_.size() + count, 0); }
  void Align(size_t alignment) {
    while (bytes_.size() % alignment != 0) bytes_.push_back(0);
  }
  void PatchU16(size_t at, uint16_t v) { Patch(at, v, 2); }
  void PatchU32(size_t at, uint32_t v) { Patch(at, v, 4); }

 private:
  void Put(uint64_t v, int width) {
    for (int i = 0; i < width; ++i) {
      bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  }
  void Patch(size_t at, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) {
      bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
  }

  std::vector<uint8_t> bytes_;
};

}  // namespace pe

#endif  // QRV_FORMATS_PE_BYTE_WRITER_H_
