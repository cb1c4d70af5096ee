// A wevtapi.dll for tests under Wine, whose own wevtapi is a stub: the Evt*
// calls the program imports, with their Windows signatures, answered by the
// offline event-log service over the image that QRV_EVENTLOG_ROOT names (a
// Windows path, e.g. Z:\...\sample-image). Placed beside the program, it lets
// the native code path (the Windows backend and its metadata cache) read real
// events. Never shipped.
//
// The service is built on the first call, so nothing heavy runs under the
// loader lock; without QRV_EVENTLOG_ROOT every call fails with
// ERROR_NOT_READY, so a misconfigured run cannot pass for an empty machine.
// When the process ends with handles of the service still open, the DLL says
// so on standard error: a program that exits normally must have closed
// every handle it was given (one ended by TerminateProcess mid-query need not).
//
// With QRV_WEVTAPI_RPC_BOUND=N, EvtNext refuses to return more than N events
// at once with RPC_S_INVALID_BOUND, having read past them all the same, as
// the real service does with an answer too large for one RPC: only an
// EvtSeek back brings those events again.
#include <windows.h>
#include <winevt.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_log_api.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/service/offline_event_log.h"
#include "platform/windows/windows_system.h"

// The service's EvtVariant is declared to be EVT_VARIANT byte for byte; the
// calls below pass one for the other.
static_assert(sizeof(qrv::EvtVariant) == sizeof(EVT_VARIANT));
static_assert(offsetof(qrv::EvtVariant, count) == offsetof(EVT_VARIANT, Count));
static_assert(offsetof(qrv::EvtVariant, type) == offsetof(EVT_VARIANT, Type));
static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

// Everything the service reads, built once and kept until the process ends
// (the loader may unload the DLL after the program's own static destructors).
struct Service {
  qrv::WindowsSystem system;
  std::unique_ptr<qrv::offline::Image> image;
  std::unique_ptr<qrv::offline::PathResolver> files;
  qrv::offline::HostFileLoader loader;
  std::unique_ptr<qrv::offline::MessageCatalog> messages;
  std::unique_ptr<qrv::offline::OfflineEventLog> event_log;
};

Service* Build() {
  const char* root = std::getenv("QRV_EVENTLOG_ROOT");
  if (root == nullptr || *root == '\0') return nullptr;
  auto* service = new Service();
  service->image = std::make_unique<qrv::offline::Image>(root, qrv::offline::SummarizeEvtxFile);
  service->files = std::make_unique<qrv::offline::PathResolver>(service->image->root());
  qrv::offline::PathResolver* files = service->files.get();
  service->messages = std::make_unique<qrv::offline::MessageCatalog>(
      service->image->registry(),
      [files](std::string_view windows_path) -> std::optional<std::string> {
        auto path = files->ResolveWindowsPath(windows_path);
        if (!path) return std::nullopt;
        return path->string();
      },
      service->loader);
  qrv::offline::Image* image = service->image.get();
  service->event_log = std::make_unique<qrv::offline::OfflineEventLog>(
      qrv::offline::QuerySources{
          [image](std::string_view name) { return image->LookupChannel(name); },
          image->root(),
          [files](std::string_view windows_path) { return files->ResolveWindowsPath(windows_path); }},
      service->system, *service->messages);
  return service;
}

// Set by the first call; read again only when the process detaches.
Service* built_service = nullptr;

// The service, or null after setting ERROR_NOT_READY.
qrv::EventLogApi* Api() {
  static Service* const service = Build();
  if (service == nullptr) {
    ::SetLastError(ERROR_NOT_READY);
    return nullptr;
  }
  built_service = service;
  return service->event_log.get();
}

// Reports handles still open, with WriteFile alone: by now the other threads
// are gone and the C runtime may be shut down.
void ReportOpenHandles() {
  if (built_service == nullptr) return;
  const size_t open = built_service->event_log->open_handles();
  if (open == 0) return;
  char text[96];
  const int length = std::snprintf(text, sizeof text, "wevtapi.dll: %zu handles still open at exit\n", open);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

// QRV_WEVTAPI_RPC_BOUND, or 0 (no bound).
uint32_t RpcBound() {
  static const uint32_t bound = [] {
    const char* text = std::getenv("QRV_WEVTAPI_RPC_BOUND");
    return text == nullptr ? 0u : static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
  }();
  return bound;
}

qrv::EvtHandle In(EVT_HANDLE handle) { return static_cast<qrv::EvtHandle>(handle); }
EVT_HANDLE Out(qrv::EvtHandle handle) { return static_cast<EVT_HANDLE>(handle); }
const char16_t* Text(LPCWSTR text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) ReportOpenHandles();
  return TRUE;
}

__declspec(dllexport) EVT_HANDLE WINAPI EvtQuery(EVT_HANDLE Session, LPCWSTR Path, LPCWSTR Query,
                                                 DWORD Flags) {
  qrv::EventLogApi* api = Api();
  return api ? Out(api->EvtQuery(In(Session), Text(Path), Text(Query), Flags)) : nullptr;
}

__declspec(dllexport) WINBOOL WINAPI EvtNext(EVT_HANDLE ResultSet, DWORD EventsSize,
                                             EVT_HANDLE* Events, DWORD Timeout, DWORD Flags,
                                             PDWORD Returned) {
  qrv::EventLogApi* api = Api();
  if (api == nullptr) return FALSE;
  uint32_t returned = 0;
  const bool ok = api->EvtNext(In(ResultSet), EventsSize,
                               reinterpret_cast<qrv::EvtHandle*>(Events), Timeout, Flags,
                               &returned);
  if (Returned != nullptr) *Returned = returned;
  const uint32_t bound = RpcBound();
  if (ok && bound != 0 && returned > bound) {
    // Read past, then refused: the events are dropped.
    for (uint32_t i = 0; i < returned; ++i) api->EvtClose(In(Events[i]));
    if (Returned != nullptr) *Returned = 0;
    ::SetLastError(RPC_S_INVALID_BOUND);
    return FALSE;
  }
  return ok;
}

