// The offline event-log service until an image is mounted: it answers as a
// computer with no logs, no channels and no publishers would. Every query
// names a channel that does not exist; no event handle is ever handed out.
#ifndef QRV_PLATFORM_OFFLINE_EMPTY_EVENT_LOG_H_
#define QRV_PLATFORM_OFFLINE_EMPTY_EVENT_LOG_H_

#include "platform/event_log_api.h"
#include "platform/system_api.h"

namespace qrv {

class EmptyEventLog : public EventLogApi {
 public:
  // Failure codes are left in `system`'s last error.
  explicit EmptyEventLog(SystemApi& system) : system_(system) {}

  // Fails: 15001 when the text cannot be a query document at all (its first
  // non-blank character is not '<'), else 15007.
  EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                     const char16_t* query, uint32_t flags) override;
  // The calls below take handles, and none exists except the render
  // context: each fails with kErrorInvalidHandle.
  bool EvtNext(EvtHandle result_set, uint32_t events_size, EvtHandle* events,
               uint32_t timeout_ms, uint32_t flags, uint32_t* returned) override;
  bool EvtCancel(EvtHandle object) override;
  // Succeeds for the render context only.
  bool EvtClose(EvtHandle object) override;
  // A context can be made (there is simply nothing to render with it).
  EvtHandle EvtCreateRenderContext(uint32_t value_paths_count,
                                   const char16_t** value_paths,
                                   uint32_t flags) override;
  bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                 uint32_t buffer_size, void* buffer, uint32_t* buffer_used,
                 uint32_t* property_count) override;
  // Fails with kErrorFileNotFound: no publisher is installed.
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

 private:
  EvtHandle RenderContext();
  bool InvalidHandle();

  SystemApi& system_;
  // The address that stands for the render context handle.
  char render_context_ = 0;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_EMPTY_EVENT_LOG_H_
