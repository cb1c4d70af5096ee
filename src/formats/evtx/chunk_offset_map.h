// Maps a chunk-relative offset to a small id (the chunk's names and template
// definitions, looked up by offset many times per chunk). Open addressing
// with generation stamps: lookups do not hash-chain through the heap and a
// reset per chunk is O(1). Starts at 1024 slots (real chunks hold a few
// hundred names) and doubles when half full, so growth is rare and bounded by
// the chunk's own size. Entry point: ChunkOffsetMap.
#ifndef QRV_FORMATS_EVTX_CHUNK_OFFSET_MAP_H_
#define QRV_FORMATS_EVTX_CHUNK_OFFSET_MAP_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace evtx {

class ChunkOffsetMap {
 public:
  void Reset() {
    if (slots_.empty()) slots_.assign(kInitialSlots, Slot{});
    count_ = 0;
    if (++generation_ == 0) {  // wrapped after 4 billion chunks
      slots_.assign(slots_.size(), Slot{});
      generation_ = 1;
    }
  }
  bool Find(uint32_t offset, uint32_t* id) const {
    if (slots_.empty()) return false;
    const size_t mask = slots_.size() - 1;
    for (size_t i = Hash(offset) & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.generation != generation_) return false;
      if (s.offset == offset) {
        *id = s.id;
        return true;
      }
    }
  }
  void Insert(uint32_t offset, uint32_t id) {
    if (slots_.empty()) Reset();
    if (2 * (count_ + 1) > slots_.size()) Grow();
    Place(offset, id);
    ++count_;
  }

 private:
  static constexpr size_t kInitialSlots = 1024;
  struct Slot {
    uint32_t generation = 0;
    uint32_t offset = 0;
    uint32_t id = 0;
  };
  static size_t Hash(uint32_t offset) { return (offset * 0x9E3779B1u) >> 7; }
  void Place(uint32_t offset, uint32_t id) {
    const size_t mask = slots_.size() - 1;
    size_t i = Hash(offset) & mask;
    while (slots_[i].generation == generation_) i = (i + 1) & mask;
    slots_[i] = Slot{generation_, offset, id};
  }
  void Grow() {
    std::vector<Slot> old(slots_.size() * 2, Slot{});
    old.swap(slots_);
    for (const Slot& s : old) {
      if (s.generation == generation_) Place(s.offset, s.id);
    }
  }

  std::vector<Slot> slots_;
  uint32_t generation_ = 0;
  size_t count_ = 0;
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_CHUNK_OFFSET_MAP_H_
