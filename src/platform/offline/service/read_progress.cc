// Counting what the service has read; see read_progress.h.
#include "platform/offline/service/read_progress.h"

#include <utility>

namespace qrv::offline {

void ReadProgress::BeginQuery(std::string what, uint64_t chunks) {
  std::lock_guard<std::mutex> hold(lock_);
  what_ = std::move(what);
  ++open_queries_;
  chunks_done_.store(0, std::memory_order_relaxed);
  chunks_total_.store(chunks, std::memory_order_relaxed);
}

void ReadProgress::EndQuery() {
  std::lock_guard<std::mutex> hold(lock_);
  if (open_queries_ > 0) --open_queries_;
}

ReadSnapshot ReadProgress::Snapshot() const {
  ReadSnapshot snapshot;
  {
    std::lock_guard<std::mutex> hold(lock_);
    snapshot.reading = open_queries_ > 0;
    snapshot.what = what_;
  }
  snapshot.chunks_done = chunks_done_.load(std::memory_order_relaxed);
  snapshot.chunks_total = chunks_total_.load(std::memory_order_relaxed);
  snapshot.events = events_.load(std::memory_order_relaxed);
  // Counted apart, the two may be seen a chunk out of step.
  if (snapshot.chunks_done > snapshot.chunks_total)
    snapshot.chunks_done = snapshot.chunks_total;
  return snapshot;
}

}  // namespace qrv::offline