__declspec(dllexport) WINBOOL WINAPI EvtSeek(EVT_HANDLE ResultSet, LONGLONG Position,
                                             EVT_HANDLE Bookmark, DWORD Timeout, DWORD Flags) {
  qrv::EventLogApi* api = Api();
  return api ? api->EvtSeek(In(ResultSet), Position, In(Bookmark), Timeout, Flags) : FALSE;
}

__declspec(dllexport) WINBOOL WINAPI EvtCancel(EVT_HANDLE Object) {
  qrv::EventLogApi* api = Api();
  return api ? api->EvtCancel(In(Object)) : FALSE;
}

__declspec(dllexport) WINBOOL WINAPI EvtClose(EVT_HANDLE Object) {
  qrv::EventLogApi* api = Api();
  return api ? api->EvtClose(In(Object)) : FALSE;
}

__declspec(dllexport) EVT_HANDLE WINAPI EvtCreateRenderContext(DWORD ValuePathsCount,
                                                               LPCWSTR* ValuePaths, DWORD Flags) {
  qrv::EventLogApi* api = Api();
  return api ? Out(api->EvtCreateRenderContext(
                   ValuePathsCount, reinterpret_cast<const char16_t**>(ValuePaths), Flags))
             : nullptr;
}

__declspec(dllexport) WINBOOL WINAPI EvtRender(EVT_HANDLE Context, EVT_HANDLE Fragment, DWORD Flags,
                                               DWORD BufferSize, PVOID Buffer, PDWORD BufferUsed,
                                               PDWORD PropertyCount) {
  qrv::EventLogApi* api = Api();
  if (api == nullptr) return FALSE;
  uint32_t used = 0;
  uint32_t count = 0;
  const bool ok = api->EvtRender(In(Context), In(Fragment), Flags, BufferSize, Buffer, &used, &count);
  if (BufferUsed != nullptr) *BufferUsed = used;
  if (PropertyCount != nullptr) *PropertyCount = count;
  return ok;
}

__declspec(dllexport) EVT_HANDLE WINAPI EvtOpenPublisherMetadata(EVT_HANDLE Session,
                                                                 LPCWSTR PublisherId,
                                                                 LPCWSTR LogFilePath, LCID Locale,
                                                                 DWORD Flags) {
  qrv::EventLogApi* api = Api();
  return api ? Out(api->EvtOpenPublisherMetadata(In(Session), Text(PublisherId),
                                                 Text(LogFilePath), Locale, Flags))
             : nullptr;
}

__declspec(dllexport) WINBOOL WINAPI EvtFormatMessage(EVT_HANDLE PublisherMetadata,
                                                      EVT_HANDLE Event, DWORD MessageId,
                                                      DWORD ValueCount, PEVT_VARIANT Values,
                                                      DWORD Flags, DWORD BufferSize, LPWSTR Buffer,
                                                      PDWORD BufferUsed) {
  qrv::EventLogApi* api = Api();
  if (api == nullptr) return FALSE;
  uint32_t used = 0;
  const bool ok = api->EvtFormatMessage(
      In(PublisherMetadata), In(Event), MessageId, ValueCount,
      reinterpret_cast<const qrv::EvtVariant*>(Values), Flags, BufferSize,
      reinterpret_cast<char16_t*>(Buffer), &used);
  if (BufferUsed != nullptr) *BufferUsed = used;
  // As recent Windows builds do: a terminator one character past the size
  // given, which lands outside a buffer of exactly the size reported.
  if (Buffer != nullptr) Buffer[BufferSize] = L'\0';
  return ok;
}

__declspec(dllexport) EVT_HANDLE WINAPI EvtOpenEventMetadataEnum(EVT_HANDLE PublisherMetadata,
                                                                 DWORD Flags) {
  qrv::EventLogApi* api = Api();
  return api ? Out(api->EvtOpenEventMetadataEnum(In(PublisherMetadata), Flags)) : nullptr;
}

__declspec(dllexport) EVT_HANDLE WINAPI EvtNextEventMetadata(EVT_HANDLE EventMetadataEnum,
                                                             DWORD Flags) {
  qrv::EventLogApi* api = Api();
  return api ? Out(api->EvtNextEventMetadata(In(EventMetadataEnum), Flags)) : nullptr;
}

__declspec(dllexport) WINBOOL WINAPI EvtGetEventMetadataProperty(
    EVT_HANDLE EventMetadata, EVT_EVENT_METADATA_PROPERTY_ID PropertyId, DWORD Flags,
    DWORD EventMetadataPropertyBufferSize, PEVT_VARIANT EventMetadataPropertyBuffer,
    PDWORD EventMetadataPropertyBufferUsed) {
  qrv::EventLogApi* api = Api();
  if (api == nullptr) return FALSE;
  uint32_t used = 0;
  const bool ok = api->EvtGetEventMetadataProperty(
      In(EventMetadata), static_cast<uint32_t>(PropertyId), Flags, EventMetadataPropertyBufferSize,
      reinterpret_cast<qrv::EvtVariant*>(EventMetadataPropertyBuffer), &used);
  if (EventMetadataPropertyBufferUsed != nullptr) *EventMetadataPropertyBufferUsed = used;
  return ok;
}

}  // extern "C"
