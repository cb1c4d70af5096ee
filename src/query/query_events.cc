// QueryEvents: opens a QueryList query oldest first, fetches its events in
// batches of kEventBatchSize handles and renders each into the event list.
#include "query/query_events.h"

#include <algorithm>
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

// Refills `batch` with the next events: normally one EvtNext call for
// kEventBatchSize handles, the batch being what it returns. Two failures of
// the real service do not mean the query is over, and are worked around:
// - ERROR_TIMEOUT: a filtered query over a large log may need longer than
//   the timeout to reach its next match, and the result set stays usable;
//   the same call is made again (Ctrl+C still ends a poll: the console
//   handler ends the process from its own thread).
// - RPC_S_INVALID_BOUND: the events asked for are too large for one answer.
//   `chunk` is halved (down to 1) for the rest of the query, and the batch is
//   completed with calls of that size up to kEventBatchSize handles or the
//   end, so the cap is still tested after the same events.
// Returns kErrorSuccess, kErrorNoMoreItems (the batch may still hold the
// last events) or the code that ended the query.
uint32_t FetchBatch(EvtHandle result_set, EventBatch& batch, uint32_t& chunk) {
  batch.Clear();
  for (;;) {
    uint32_t returned = 0;
    if (EvtNext(result_set, std::min(chunk, batch.Room()), batch.FreeSlots(),
                kEventBatchTimeoutMs, 0, &returned)) {
      batch.Added(returned);
      if (chunk == kEventBatchSize || batch.Room() == 0 || returned == 0) {
        return kErrorSuccess;
      }
      continue;
    }
    const uint32_t error = GetLastError();
    if (error == kErrorTimeout) continue;
    if (error == kRpcSInvalidBound && chunk > 1) {
      chunk /= 2;
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
  const std::u16string query_wide = ToWide(query);
  EvtHandleOwner result_set(
      EvtQuery(nullptr, nullptr, query_wide.c_str(), kQueryFlags));
  if (!result_set) {
    error_code = GetLastError();
    return false;
  }
  EventBatch batch;
  uint32_t chunk = kEventBatchSize;
  for (;;) {
    const uint32_t fetched = FetchBatch(result_set.Get(), batch, chunk);
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
