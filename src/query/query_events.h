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
inline constexpr uint32_t kEventBatchSize = 100;
// EvtNext timeout per call; a call that times out is made again.
inline constexpr uint32_t kEventBatchTimeoutMs = 1000;

// Runs the QueryList document `query` (ANSI) oldest first and appends one
// record per event to `events`. True when the query ran to its end (or, with
// `capped`, to the cap); false on failure, with `error_code` set to the Win32
// code (left alone on success and for a blank query). EvtNext is called again
// on ERROR_TIMEOUT, and with smaller batches (down to one event) on
// RPC_S_INVALID_BOUND; neither code is returned unless one event alone still
// fails with RPC_S_INVALID_BOUND. An event that
// RenderEvent answers with ERROR_FILE_NOT_FOUND is skipped; any other
// rendering failure ends the query with its code.
bool QueryEvents(EventList& events, const std::string& query,
                 uint32_t& error_code, bool capped);

}  // namespace qrv

#endif  // QRV_QUERY_QUERY_EVENTS_H_
