// How far the event-log service has read, for a progress display: what the
// open query reads (a channel or file name), its chunks read of all, and the
// events selected so far in the run. Record streams report once per chunk
// (two relaxed atomic additions); a display on another thread takes a
// Snapshot whenever it likes. A service given no ReadProgress reports
// nothing, at no cost. Thread-safe. Entry point: ReadProgress.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_READ_PROGRESS_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_READ_PROGRESS_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace qrv::offline {

struct ReadSnapshot {
  bool reading = false;  // a query has begun and not yet ended
  std::string what;      // what the last query begun reads
  uint64_t chunks_done = 0;   // of that query
  uint64_t chunks_total = 0;  // of that query
  uint64_t events = 0;        // selected by every query so far
};

class ReadProgress {
 public:
  // A query over `what` begins, with `chunks` chunks in all its files.
  void BeginQuery(std::string what, uint64_t chunks);
  // That query has read all it will (each BeginQuery is ended once).
  void EndQuery();
  // One more chunk of the query is read; `events` were selected since the
  // last report.
  void AddChunk(uint64_t events) {
    chunks_done_.fetch_add(1, std::memory_order_relaxed);
    AddEvents(events);
  }
  void AddEvents(uint64_t events) {
    if (events != 0) events_.fetch_add(events, std::memory_order_relaxed);
  }

  ReadSnapshot Snapshot() const;

 private:
  mutable std::mutex lock_;  // guards what_ and open_queries_
  std::string what_;
  int open_queries_ = 0;
  std::atomic<uint64_t> chunks_done_{0};
  std::atomic<uint64_t> chunks_total_{0};
  std::atomic<uint64_t> events_{0};
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_READ_PROGRESS_H_
