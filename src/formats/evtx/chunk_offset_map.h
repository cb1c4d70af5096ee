// Maps a chunk-relative offset (below 64 KiB) to a small id, with O(1)
// lookups and an O(1) reset per chunk: each slot remembers the generation
// that wrote it. Used for the chunk's names and template definitions, which
// are looked up by offset many times per chunk. Entry point: ChunkOffsetMap.
#ifndef QRV_FORMATS_EVTX_CHUNK_OFFSET_MAP_H_
#define QRV_FORMATS_EVTX_CHUNK_OFFSET_MAP_H_

#include <algorithm>
#include <cstdint>
#include <vector>

namespace evtx {

class ChunkOffsetMap {
 public:
  // Offsets this map can hold: one 64 KiB chunk.
  static constexpr uint32_t kSlots = 65536;

  void Reset() {
    if (generation_of_.empty()) {
      generation_of_.assign(kSlots, 0);
      id_.assign(kSlots, 0);
    }
    if (++generation_ == 0) {  // wrapped after 4 billion chunks
      std::fill(generation_of_.begin(), generation_of_.end(), 0);
      generation_ = 1;
    }
  }
  bool Find(uint32_t offset, uint32_t* id) const {
    if (offset >= kSlots || generation_of_.empty() ||
        generation_of_[offset] != generation_) {
      return false;
    }
    *id = id_[offset];
    return true;
  }
  void Insert(uint32_t offset, uint32_t id) {
    if (offset >= kSlots || generation_of_.empty()) return;
    generation_of_[offset] = generation_;
    id_[offset] = id;
  }

 private:
  std::vector<uint32_t> generation_of_;
  std::vector<uint32_t> id_;
  uint32_t generation_ = 0;
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_CHUNK_OFFSET_MAP_H_
