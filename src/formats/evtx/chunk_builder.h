// Fills one 64 KiB chunk for the writer: bounded appends, back-patching of
// size fields, names and template definitions shared within the chunk, and
// the header with both checksums. A record that overflows the chunk is undone
// with Save/Restore and written again into the next chunk.
// Entry point: ChunkBuilder.
#ifndef QRV_FORMATS_EVTX_CHUNK_BUILDER_H_
#define QRV_FORMATS_EVTX_CHUNK_BUILDER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/evtx/bytes.h"

namespace evtx {

class ChunkBuilder {
 public:
  ChunkBuilder();

  void Reset();
  uint32_t pos() const { return pos_; }
  bool overflow() const { return overflow_; }
  bool empty() const { return record_count_ == 0; }
  const uint8_t* data() const { return buf_.data(); }

  // Appends; past the chunk's end nothing is written and overflow() is set.
  // The fixed-size appends are inline: a record takes dozens of them.
  void Put8(uint8_t v) {
    if (uint8_t* at = Reserve(1)) *at = v;
  }
  void Put16(uint16_t v) {
    if (uint8_t* at = Reserve(2)) StoreU16(at, v);
  }
  void Put32(uint32_t v) {
    if (uint8_t* at = Reserve(4)) StoreU32(at, v);
  }
  void Put64(uint64_t v) {
    if (uint8_t* at = Reserve(8)) StoreU64(at, v);
  }
  void PutBytes(const uint8_t* p, size_t n);
  void Patch16(uint32_t at, uint16_t v);
  void Patch32(uint32_t at, uint32_t v);

  // Writes a name reference (u32 chunk offset), defining the name inline the
  // first time the chunk uses it.
  void PutName(std::string_view utf8);
  // Chunk offset of a template definition already written under `key`, or 0.
  uint32_t FindTemplate(const std::string& key) const;
  void AddTemplate(const std::string& key, uint32_t offset, uint32_t id);

  struct Mark {
    uint32_t pos;
    size_t names;
    size_t templates;
  };
  Mark Save() const { return {pos_, name_log_.size(), template_log_.size()}; }
  void Restore(const Mark& mark);

  void NoteRecord(uint64_t record_id, uint32_t offset);
  // Fills the header, string and template tables and checksums; the
  // record data's checksum is left 0 when `data_checksum` is false.
  void Finalize(bool data_checksum = true);

 private:
  // Where the next `n` bytes go, advancing past them; null on overflow.
  uint8_t* Reserve(size_t n) {
    if (overflow_ || n > buf_.size() - pos_) {
      overflow_ = true;
      return nullptr;
    }
    uint8_t* at = buf_.data() + pos_;
    pos_ += static_cast<uint32_t>(n);
    return at;
  }

  std::vector<uint8_t> buf_;
  uint32_t pos_ = 0;
  bool overflow_ = false;
  std::unordered_map<std::string, uint32_t> names_;
  std::vector<std::pair<std::string, uint32_t>> name_log_;  // name, offset
  std::unordered_map<std::string, uint32_t> templates_;
  std::vector<std::pair<std::string, uint32_t>> template_log_;  // key, offset
  std::vector<uint32_t> template_ids_;
  uint32_t record_count_ = 0;
  uint64_t first_record_ = 0;
  uint64_t last_record_ = 0;
  uint32_t last_record_offset_ = 0;
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_CHUNK_BUILDER_H_
