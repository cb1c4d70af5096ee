// Reused chunk buffers; see chunk_pool.h.
#include "platform/offline/service/chunk_pool.h"

namespace qrv::offline {

std::shared_ptr<ChunkPool> ChunkPool::Make() {
  return std::shared_ptr<ChunkPool>(new ChunkPool());
}

std::shared_ptr<ChunkSnapshot> ChunkPool::Take() {
  std::unique_ptr<ChunkSnapshot> buffer;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!idle_.empty()) {
      buffer = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  if (!buffer) buffer = std::make_unique<ChunkSnapshot>();
  buffer->size = 0;
  // The deleter holds the pool weakly: events may outlive their query.
  std::weak_ptr<ChunkPool> pool = weak_from_this();
  return std::shared_ptr<ChunkSnapshot>(
      buffer.release(), [pool](ChunkSnapshot* snapshot) {
        if (auto owner = pool.lock()) {
          owner->Return(snapshot);
        } else {
          delete snapshot;
        }
      });
}

void ChunkPool::Return(ChunkSnapshot* snapshot) {
  std::unique_ptr<ChunkSnapshot> owned(snapshot);
  std::lock_guard<std::mutex> hold(lock_);
  if (idle_.size() < kMaxIdleChunkBuffers) idle_.push_back(std::move(owned));
}

}  // namespace qrv::offline
