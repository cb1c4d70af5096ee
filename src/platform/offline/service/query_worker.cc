// Reading a query's events ahead on a worker thread; see query_worker.h.
#include "platform/offline/service/query_worker.h"

#include <cstring>
#include <utility>

#include "platform/offline/service/message_request.h"
#include "formats/utf16.h"

#ifndef QRV_QUERY_THREAD_FROM_RECORDS
#define QRV_QUERY_THREAD_FROM_RECORDS 4096
#endif

namespace qrv::offline {

const uint64_t kThreadFromRecords = QRV_QUERY_THREAD_FROM_RECORDS;

namespace {

// Equality by size and bytes: char16_t strings compare unit by unit.
bool SameUnits(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

size_t TextBytes(const PreparedEvent& event) {
  // A legacy record (up to 1 MiB) is held by its event, not by a chunk the
  // chunk bound counts.
  size_t bytes = event.event.legacy_record.size();
  if (event.message) bytes += event.message->text.size() * sizeof(char16_t);
  if (event.request) {
    for (const std::string& insert : event.request->inserts)
      bytes += insert.size();
  }
  return bytes;
}

}  // namespace

void ReturnedEvents::Give(PreparedEventPtr event) {
  std::lock_guard<std::mutex> hold(lock_);
  if (closed_ || events_.size() >= kMaxReturnedEvents) return;
  events_.push_back(std::move(event));
}

void ReturnedEvents::Reclaim(std::vector<PreparedEventPtr>* spares) {
  std::vector<PreparedEventPtr> events;
  {
    std::lock_guard<std::mutex> hold(lock_);
    events.swap(events_);
    // The bin keeps a grown buffer: regrown from nothing after each batch,
    // it moved every event a few times over on the caller's thread.
    events_.swap(spare_);
  }
  for (PreparedEventPtr& event : events) {
    if (spares->size() >= kMaxReturnedEvents) break;
    // A spare keeps nothing alive: chunks go back to their pool now.
    event->event.chunk.reset();
    // A legacy record's buffer is kept for the next record, unless large.
    if (event->event.legacy_record.capacity() > kMaxKeptRecordBytes)
      std::vector<uint8_t>().swap(event->event.legacy_record);
    else
      event->event.legacy_record.clear();
    event->event.data_items.reset();
    event->request.reset();
    event->message.reset();
    spares->push_back(std::move(event));
  }
  events.clear();  // outside the lock; the buffer stays
  std::lock_guard<std::mutex> hold(lock_);
  if (!closed_) spare_.swap(events);
}

void ReturnedEvents::Close() {
  std::vector<PreparedEventPtr> events;
  std::vector<PreparedEventPtr> spare;
  std::lock_guard<std::mutex> hold(lock_);
  closed_ = true;
  events.swap(events_);
  spare.swap(spare_);
}

QueryWorker::QueryWorker(std::unique_ptr<EventQuery> query,
                         MessageFormatter* formatter, bool threaded)
    : query_(std::move(query)), formatter_(formatter) {
  query_->set_stop_flag(&stop_);
  if (threaded) {
    read_ahead_ = std::make_unique<ReadAhead>();
    query_->set_read_ahead(read_ahead_.get());
    thread_ = std::thread([this] { Run(); });
  }
}

QueryWorker::~QueryWorker() {
  Stop();
  if (thread_.joinable()) thread_.join();
  returns_->Close();
}

void QueryWorker::Stop() {
  stop_.store(true, std::memory_order_relaxed);
  std::lock_guard<std::mutex> hold(lock_);
  changed_.notify_all();
}

bool QueryWorker::Produce(PreparedEvent* out) {
  if (stop_.load(std::memory_order_relaxed) || !query_->Next(&out->event))
    return false;
  out->request.reset();
  out->message.reset();
  if (formatter_ == nullptr) return true;
  // Most events of a log share a few providers: the answer for the last
  // one is kept.
  if (!SameUnits(out->event.provider_name, last_provider_)) {
    last_provider_ = out->event.provider_name;
    last_provider_known_ = formatter_->HasProvider(text::Utf16ToUtf8(last_provider_));
  }
  if (last_provider_known_) {
    FillMessageRequest(out->event, records_, &request_);
    // Formatted here even while the caller waits for the batch: the caller
    // has the most to do per event (rendering, converting, keeping and
    // printing the text), so what it leaves to this thread shortens the run.
    out->message = formatter_->Format(request_);
    if (!out->message) out->request = request_;
  }
  // Items captured with the event served the request; the caller reads
  // them again in the rare case it asks.
  out->event.data_items.reset();
  return true;
}

bool QueryWorker::HasRoom() const {
  return queue_.empty() || (queue_.size() < kMaxEventsAhead &&
                            queued_chunks_ < kMaxChunksAhead &&
                            queued_text_bytes_ < kMaxTextBytesAhead);
}

bool QueryWorker::CallerMayTake() const {
  return queue_.size() >= kEventsPerWake || !HasRoom() || finished_ ||
         stop_.load(std::memory_order_relaxed);
}

void QueryWorker::Run() {
  for (size_t produced = 0;; ++produced) {
    if (produced % kEventsPerWake == 0) returns_->Reclaim(&spares_);
    PreparedEventPtr event;
    if (spares_.empty()) {
      event = std::make_unique<PreparedEvent>();
    } else {
      event = std::move(spares_.back());
      spares_.pop_back();
    }
    const bool more = Produce(event.get());
    std::unique_lock<std::mutex> hold(lock_);
    if (!more) {
      finished_ = true;
      hold.unlock();
      changed_.notify_all();
      returns_->Close();
      spares_.clear();  // freed on the thread that made them
      return;
    }
    if (!HasRoom() && !stop_.load(std::memory_order_relaxed)) {
      worker_waiting_ = true;
      changed_.wait(hold, [this] {
        return stop_.load(std::memory_order_relaxed) || HasRoom();
      });
      worker_waiting_ = false;
    }
    if (stop_.load(std::memory_order_relaxed)) {
      finished_ = true;
      hold.unlock();
      changed_.notify_all();
      returns_->Close();
      spares_.clear();  // freed on the thread that made them
      return;
    }
    if (queue_.empty() || queue_.back()->event.chunk != event->event.chunk)
      ++queued_chunks_;
    queued_text_bytes_ += TextBytes(*event);
    queue_.push_back(std::move(event));
    // The caller is woken only when it waits and a batch is ready: most
    // pushes cost no call, and the caller takes events by the dozen. It is
    // woken once the lock is free, or it would wake only to wait for the
    // lock, and be woken again.
    const bool wake =
        caller_waiting_.load(std::memory_order_relaxed) && CallerMayTake();
    hold.unlock();
    if (wake) changed_.notify_all();
  }
}

bool QueryWorker::Next(PreparedEventPtr* out) {
  if (!thread_.joinable()) {
    if (!*out) {
      // The events the caller has closed are filled again, as on a worker:
      // their strings keep their capacity.
      if (spares_.empty()) returns_->Reclaim(&spares_);
      if (spares_.empty()) {
        *out = std::make_unique<PreparedEvent>();
      } else {
        *out = std::move(spares_.back());
        spares_.pop_back();
      }
    }
    return Produce(out->get());
  }
  if (taken_.empty()) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!CallerMayTake()) {
      caller_waiting_.store(true, std::memory_order_relaxed);
      changed_.wait(hold, [this] { return CallerMayTake(); });
      caller_waiting_.store(false, std::memory_order_relaxed);
    }
    // The whole queue at once, so the worker and the caller meet once per
    // batch rather than once per event.
    taken_.swap(queue_);
    queued_chunks_ = 0;
    queued_text_bytes_ = 0;
    const bool wake = worker_waiting_;
    hold.unlock();
    if (wake) changed_.notify_all();
  }
  if (taken_.empty() || stop_.load(std::memory_order_relaxed)) return false;
  *out = std::move(taken_.front());
  taken_.pop_front();
  return true;
}

}  // namespace qrv::offline
