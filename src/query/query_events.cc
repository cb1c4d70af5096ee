// QueryEvents: opens a QueryList query oldest first, fetches its events in
// batches of kEventBatchSize handles and renders each into the event list.
#include "query/query_events.h"

#include <algorithm>
#include <utility>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "query/render_event.h"

namespace qrv {

namespace {

constexpr uint32_t kQueryFlags =
    kEvtQueryChannelPath | kEvtQueryForwardDirection;

// The handles of one EvtNext batch. Each is taken out in order and closed by
// its taker; whatever has not been taken when the batch goes out of scope
// (a rendering failure, an exception) is closed here, so every event handle
// is closed exactly once. The array is fixed: nothing is allocated per batch.
class EventBatch {
 public:
  EventBatch() = default;
  EventBatch(const EventBatch&) = delete;
  EventBatch& operator=(const EventBatch&) = delete;
  ~EventBatch() { CloseRest(); }

  EvtHandle* Slots() { return handles_; }
  // After EvtNext succeeded with `returned` handles in the slots.
  void Filled(uint32_t returned) {
    // A service never returns more than asked for; should one, the extra
    // handles are not in the array and cannot be closed from here.
    count_ = std::min(returned, kEventBatchSize);
    next_ = 0;
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
  for (;;) {
    uint32_t returned = 0;
    if (!EvtNext(result_set.Get(), kEventBatchSize, batch.Slots(),
                 kEventBatchTimeoutMs, 0, &returned)) {
      const uint32_t error = GetLastError();
      if (error == kErrorNoMoreItems) return true;
      // ERROR_TIMEOUT included: nothing arrived within the batch timeout.
      error_code = error;
      return false;
    }
    batch.Filled(returned);
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
  }
}

}  // namespace qrv
