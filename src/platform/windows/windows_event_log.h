// WindowsEventLog: the event-log service calls over the real wevtapi, call
// for call. The project's handle, variant and UTF-16 types are the SDK's own
// layouts (checked in the .cc, the only place that sees <winevt.h>), so the
// calls pass the caller's buffers straight through.
#ifndef QRV_PLATFORM_WINDOWS_WINDOWS_EVENT_LOG_H_
#define QRV_PLATFORM_WINDOWS_WINDOWS_EVENT_LOG_H_

#include <cstdint>

#include "platform/event_log_api.h"

namespace qrv {

class WindowsEventLog : public EventLogApi {
 public:
  EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                     const char16_t* query, uint32_t flags) override;
  bool EvtNext(EvtHandle result_set, uint32_t events_size, EvtHandle* events,
               uint32_t timeout_ms, uint32_t flags, uint32_t* returned) override;
  bool EvtSeek(EvtHandle result_set, int64_t position, EvtHandle bookmark,
               uint32_t timeout_ms, uint32_t flags) override;
  bool EvtCancel(EvtHandle object) override;
  bool EvtClose(EvtHandle object) override;
  EvtHandle EvtCreateRenderContext(uint32_t value_paths_count,
                                   const char16_t** value_paths,
                                   uint32_t flags) override;
  bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                 uint32_t buffer_size, void* buffer, uint32_t* buffer_used,
                 uint32_t* property_count) override;
  EvtHandle EvtOpenPublisherMetadata(EvtHandle session,
                                     const char16_t* publisher_id,
                                     const char16_t* log_file_path,
                                     uint32_t locale, uint32_t flags) override;
  bool EvtFormatMessage(EvtHandle publisher_metadata, EvtHandle event,
                        uint32_t message_id, uint32_t value_count,
                        const EvtVariant* values, uint32_t flags,
                        uint32_t buffer_size, char16_t* buffer,
                        uint32_t* buffer_used) override;
  EvtHandle EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                     uint32_t flags) override;
  EvtHandle EvtNextEventMetadata(EvtHandle enumerator, uint32_t flags) override;
  bool EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                   uint32_t property_id, uint32_t flags,
                                   uint32_t buffer_size, EvtVariant* buffer,
                                   uint32_t* buffer_used) override;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_WINDOWS_WINDOWS_EVENT_LOG_H_
