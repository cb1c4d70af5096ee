// Win32-shaped scalar types, handles and error codes that the logic uses
// without including <windows.h>. The numbers are the real Windows ones, so
// the Windows backend passes them straight through.
#ifndef QRV_PLATFORM_WIN32_TYPES_H_
#define QRV_PLATFORM_WIN32_TYPES_H_

#include <cstdint>

namespace qrv {

// Opaque event-log handle (EVT_HANDLE). Null means "no handle"; as on
// Windows, a null session handle means the local computer.
struct EvtObject;
using EvtHandle = EvtObject*;

// Opaque registry key (HKEY).
struct RegKeyObject;
using HKey = RegKeyObject*;
// HKEY_LOCAL_MACHINE's predefined value; the only root the tool opens.
inline HKey LocalMachineKey() {
  return reinterpret_cast<HKey>(static_cast<uintptr_t>(0x80000002u));
}

// FILETIME as one number: 100-nanosecond ticks since 1601-01-01 00:00 UTC.
struct FileTime {
  uint32_t low = 0;
  uint32_t high = 0;
  uint64_t Ticks() const { return (static_cast<uint64_t>(high) << 32) | low; }
  static FileTime FromTicks(uint64_t t) {
    return FileTime{static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32)};
  }
};

// SYSTEMTIME, field for field.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day_of_week = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// Win32 error codes the tool and its backends produce or test for.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorBadFormat = 11;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorHandleEof = 38;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorBadPathname = 161;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorNoMoreItems = 259;
inline constexpr uint32_t kErrorMrMidNotFound = 317;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorCantOpenAnonymous = 1347;
inline constexpr uint32_t kErrorFileCorrupt = 1392;
inline constexpr uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr uint32_t kErrorResourceNameNotFound = 1814;
inline constexpr uint32_t kErrorTimeout = 1460;
// RPC_S_INVALID_BOUND: an RPC answer larger than the bound it was given.
inline constexpr uint32_t kRpcSInvalidBound = 1734;
inline constexpr uint32_t kErrorRegistryCorrupt = 1015;
inline constexpr uint32_t kErrorKeyDeleted = 1018;
inline constexpr uint32_t kErrorEvtInvalidChannelPath = 15000;
inline constexpr uint32_t kErrorEvtInvalidQuery = 15001;
inline constexpr uint32_t kErrorEvtPublisherMetadataNotFound = 15002;
inline constexpr uint32_t kErrorEvtEventTemplateNotFound = 15003;
inline constexpr uint32_t kErrorEvtInvalidPublisherName = 15004;
inline constexpr uint32_t kErrorEvtInvalidEventData = 15005;
inline constexpr uint32_t kErrorEvtChannelNotFound = 15007;
inline constexpr uint32_t kErrorEvtMalformedXmlText = 15008;
inline constexpr uint32_t kErrorEvtConfigurationError = 15010;
// ERROR_EVT_QUERY_RESULT_STALE: the log was cleared or wrapped under a query.
inline constexpr uint32_t kErrorEvtQueryResultStale = 15011;
// ERROR_EVT_INVALID_OPERATION_OVER_ENABLED_DIRECT_CHANNEL: EvtQuery's answer
// for an enabled Analytic or Debug channel.
inline constexpr uint32_t kErrorEvtEnabledDirectChannel = 15022;
inline constexpr uint32_t kErrorEvtMessageNotFound = 15027;
inline constexpr uint32_t kErrorEvtMessageIdNotFound = 15028;
inline constexpr uint32_t kErrorEvtUnresolvedValueInsert = 15029;
inline constexpr uint32_t kErrorEvtUnresolvedParameterInsert = 15030;
inline constexpr uint32_t kErrorEvtMaxInsertsReached = 15031;
inline constexpr uint32_t kErrorEvtEventDefinitionNotFound = 15032;
inline constexpr uint32_t kErrorEvtMessageLocaleNotFound = 15033;
inline constexpr uint32_t kErrorMuiFileNotFound = 15100;
inline constexpr uint32_t kErrorMuiInvalidFile = 15101;

// HRESULT raised by string and time operations on an invalid argument.
inline constexpr uint32_t kEInvalidArg = 0x80070057u;

}  // namespace qrv

#endif  // QRV_PLATFORM_WIN32_TYPES_H_
