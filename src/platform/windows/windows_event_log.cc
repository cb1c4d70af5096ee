// The real wevtapi calls behind EventLogApi; see windows_event_log.h.
// Win32 calls are written with a leading :: because the class's methods and
// the logic's wrappers in platform.h carry the same names.
#include "platform/windows/windows_event_log.h"

// clang-format off
#include <windows.h>
#include <winevt.h>
// clang-format on

#include <cstddef>

namespace qrv {

namespace {

// Compares one of our constants with the SDK's, whatever enum each is.
constexpr bool Same(uint64_t ours, uint64_t sdk) { return ours == sdk; }

// The layouts the calls below pass through without copying.
static_assert(sizeof(EvtHandle) == sizeof(EVT_HANDLE));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
static_assert(sizeof(EvtVariant) == sizeof(EVT_VARIANT));
static_assert(alignof(EvtVariant) == alignof(EVT_VARIANT));
static_assert(offsetof(EvtVariant, uint64_val) == offsetof(EVT_VARIANT, UInt64Val));
static_assert(offsetof(EvtVariant, count) == offsetof(EVT_VARIANT, Count));
static_assert(offsetof(EvtVariant, type) == offsetof(EVT_VARIANT, Type));

// The numbers the logic passes and reads.
static_assert(Same(kEvtVarTypeNull, EvtVarTypeNull));
static_assert(Same(kEvtVarTypeString, EvtVarTypeString));
static_assert(Same(kEvtVarTypeAnsiString, EvtVarTypeAnsiString));
static_assert(Same(kEvtVarTypeSByte, EvtVarTypeSByte));
static_assert(Same(kEvtVarTypeByte, EvtVarTypeByte));
static_assert(Same(kEvtVarTypeInt16, EvtVarTypeInt16));
static_assert(Same(kEvtVarTypeUInt16, EvtVarTypeUInt16));
static_assert(Same(kEvtVarTypeInt32, EvtVarTypeInt32));
static_assert(Same(kEvtVarTypeUInt32, EvtVarTypeUInt32));
static_assert(Same(kEvtVarTypeInt64, EvtVarTypeInt64));
static_assert(Same(kEvtVarTypeUInt64, EvtVarTypeUInt64));
static_assert(Same(kEvtVarTypeSingle, EvtVarTypeSingle));
static_assert(Same(kEvtVarTypeDouble, EvtVarTypeDouble));
static_assert(Same(kEvtVarTypeBoolean, EvtVarTypeBoolean));
static_assert(Same(kEvtVarTypeBinary, EvtVarTypeBinary));
static_assert(Same(kEvtVarTypeGuid, EvtVarTypeGuid));
static_assert(Same(kEvtVarTypeSizeT, EvtVarTypeSizeT));
static_assert(Same(kEvtVarTypeFileTime, EvtVarTypeFileTime));
static_assert(Same(kEvtVarTypeSysTime, EvtVarTypeSysTime));
static_assert(Same(kEvtVarTypeSid, EvtVarTypeSid));
static_assert(Same(kEvtVarTypeHexInt32, EvtVarTypeHexInt32));
static_assert(Same(kEvtVarTypeHexInt64, EvtVarTypeHexInt64));
static_assert(Same(kEvtVarTypeEvtHandle, EvtVarTypeEvtHandle));
static_assert(Same(kEvtVarTypeEvtXml, EvtVarTypeEvtXml));
static_assert(Same(kEvtVariantTypeArray, EVT_VARIANT_TYPE_ARRAY));
static_assert(Same(kEvtVariantTypeMask, EVT_VARIANT_TYPE_MASK));

static_assert(Same(kEvtSystemProviderName, EvtSystemProviderName));
static_assert(Same(kEvtSystemProviderGuid, EvtSystemProviderGuid));
static_assert(Same(kEvtSystemEventID, EvtSystemEventID));
static_assert(Same(kEvtSystemQualifiers, EvtSystemQualifiers));
static_assert(Same(kEvtSystemLevel, EvtSystemLevel));
static_assert(Same(kEvtSystemTask, EvtSystemTask));
static_assert(Same(kEvtSystemOpcode, EvtSystemOpcode));
static_assert(Same(kEvtSystemKeywords, EvtSystemKeywords));
static_assert(Same(kEvtSystemTimeCreated, EvtSystemTimeCreated));
static_assert(Same(kEvtSystemEventRecordId, EvtSystemEventRecordId));
static_assert(Same(kEvtSystemActivityID, EvtSystemActivityID));
static_assert(Same(kEvtSystemRelatedActivityID, EvtSystemRelatedActivityID));
static_assert(Same(kEvtSystemProcessID, EvtSystemProcessID));
static_assert(Same(kEvtSystemThreadID, EvtSystemThreadID));
static_assert(Same(kEvtSystemChannel, EvtSystemChannel));
static_assert(Same(kEvtSystemComputer, EvtSystemComputer));
static_assert(Same(kEvtSystemUserID, EvtSystemUserID));
static_assert(Same(kEvtSystemVersion, EvtSystemVersion));
static_assert(Same(kEvtSystemPropertyIdEnd, EvtSystemPropertyIdEND));

static_assert(Same(kEvtQueryChannelPath, EvtQueryChannelPath));
static_assert(Same(kEvtQueryFilePath, EvtQueryFilePath));
static_assert(Same(kEvtQueryForwardDirection, EvtQueryForwardDirection));
static_assert(Same(kEvtQueryReverseDirection, EvtQueryReverseDirection));
static_assert(Same(kEvtQueryTolerateQueryErrors, EvtQueryTolerateQueryErrors));
static_assert(Same(kEvtRenderContextValues, EvtRenderContextValues));
static_assert(Same(kEvtRenderContextSystem, EvtRenderContextSystem));
static_assert(Same(kEvtRenderContextUser, EvtRenderContextUser));
static_assert(Same(kEvtRenderEventValues, EvtRenderEventValues));
static_assert(Same(kEvtRenderEventXml, EvtRenderEventXml));
static_assert(Same(kEvtFormatMessageEvent, EvtFormatMessageEvent));
static_assert(Same(kEvtFormatMessageId, EvtFormatMessageId));
static_assert(Same(kEventMetadataEventID, EventMetadataEventID));
static_assert(Same(kEventMetadataEventMessageID, EventMetadataEventMessageID));
static_assert(Same(kEvtInfiniteTimeout, INFINITE));
static_assert(Same(kEvtSeekRelativeToFirst, EvtSeekRelativeToFirst));
static_assert(Same(kEvtSeekRelativeToLast, EvtSeekRelativeToLast));
static_assert(Same(kEvtSeekRelativeToCurrent, EvtSeekRelativeToCurrent));
static_assert(Same(kEvtSeekRelativeToBookmark, EvtSeekRelativeToBookmark));

EVT_HANDLE Sdk(EvtHandle handle) { return static_cast<EVT_HANDLE>(handle); }
EvtHandle Ours(EVT_HANDLE handle) { return static_cast<EvtHandle>(handle); }
LPCWSTR Sdk(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }

// Copies a DWORD out-parameter back to the caller's, which may be null.
void Store(DWORD value, uint32_t* out) {
  if (out != nullptr) *out = value;
}

}  // namespace

EvtHandle WindowsEventLog::EvtQuery(EvtHandle session, const char16_t* path,
                                    const char16_t* query, uint32_t flags) {
  return Ours(::EvtQuery(Sdk(session), Sdk(path), Sdk(query), flags));
}

bool WindowsEventLog::EvtNext(EvtHandle result_set, uint32_t events_size,
                              EvtHandle* events, uint32_t timeout_ms,
                              uint32_t flags, uint32_t* returned) {
  DWORD count = 0;
  // The service fills the caller's array of handles in place; EvtHandle and
  // EVT_HANDLE are both pointers of the same size.
  const BOOL ok = ::EvtNext(Sdk(result_set), events_size,
                            reinterpret_cast<EVT_HANDLE*>(events), timeout_ms,
                            flags, &count);
  Store(count, returned);
  return ok != FALSE;
}

bool WindowsEventLog::EvtSeek(EvtHandle result_set, int64_t position,
                              EvtHandle bookmark, uint32_t timeout_ms,
                              uint32_t flags) {
  return ::EvtSeek(Sdk(result_set), position, Sdk(bookmark), timeout_ms,
                   flags) != FALSE;
}

bool WindowsEventLog::EvtCancel(EvtHandle object) {
  return ::EvtCancel(Sdk(object)) != FALSE;
}

bool WindowsEventLog::EvtClose(EvtHandle object) {
  return ::EvtClose(Sdk(object)) != FALSE;
}

EvtHandle WindowsEventLog::EvtCreateRenderContext(uint32_t value_paths_count,
                                                  const char16_t** value_paths,
                                                  uint32_t flags) {
  return Ours(::EvtCreateRenderContext(
      value_paths_count, reinterpret_cast<LPCWSTR*>(value_paths), flags));
}

bool WindowsEventLog::EvtRender(EvtHandle context, EvtHandle fragment,
                                uint32_t flags, uint32_t buffer_size,
                                void* buffer, uint32_t* buffer_used,
                                uint32_t* property_count) {
  DWORD used = 0;
  DWORD count = 0;
  const BOOL ok = ::EvtRender(Sdk(context), Sdk(fragment), flags, buffer_size,
                              buffer, &used, &count);
  Store(used, buffer_used);
  Store(count, property_count);
  return ok != FALSE;
}

EvtHandle WindowsEventLog::EvtOpenPublisherMetadata(
    EvtHandle session, const char16_t* publisher_id,
    const char16_t* log_file_path, uint32_t locale, uint32_t flags) {
  return Ours(::EvtOpenPublisherMetadata(Sdk(session), Sdk(publisher_id),
                                         Sdk(log_file_path), locale, flags));
}

bool WindowsEventLog::EvtFormatMessage(EvtHandle publisher_metadata,
                                       EvtHandle event, uint32_t message_id,
                                       uint32_t value_count,
                                       const EvtVariant* values, uint32_t flags,
                                       uint32_t buffer_size, char16_t* buffer,
                                       uint32_t* buffer_used) {
  DWORD used = 0;
  // The SDK declares the insertion values non-const; the service only reads
  // them.
  const BOOL ok = ::EvtFormatMessage(
      Sdk(publisher_metadata), Sdk(event), message_id, value_count,
      reinterpret_cast<PEVT_VARIANT>(const_cast<EvtVariant*>(values)), flags,
      buffer_size, reinterpret_cast<LPWSTR>(buffer), &used);
  Store(used, buffer_used);
  return ok != FALSE;
}

EvtHandle WindowsEventLog::EvtOpenEventMetadataEnum(
    EvtHandle publisher_metadata, uint32_t flags) {
  return Ours(::EvtOpenEventMetadataEnum(Sdk(publisher_metadata), flags));
}

EvtHandle WindowsEventLog::EvtNextEventMetadata(EvtHandle enumerator,
                                                uint32_t flags) {
  return Ours(::EvtNextEventMetadata(Sdk(enumerator), flags));
}

bool WindowsEventLog::EvtGetEventMetadataProperty(
    EvtHandle event_metadata, uint32_t property_id, uint32_t flags,
    uint32_t buffer_size, EvtVariant* buffer, uint32_t* buffer_used) {
  DWORD used = 0;
  const BOOL ok = ::EvtGetEventMetadataProperty(
      Sdk(event_metadata),
      static_cast<EVT_EVENT_METADATA_PROPERTY_ID>(property_id), flags,
      buffer_size, reinterpret_cast<PEVT_VARIANT>(buffer), &used);
  Store(used, buffer_used);
  return ok != FALSE;
}

}  // namespace qrv
