// The event-log service calls (wevtapi) the tool makes, as an interface with
// one backend per platform: the real service on Windows, the offline image
// elsewhere, a scripted fake in tests. Contracts are the Windows ones: a
// failed call returns false or a null handle and leaves its reason for
// GetLastError (SystemApi); text crosses as UTF-16; variable-size answers are
// sized by a first call with size 0 that fails with kErrorInsufficientBuffer
// and reports the size needed.
#ifndef QRV_PLATFORM_EVENT_LOG_API_H_
#define QRV_PLATFORM_EVENT_LOG_API_H_

#include <cstddef>
#include <cstdint>

#include "platform/win32_types.h"

namespace qrv {

// EVT_VARIANT, byte for byte: an 8-byte value or pointer, a 32-bit count
// (array length) and a 32-bit type tag. Strings are pointers into the buffer
// that holds the variant array, as the service lays them out.
struct EvtVariant {
  union {
    int8_t sbyte_val;
    uint8_t byte_val;
    int16_t int16_val;
    uint16_t uint16_val;
    int32_t int32_val;
    uint32_t uint32_val;
    int64_t int64_val;
    uint64_t uint64_val;
    float single_val;
    double double_val;
    uint64_t filetime_val;
    int32_t boolean_val;
    const char16_t* string_val;
    const char* ansi_string_val;
    const uint8_t* binary_val;
    const void* guid_val;
    const void* sid_val;
    const SystemTime* systemtime_val;
    size_t size_t_val;
    EvtHandle evt_handle_val;
  };
  uint32_t count;
  uint32_t type;
};
static_assert(sizeof(EvtVariant) == 16, "EVT_VARIANT is 16 bytes on 64-bit Windows");

// EVT_VARIANT_TYPE.
enum EvtVariantType : uint32_t {
  kEvtVarTypeNull = 0,
  kEvtVarTypeString = 1,
  kEvtVarTypeAnsiString = 2,
  kEvtVarTypeSByte = 3,
  kEvtVarTypeByte = 4,
  kEvtVarTypeInt16 = 5,
  kEvtVarTypeUInt16 = 6,
  kEvtVarTypeInt32 = 7,
  kEvtVarTypeUInt32 = 8,
  kEvtVarTypeInt64 = 9,
  kEvtVarTypeUInt64 = 10,
  kEvtVarTypeSingle = 11,
  kEvtVarTypeDouble = 12,
  kEvtVarTypeBoolean = 13,
  kEvtVarTypeBinary = 14,
  kEvtVarTypeGuid = 15,
  kEvtVarTypeSizeT = 16,
  kEvtVarTypeFileTime = 17,
  kEvtVarTypeSysTime = 18,
  kEvtVarTypeSid = 19,
  kEvtVarTypeHexInt32 = 20,
  kEvtVarTypeHexInt64 = 21,
  kEvtVarTypeEvtHandle = 32,
  kEvtVarTypeEvtXml = 35,
};
inline constexpr uint32_t kEvtVariantTypeArray = 128;
inline constexpr uint32_t kEvtVariantTypeMask = 0x7f;

// EVT_SYSTEM_PROPERTY_ID: index into the array that EvtRender returns for a
// system render context.
enum EvtSystemPropertyId : uint32_t {
  kEvtSystemProviderName = 0,
  kEvtSystemProviderGuid = 1,
  kEvtSystemEventID = 2,
  kEvtSystemQualifiers = 3,
  kEvtSystemLevel = 4,
  kEvtSystemTask = 5,
  kEvtSystemOpcode = 6,
  kEvtSystemKeywords = 7,
  kEvtSystemTimeCreated = 8,
  kEvtSystemEventRecordId = 9,
  kEvtSystemActivityID = 10,
  kEvtSystemRelatedActivityID = 11,
  kEvtSystemProcessID = 12,
  kEvtSystemThreadID = 13,
  kEvtSystemChannel = 14,
  kEvtSystemComputer = 15,
  kEvtSystemUserID = 16,
  kEvtSystemVersion = 17,
  kEvtSystemPropertyIdEnd = 18,
};

// Flags and ids the tool passes.
inline constexpr uint32_t kEvtQueryChannelPath = 0x1;
inline constexpr uint32_t kEvtQueryFilePath = 0x2;
inline constexpr uint32_t kEvtQueryForwardDirection = 0x100;
inline constexpr uint32_t kEvtQueryReverseDirection = 0x200;
inline constexpr uint32_t kEvtQueryTolerateQueryErrors = 0x1000;
inline constexpr uint32_t kEvtRenderContextValues = 0;
inline constexpr uint32_t kEvtRenderContextSystem = 1;
inline constexpr uint32_t kEvtRenderContextUser = 2;
inline constexpr uint32_t kEvtRenderEventValues = 0;
inline constexpr uint32_t kEvtRenderEventXml = 1;
inline constexpr uint32_t kEvtFormatMessageEvent = 1;
inline constexpr uint32_t kEvtFormatMessageId = 8;
inline constexpr uint32_t kEventMetadataEventID = 0;
inline constexpr uint32_t kEventMetadataEventMessageID = 7;
// The EventMetadataEventMessageID of a definition that has no message (-1).
inline constexpr uint32_t kNoEventMessage = 0xFFFFFFFFu;
inline constexpr uint32_t kEvtInfiniteTimeout = 0xFFFFFFFFu;
// EVT_SEEK_FLAGS: where an EvtSeek position counts from.
inline constexpr uint32_t kEvtSeekRelativeToFirst = 1;
inline constexpr uint32_t kEvtSeekRelativeToLast = 2;
inline constexpr uint32_t kEvtSeekRelativeToCurrent = 3;
inline constexpr uint32_t kEvtSeekRelativeToBookmark = 4;

class EventLogApi {
 public:
  virtual ~EventLogApi() = default;

