// The events of one query, read ahead of the caller: a worker thread decodes
// and selects the records (EventQuery), builds each selected event's message
// request from its chunk snapshot and hands it to a formatter that may format
// its message, so that the caller's EvtNext, EvtRender and EvtFormatMessage
// become look-ups while the second core does the decoding. The order is
// EventQuery's own: nothing is reordered.
//
// Work ahead is bounded (kMaxEventsAhead events from at most
// kMaxChunksAhead chunks holding at most kMaxTextBytesAhead of message
// texts, inserts and legacy records, twice over: the worker's queue and the
// caller's batch taken from it), so memory stays flat whatever the log's
// size.
// With a thread, the worker's chunks are read ahead on one more
// (read_ahead.h). Without a thread (`threaded` false, as on a single core
// or for a small query) the same preparation runs on the caller's thread,
// one event per Next, and each chunk is read when it is reached.
//
// Thread-safety: the worker owns the EventQuery, the record reader and the
// scratch tree, and calls the formatter; it never touches the caller's
// handle table. The formatter is responsible for any state it shares with
// the caller (the offline service serialises its message catalogue).
// Entry point: QueryWorker.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_QUERY_WORKER_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_QUERY_WORKER_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/offline/messages/message_provider.h"
#include "platform/offline/messages/publisher_metadata.h"
#include "platform/offline/service/captured_event.h"
#include "platform/offline/service/event_query.h"
#include "platform/offline/service/read_ahead.h"

namespace qrv::offline {

struct PreparedEvent {
  CapturedEvent event;
  // Handed over when the formatter knows the event's provider but left the
  // message to the caller; nullopt otherwise (a message formatted ahead
  // needs no request, and one asked for again builds it anew).
  std::optional<EventMessageRequest> request;
  std::optional<FormattedEventMessage> message;
};
// Events travel by pointer: from the worker to the caller's handle and back
// to the worker, which fills them again (ReturnedEvents).
using PreparedEventPtr = std::unique_ptr<PreparedEvent>;

// What the worker formats messages with; called on the worker thread.
class MessageFormatter {
 public:
  virtual ~MessageFormatter() = default;
  // False when no message can come for events of `provider` (UTF-8): their
  // records are not decoded again for inserts, and no request is built.
  virtual bool HasProvider(const std::string& provider) = 0;
  // The message formatted ahead, or nullopt to leave it to the caller.
  virtual std::optional<FormattedEventMessage> Format(
      const EventMessageRequest& request) = 0;
};

// Events queued ahead of the caller, and the chunks they may keep alive
// (32 chunk snapshots are 2 MiB). The cost of a chunk varies on both sides
// (a provider's first message, a run of events without one), and a queue
// of 4 chunks left the caller waiting for an eighth of a large run and the
// worker for a fifth; at 32 the caller waits for about 3 % of it.
inline constexpr size_t kMaxEventsAhead = 2048;
inline constexpr size_t kMaxChunksAhead = 32;
// A message may expand to a few MiB (see message_provider.h); typical ones
// are under 2 KiB, so this bound only bites on hostile or odd logs.
inline constexpr size_t kMaxTextBytesAhead = 8 << 20;
// Events the worker queues before it wakes a caller that waits for them
// (fewer when the queue is full or the query has ended). Each wake costs
// both threads a system call and a switch, so the caller takes events in
// batches and the worker runs on while the caller renders them.
inline constexpr size_t kEventsPerWake = 64;

// A query reads ahead on a thread only when its logs hold about this many
// records or more (EventQuery::approximate_work). The thread's start, its
// allocator's first pages and the caller's waits for the first batch cost
// a fixed few tenths of a millisecond, which sharing the work per event
// pays back only over some thousands of events: a Select * over .evtx
// logs of about 1,000 records was 0.3 ms slower with it, over 5,065
// records 0.2 ms faster. The count, not the size, decides: a 3 MiB log of
// 1,000 records was slower with the thread too. A legacy record captured
// without a chunk leaves the worker much less to do, so it counts as half:
// over the XP System log (6,063 records) one thread was as fast as two or
// faster, for a quarter less CPU time; from about 10,000 such records on
// two were as fast or faster (13 % at 40,000).
// Set when building (QRV_QUERY_THREAD_FROM_RECORDS, 4096 by default); the
// sanitizer builds set 0, so that every query of their tests starts one.
extern const uint64_t kThreadFromRecords;

// Events the caller is done with, sent back to the worker, which fills
// them again: their strings keep their capacity, and the blocks the worker
// allocated are neither freed on the caller's thread (which sent each back
// under the worker's arena lock) nor allocated anew. Bounded: a full bin, or
// one whose worker has finished, frees the event where it is dropped.
// Thread-safe.
class ReturnedEvents {
 public:
  // Keeps `event` for the worker, unless the bin is full or closed.
  void Give(PreparedEventPtr event);
  // Moves what was given to `spares` (the worker's own list, kept to
  // kMaxReturnedEvents), each emptied of what it kept alive (its chunk, its
  // record, its message); frees the rest on the calling thread.
  void Reclaim(std::vector<PreparedEventPtr>* spares);
  // Frees what was given and refuses more.
  void Close();

