// Chunks as they were read, shared by the events that came from them: every
// later decode of an event (its XML, its message inserts) reads the very
// bytes its query selected it from, whatever has happened to the file since.
// The buffers of one query are reused: a snapshot returns to its pool when
// the last event that came from it is closed. Thread-safe, so snapshots may
// be taken on one thread and released on another.
// Entry points: ChunkSnapshot, ChunkPool.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_CHUNK_POOL_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_CHUNK_POOL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "formats/evtx/chunk_decoder.h"

namespace qrv::offline {

struct ChunkSnapshot {
  uint8_t bytes[evtx::kChunkSize];
  uint32_t size = 0;  // bytes read; less than 64 KiB for a cut-off chunk
};

// Idle buffers a pool keeps for reuse (64 KiB each); more are freed.
inline constexpr size_t kMaxIdleChunkBuffers = 8;

class ChunkPool : public std::enable_shared_from_this<ChunkPool> {
 public:
  static std::shared_ptr<ChunkPool> Make();

  // A buffer to read a chunk into: an idle one, else a new one.
  std::shared_ptr<ChunkSnapshot> Take();

 private:
  ChunkPool() = default;
  void Return(ChunkSnapshot* snapshot);

  std::mutex lock_;
  std::vector<std::unique_ptr<ChunkSnapshot>> idle_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_CHUNK_POOL_H_
