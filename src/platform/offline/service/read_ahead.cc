// Chunks read ahead on a thread of their own; see read_ahead.h.
#include "platform/offline/service/read_ahead.h"

#include <utility>

namespace qrv::offline {

ReadAhead::ReadAhead() = default;

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<ChunkRead> ReadAhead::Post(
    std::shared_ptr<const EvtxSource> source, const evtx::ChunkInfo& info,
    ChunkPool& pool) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (in_flight_ >= kMaxChunksReadAhead) return nullptr;
    ++in_flight_;
  }
  auto read = std::make_shared<ChunkRead>();
  read->source = std::move(source);
  read->info = info;
  read->snapshot = pool.Take();
  {
    std::lock_guard<std::mutex> hold(lock_);
    posted_.push_back(read);
    // Started by the first read posted: a query of legacy logs, or one
    // that ends within its first chunk, never needs it.
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  changed_.notify_all();
  return read;
}

void ReadAhead::Read(ChunkRead& read, std::unique_lock<std::mutex>& hold) {
  read.state = ChunkRead::State::kReading;
  hold.unlock();
  read.snapshot->size =
      read.source->file().ReadChunk(read.info, read.snapshot->bytes);
  hold.lock();
  read.state = ChunkRead::State::kDone;
}

void ReadAhead::Finish(ChunkRead& read) {
  std::unique_lock<std::mutex> hold(lock_);
  --in_flight_;
  if (read.state == ChunkRead::State::kPosted) {
    // The reader skips it once it is no longer posted.
    Read(read, hold);
    return;
  }
  changed_.wait(hold, [&read] { return read.state == ChunkRead::State::kDone; });
}

void ReadAhead::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return stop_ || !posted_.empty(); });
    if (stop_) return;
    const std::shared_ptr<ChunkRead> read = std::move(posted_.front());
    posted_.pop_front();
    if (read->state != ChunkRead::State::kPosted) continue;  // taken already
    Read(*read, hold);
    changed_.notify_all();
  }
}

}  // namespace qrv::offline
