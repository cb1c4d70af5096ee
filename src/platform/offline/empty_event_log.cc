// EmptyEventLog: the offline service with nothing in it; see
// empty_event_log.h.
#include "platform/offline/empty_event_log.h"

namespace qrv {

namespace {
bool IsBlank16(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' ||
         c == u'\r';
}
}  // namespace

EvtHandle EmptyEventLog::RenderContext() {
  return reinterpret_cast<EvtHandle>(&render_context_);
}

bool EmptyEventLog::InvalidHandle() {
  system_.SetLastError(kErrorInvalidHandle);
  return false;
}

EvtHandle EmptyEventLog::EvtQuery(EvtHandle, const char16_t* path,
                                  const char16_t* query, uint32_t) {
  // Without a path the text must be a QueryList document; anything that
  // cannot even start one is refused as Windows refuses it.
  if (path == nullptr) {
    const char16_t* p = query;
    while (p != nullptr && IsBlank16(*p)) ++p;
    if (p == nullptr || *p != u'<') {
      system_.SetLastError(kErrorEvtInvalidQuery);
      return nullptr;
    }
  }
  system_.SetLastError(kErrorEvtChannelNotFound);
  return nullptr;
}

bool EmptyEventLog::EvtNext(EvtHandle, uint32_t, EvtHandle*, uint32_t,
                            uint32_t, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  return InvalidHandle();
}

bool EmptyEventLog::EvtCancel(EvtHandle) { return InvalidHandle(); }

bool EmptyEventLog::EvtClose(EvtHandle object) {
  if (object == RenderContext()) return true;
  return InvalidHandle();
}

EvtHandle EmptyEventLog::EvtCreateRenderContext(uint32_t, const char16_t**,
                                                uint32_t) {
  return RenderContext();
}

bool EmptyEventLog::EvtRender(EvtHandle, EvtHandle, uint32_t, uint32_t, void*,
                              uint32_t*, uint32_t*) {
  // There is no event to render, whatever the context.
  return InvalidHandle();
}

EvtHandle EmptyEventLog::EvtOpenPublisherMetadata(EvtHandle, const char16_t*,
                                                  const char16_t*, uint32_t,
                                                  uint32_t) {
  system_.SetLastError(kErrorFileNotFound);
  return nullptr;
}

bool EmptyEventLog::EvtFormatMessage(EvtHandle, EvtHandle, uint32_t, uint32_t,
                                     const EvtVariant*, uint32_t, uint32_t,
                                     char16_t*, uint32_t*) {
  return InvalidHandle();
}

EvtHandle EmptyEventLog::EvtOpenEventMetadataEnum(EvtHandle, uint32_t) {
  InvalidHandle();
  return nullptr;
}

EvtHandle EmptyEventLog::EvtNextEventMetadata(EvtHandle, uint32_t) {
  InvalidHandle();
  return nullptr;
}

bool EmptyEventLog::EvtGetEventMetadataProperty(EvtHandle, uint32_t, uint32_t,
                                                uint32_t, EvtVariant*,
                                                uint32_t*) {
  return InvalidHandle();
}

}  // namespace qrv
