// What the message catalogue needs of a delivered event to format its
// message (EvtFormatMessage with EvtFormatMessageEvent): the System values
// and the insertion strings, %1 first. Entry point: FillMessageRequest.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_MESSAGE_REQUEST_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_MESSAGE_REQUEST_H_

#include "platform/offline/messages/message_provider.h"
#include "platform/offline/service/captured_event.h"

namespace qrv::offline {

// Fills `*request` for `event`, reusing its strings. The inserts are the
// texts of the EventData/Data items in order or, for an event with UserData
// instead, of the leaf elements below UserData in document order, read by
// `records`; a record that no longer decodes gives no inserts.
void FillMessageRequest(const CapturedEvent& event,
                        CapturedRecordReader& records,
                        EventMessageRequest* request);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_MESSAGE_REQUEST_H_