 private:
  std::mutex lock_;
  std::vector<PreparedEventPtr> events_;
  std::vector<PreparedEventPtr> spare_;  // empty, with the last batch's buffer
  bool closed_ = false;
};
inline constexpr size_t kMaxReturnedEvents = 4 * kMaxEventsAhead;
// A returned event keeps its legacy record's buffer up to this capacity
// (XP records are a few hundred bytes), so spares hold at most
// kMaxReturnedEvents times this.
inline constexpr size_t kMaxKeptRecordBytes = 1024;

class QueryWorker {
 public:
  // A null `formatter` prepares no message requests (a service without a
  // message catalogue cannot format); it must outlive the worker.
  QueryWorker(std::unique_ptr<EventQuery> query, MessageFormatter* formatter,
              bool threaded);
  // Stops the worker and waits for it.
  ~QueryWorker();
  QueryWorker(const QueryWorker&) = delete;
  QueryWorker& operator=(const QueryWorker&) = delete;

  // The next event, in the query's order, replacing *out (filled again when
  // it is there and the worker has no thread); false when there is none
  // left or after Stop.
  bool Next(PreparedEventPtr* out);
  // Stops reading ahead within a chunk's work; later Next calls return false.
  void Stop();
  // Where the caller sends the events it has done with, to be filled
  // again.
  const std::shared_ptr<ReturnedEvents>& returns() const { return returns_; }

 private:
  bool Produce(PreparedEvent* out);
  void Run();
  // Under lock_: the worker may queue one more event.
  bool HasRoom() const;
  // Under lock_: a waiting caller should take the queue now.
  bool CallerMayTake() const;

  std::unique_ptr<EventQuery> query_;
  MessageFormatter* formatter_;
  CapturedRecordReader records_;  // the worker's, for message inserts
  EventMessageRequest request_;   // scratch: its strings keep their capacity
  std::u16string last_provider_;
  bool last_provider_known_ = false;

  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<PreparedEventPtr> queue_;  // filled by the worker
  size_t queued_chunks_ = 0;         // runs of one chunk in queue_
  size_t queued_text_bytes_ = 0;     // message texts and inserts in queue_
  bool finished_ = false;            // the worker has produced its last
  // Set under lock_; the worker reads it without the lock to wake the
  // caller only when it waits.
  std::atomic<bool> caller_waiting_{false};
  bool worker_waiting_ = false;  // for room in queue_
  std::deque<PreparedEventPtr> taken_;  // the caller's batch
  std::vector<PreparedEventPtr> spares_;  // the worker's, to fill again
  std::shared_ptr<ReturnedEvents> returns_ = std::make_shared<ReturnedEvents>();
  std::unique_ptr<ReadAhead> read_ahead_;    // with a thread only
  std::thread thread_;               // last: started once the rest exists
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_QUERY_WORKER_H_
