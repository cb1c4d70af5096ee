// Chunks read on a thread of their own, ahead of the worker that decodes
// them. A positioned read of 64 KiB is a quarter of the worker's time on a
// selective query, which decodes the System part of every record and keeps
// few; read here, it overlaps the decoding of the chunks before.
//
// A stream posts reads of its next chunks when it starts on one, and
// finishes each when it gets there: taking what the reader has read,
// waiting while it reads, or reading the chunk itself if the reader has not
// begun (so a reader that falls behind never holds the worker up longer
// than a read of its own would). At most kMaxChunksReadAhead reads are
// posted and not yet finished, whatever the number of streams, so memory
// stays flat. Thread-safe. Entry point: ReadAhead.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_READ_AHEAD_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_READ_AHEAD_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "formats/evtx/file_reader.h"
#include "platform/offline/service/chunk_pool.h"
#include "platform/offline/service/evtx_source.h"

namespace qrv::offline {

// Reads in flight. One chunk ahead was too few: the reader thread, woken
// for each, often had not begun when the worker got there.
inline constexpr size_t kMaxChunksReadAhead = 4;

// One posted read: the chunk `info` of `source`'s file into `snapshot`.
struct ChunkRead {
  std::shared_ptr<const EvtxSource> source;
  evtx::ChunkInfo info;
  std::shared_ptr<ChunkSnapshot> snapshot;

 private:
  friend class ReadAhead;
  enum class State { kPosted, kReading, kDone } state = State::kPosted;
};

class ReadAhead {
 public:
  // The reader thread starts with the first read posted.
  ReadAhead();
  // Stops the reader and waits for it; reads not begun are dropped.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Queues the read of `info` into a buffer from `pool` for the reader
  // thread; null when kMaxChunksReadAhead reads are in flight.
  std::shared_ptr<ChunkRead> Post(std::shared_ptr<const EvtxSource> source,
                                  const evtx::ChunkInfo& info,
                                  ChunkPool& pool);
  // Returns once `read` is done: read by the reader, or here if the reader
  // has not begun it. The snapshot then holds the chunk. Each posted read
  // is finished once.
  void Finish(ChunkRead& read);

 private:
  void Run();
  // Reads outside the lock; `hold` is locked on entry and on return.
  void Read(ChunkRead& read, std::unique_lock<std::mutex>& hold);

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<ChunkRead>> posted_;
  size_t in_flight_ = 0;  // posted and not yet finished
  bool stop_ = false;
  std::thread thread_;  // set under lock_ by the first Post
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_READ_AHEAD_H_
