// QueryEvents: the one place where the tool runs an event query.
#ifndef QRV_QUERY_QUERY_EVENTS_H_
#define QRV_QUERY_QUERY_EVENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "query/event_record.h"

namespace qrv {

// Records a capped query stops at (tested after each whole batch).
inline constexpr size_t kEventCap = 1000;
// Event handles per batch: fetched by one EvtNext call, or by several smaller
// ones once the service has refused a batch this large (RPC_S_INVALID_BOUND).
// EvtNext waits as long as the service needs (INFINITE): a wait that timed out
// could not be taken up again without the risk of skipping events.
inline constexpr uint32_t kEventBatchSize = 100;

// Runs the QueryList document `query` (ANSI) oldest first and appends one
// record per event to `events`. True when the query ran to its end (or, with
// `capped`, to the cap); false on failure, with `error_code` set to the Win32
// code (left alone on success and for a blank query). Two EvtNext failures
// are worked around without losing or repeating an event:
// - RPC_S_INVALID_BOUND: the result set is sought back to the events it
//   refused and read in smaller batches, down to one event; the code is
//   returned when one event alone is refused or the seek fails.
// - ERROR_EVT_QUERY_RESULT_STALE (the log was cleared or wrapped): the query
//   is made again once and sought past the events already received; the
//   code is returned when it comes again or the new query or seek fails.
// An event that RenderEvent answers with ERROR_FILE_NOT_FOUND is skipped;
// any other rendering failure ends the query with its code.
bool QueryEvents(EventList& events, const std::string& query,
                 uint32_t& error_code, bool capped);

}  // namespace qrv

#endif  // QRV_QUERY_QUERY_EVENTS_H_
