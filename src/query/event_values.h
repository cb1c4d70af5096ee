// Turning one event handle into a CZK_EL_EVT: its system values read with
// EvtRender, its message through the provider's metadata (event_text.h).
#ifndef QRV_QUERY_EVENT_VALUES_H_
#define QRV_QUERY_EVENT_VALUES_H_

#include <cstdint>

#include "platform/win32_types.h"
#include "query/event_record.h"

namespace qrv {

// Appends one record for `event` to `events`. Returns 0 when a record was
// appended, else the Win32 code of the step that failed (nothing appended).
// An event whose provider's publisher metadata cannot be opened (with any
// code) is still appended, with "Event message not found" as message.
// The event handle stays open.
uint32_t RenderEvent(EventList& events, EvtHandle event);

}  // namespace qrv

#endif  // QRV_QUERY_EVENT_VALUES_H_
