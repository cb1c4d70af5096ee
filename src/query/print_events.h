// Printing event records: one tab-separated line each.
#ifndef QRV_QUERY_PRINT_EVENTS_H_
#define QRV_QUERY_PRINT_EVENTS_H_

#include "query/event_record.h"

namespace qrv {

// One tab-separated line per record: Channel, Provider, TimeCreated, EventId,
// Severity, Message.
void PrintEventList(const EventList& events);

}  // namespace qrv

#endif  // QRV_QUERY_PRINT_EVENTS_H_
