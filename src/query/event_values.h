// Turning one event handle into a CZK_EL_EVT, and the text helpers around it:
// message formatting, cleaning, printing, system error texts.
#ifndef QRV_QUERY_RENDER_EVENT_H_
#define QRV_QUERY_RENDER_EVENT_H_

#include <cstdint>
#include <string>

#include "platform/win32_types.h"
#include "query/event_record.h"

namespace qrv {

// Appends one record for `event` to `events`. Returns 0 when a record was
// appended, else the Win32 code of the step that failed (nothing appended).
// An event whose provider has no publisher metadata (codes 2 and 15002 from
// the open) is still appended, with "Event message not found" as message.
// The event handle stays open.
uint32_t RenderEvent(EventList& events, EvtHandle event);

// The event's message through the provider's metadata; never fails (each
// failure becomes a text of its own).
std::string FormatEventMessage(EvtHandle publisher_metadata, EvtHandle event);

// Trims, removes double quotes, turns LF, CR and tab into spaces. True when
// the result is not empty.
bool CleanText(std::string& text);

// One tab-separated line per record: Channel, Provider, TimeCreated, EventId,
// Severity, Message.
void PrintEventList(const EventList& events);

// The system's text for a Win32 error code, line break included; empty when
// the system has none.
std::string GetErrorText(uint32_t error_code);

}  // namespace qrv

#endif  // QRV_QUERY_RENDER_EVENT_H_
