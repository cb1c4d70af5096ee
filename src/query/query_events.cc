// QueryEvents: opens a QueryList query oldest first, fetches its events in
// batches of kEventBatchSize handles and renders each into the event list.
#include "query/query_events.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "query/event_values.h"

namespace qrv {

namespace {

constexpr uint32_t kQueryFlags =
    kEvtQueryChannelPath | kEvtQueryForwardDirection;

// The handles of one batch. Each is taken out in order and closed by its
// taker; whatever has not been taken when the batch is refilled or goes out
// of scope (a rendering failure, an exception) is closed here, so every event
// handle is closed exactly once. The array is fixed: nothing is allocated per
// batch.
class EventBatch {
 public:
  EventBatch() = default;
  EventBatch(const EventBatch&) = delete;
  EventBatch& operator=(const EventBatch&) = delete;
  ~EventBatch() { CloseRest(); }

  void Clear() {
    CloseRest();
    count_ = 0;
    next_ = 0;
  }
  uint32_t Count() const { return count_; }
  // Where the next EvtNext call puts its handles, and how many fit there.
  EvtHandle* FreeSlots() { return handles_ + count_; }
  uint32_t Room() const { return kEventBatchSize - count_; }
  // After EvtNext succeeded with `returned` handles in the free slots.
  void Added(uint32_t returned) {
    // A service never returns more than asked for; should one, the extra
    // handles are not in the array and cannot be closed from here.
    count_ += std::min(returned, Room());
  }
  bool Done() const { return next_ >= count_; }
  EvtHandleOwner Take() {
    return EvtHandleOwner(std::exchange(handles_[next_++], nullptr));
  }

 private:
  void CloseRest() {
    while (!Done()) Take();
  }

  EvtHandle handles_[kEventBatchSize] = {};
  uint32_t count_ = 0;
  uint32_t next_ = 0;
};

// The result set of one query and how many event handles it has given: the
// position the service reads from, which the workarounds below seek back to.
class ResultSet {
 public:
  explicit ResultSet(std::u16string query) : query_(std::move(query)) {}

  // False with the service's code for GetLastError.
  bool Open() {
    handle_.Reset(EvtQuery(nullptr, nullptr, query_.c_str(), kQueryFlags));
    return static_cast<bool>(handle_);
  }
  EvtHandle Get() const { return handle_.Get(); }
  void Received(uint32_t returned) { received_ += returned; }
  // Moves the read position back to the first event not yet received.
  bool SeekToUnreceived() {
    // EvtSeek's timeout is reserved and must be 0.
    return EvtSeek(handle_.Get(), static_cast<int64_t>(received_), nullptr, 0,
                   kEvtSeekRelativeToFirst);
  }
  // Once per query: the stale result set is closed, the query made again
  // and read from the first event not yet received.
  bool Reopen() {
    if (reopened_) return false;
    reopened_ = true;
    handle_.Reset();
    if (!Open()) return false;
    return received_ == 0 || SeekToUnreceived();
  }

 private:
  std::u16string query_;
  EvtHandleOwner handle_;
  uint64_t received_ = 0;
  bool reopened_ = false;
};

// Refills `batch` with the next events: normally one EvtNext call for
// kEventBatchSize handles, the batch being what it returns. Two failures of
// the real service do not mean the query is over, and are worked around:
// - RPC_S_INVALID_BOUND: the events asked for are too large for one answer,
//   and the service has moved past them all the same. The result set is
//   sought back to the first of them, `chunk` is halved (down to 1) for the
//   rest of the query, and the batch is completed with calls of that size
//   up to kEventBatchSize handles or the end, so the cap is still tested
//   after the same events. A result set that cannot seek (the service seeks
//   only in Admin and Operational channels and log files) ends the query
//   with the code: a visible failure rather than a silent gap.
// - ERROR_EVT_QUERY_RESULT_STALE: the log was cleared or wrapped; the query
//   is made again once (ResultSet::Reopen).
// Returns kErrorSuccess, kErrorNoMoreItems (the batch may still hold the
// last events) or the code that ended the query.
uint32_t FetchBatch(ResultSet& result_set, EventBatch& batch,
                    uint32_t& chunk) {
  batch.Clear();
  for (;;) {
    uint32_t returned = 0;
    if (EvtNext(result_set.Get(), std::min(chunk, batch.Room()),
                batch.FreeSlots(), kEvtInfiniteTimeout, 0, &returned)) {
      result_set.Received(returned);
      batch.Added(returned);
      if (chunk == kEventBatchSize || batch.Room() == 0 || returned == 0) {
        return kErrorSuccess;
      }
      continue;
    }
    const uint32_t error = GetLastError();
    if (error == kRpcSInvalidBound && chunk > 1) {
      if (!result_set.SeekToUnreceived()) return kRpcSInvalidBound;
      chunk /= 2;
      continue;
    }
    if (error == kErrorEvtQueryResultStale) {
      if (!result_set.Reopen()) return kErrorEvtQueryResultStale;
      continue;
    }
    return error;
  }
}

}  // namespace

bool QueryEvents(EventList& events, const std::string& query,
                 uint32_t& error_code, bool capped) {
  if (Trim(query).empty()) return false;
  // The text goes to the service as passed, surrounding blanks included.
  ResultSet result_set(ToWide(query));
  if (!result_set.Open()) {
    error_code = GetLastError();
    return false;
  }
  EventBatch batch;
  uint32_t chunk = kEventBatchSize;
  for (;;) {
    const uint32_t fetched = FetchBatch(result_set, batch, chunk);
    if (fetched != kErrorSuccess && fetched != kErrorNoMoreItems) {
      error_code = fetched;
      return false;
    }
    if (fetched == kErrorNoMoreItems && batch.Count() == 0) return true;
    while (!batch.Done()) {
      EvtHandleOwner event = batch.Take();
      const uint32_t result = RenderEvent(events, event.Get());
      // ERROR_FILE_NOT_FOUND from rendering skips the event.
      if (result != kErrorSuccess && result != kErrorFileNotFound) {
        error_code = result;
        return false;
      }
    }
    // The cap is looked at only between batches, so a capped query ends with
    // up to one batch more than kEventCap records.
    if (capped && events.GetCount() >= kEventCap) {
      EvtCancel(result_set.Get());
      return true;
    }
    if (fetched == kErrorNoMoreItems) return true;
  }
}

}  // namespace qrv