  // Opens a query. session null = local computer. With a structured
  // QueryList the path is null. Fails with 15001 for a query the service
  // cannot parse or does not support, 15007 for an unknown channel.
  virtual EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                             const char16_t* query, uint32_t flags) = 0;
  // Fills up to `events_size` handles. False with kErrorNoMoreItems at the
  // end; kErrorTimeout when nothing arrived within `timeout_ms`. The real
  // service moves its read position past the events asked for even when it
  // refuses them with RPC_S_INVALID_BOUND (a batch too large for one answer).
  virtual bool EvtNext(EvtHandle result_set, uint32_t events_size,
                       EvtHandle* events, uint32_t timeout_ms, uint32_t flags,
                       uint32_t* returned) = 0;
  // Moves the read position of a result set: `position` events from the
  // origin that `flags` names (kEvtSeekRelativeTo...). `timeout_ms` is
  // reserved and must be 0. The real service seeks only in Admin and
  // Operational channels and in log files.
  virtual bool EvtSeek(EvtHandle result_set, int64_t position,
                       EvtHandle bookmark, uint32_t timeout_ms,
                       uint32_t flags) = 0;
  virtual bool EvtCancel(EvtHandle object) = 0;
  virtual bool EvtClose(EvtHandle object) = 0;
  virtual EvtHandle EvtCreateRenderContext(uint32_t value_paths_count,
                                           const char16_t** value_paths,
                                           uint32_t flags) = 0;
  // With kEvtRenderEventValues and a system context: an EvtVariant array
  // indexed by EvtSystemPropertyId, strings stored in the same buffer.
  // `buffer_size` and `buffer_used` are in bytes.
  virtual bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                         uint32_t buffer_size, void* buffer,
                         uint32_t* buffer_used, uint32_t* property_count) = 0;
  virtual EvtHandle EvtOpenPublisherMetadata(EvtHandle session,
                                             const char16_t* publisher_id,
                                             const char16_t* log_file_path,
                                             uint32_t locale,
                                             uint32_t flags) = 0;
  // `buffer_size` and `buffer_used` count UTF-16 units, terminator included.
  // 15027 / 15028: there is no message.
  virtual bool EvtFormatMessage(EvtHandle publisher_metadata, EvtHandle event,
                                uint32_t message_id, uint32_t value_count,
                                const EvtVariant* values, uint32_t flags,
                                uint32_t buffer_size, char16_t* buffer,
                                uint32_t* buffer_used) = 0;
  virtual EvtHandle EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                             uint32_t flags) = 0;
  // Null at the end (kErrorNoMoreItems) or on error.
  virtual EvtHandle EvtNextEventMetadata(EvtHandle enumerator,
                                         uint32_t flags) = 0;
  // One EvtVariant (plus any data it points to); sizes in bytes.
  virtual bool EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                           uint32_t property_id, uint32_t flags,
                                           uint32_t buffer_size,
                                           EvtVariant* buffer,
                                           uint32_t* buffer_used) = 0;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_EVENT_LOG_API_H_
