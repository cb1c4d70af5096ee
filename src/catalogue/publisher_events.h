// The walk of one publisher's event definitions through its metadata in the
// event-log service. Entry points: AddPublisherEvents, GetEventMetadataMessage.
#ifndef QRV_CATALOGUE_PUBLISHER_EVENTS_H_
#define QRV_CATALOGUE_PUBLISHER_EVENTS_H_

#include <string>

#include "catalogue/publisher_record.h"
#include "platform/win32_types.h"

namespace qrv {

// Appends one record per event that `publisher` declares with a readable
// identifier and a message identifier other than 0 and -1 (kNoEventMessage,
// what Windows reports for a definition without a message). A publisher the
// service cannot open, or whose events cannot be enumerated, adds nothing and
// is not reported.
void AddPublisherEvents(PublisherList& list, const std::string& channel,
                        const std::string& publisher);

// The cleaned message of one event definition. False when the event gets no
// record: its message identifier cannot be read, or is 0 or -1. Otherwise
// true, with the template's text (its inserts left as %n), "Failed to get
// message" when the sizing call of EvtFormatMessage succeeds (there is no size
// to allocate) or the buffer cannot be had, and "Text unknown" when the text
// is empty once cleaned, a message the service cannot format included.
bool GetEventMetadataMessage(EvtHandle publisher_metadata,
                             EvtHandle event_metadata, std::string& message);

}  // namespace qrv

#endif  // QRV_CATALOGUE_PUBLISHER_EVENTS_H_
