// The real kernel32/user32 calls behind SystemApi; see windows_system.h.
#include "platform/windows/windows_system.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <iostream>

#include "platform/code_page_utf8.h"
#include "platform/time_convert.h"

namespace qrv {

namespace {

// Compares one of our constants with the SDK's, whatever enum each is.
constexpr bool Same(uint64_t ours, uint64_t sdk) { return ours == sdk; }

static_assert(Same(kCpAcp, CP_ACP));
static_assert(Same(kCpThreadAcp, CP_THREAD_ACP));
static_assert(Same(kMbOk, MB_OK));
static_assert(Same(kFormatMessageAllocateBuffer, FORMAT_MESSAGE_ALLOCATE_BUFFER));
static_assert(Same(kFormatMessageIgnoreInserts, FORMAT_MESSAGE_IGNORE_INSERTS));
static_assert(Same(kFormatMessageFromSystem, FORMAT_MESSAGE_FROM_SYSTEM));
static_assert(Same(kLangNeutralDefault, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)));
static_assert(Same(kCtrlCEvent, CTRL_C_EVENT));
static_assert(Same(kCtrlBreakEvent, CTRL_BREAK_EVENT));
static_assert(Same(kCtrlCloseEvent, CTRL_CLOSE_EVENT));
static_assert(Same(kCtrlLogoffEvent, CTRL_LOGOFF_EVENT));
static_assert(Same(kCtrlShutdownEvent, CTRL_SHUTDOWN_EVENT));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
// EvtVariant's systemtime_val points at a SYSTEMTIME.
static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));

// The Win32 error codes the logic tests for are the system's own.
static_assert(Same(kErrorSuccess, ERROR_SUCCESS));
static_assert(Same(kErrorInvalidFunction, ERROR_INVALID_FUNCTION));
static_assert(Same(kErrorFileNotFound, ERROR_FILE_NOT_FOUND));
static_assert(Same(kErrorPathNotFound, ERROR_PATH_NOT_FOUND));
static_assert(Same(kErrorAccessDenied, ERROR_ACCESS_DENIED));
static_assert(Same(kErrorInvalidHandle, ERROR_INVALID_HANDLE));
static_assert(Same(kErrorNotEnoughMemory, ERROR_NOT_ENOUGH_MEMORY));
static_assert(Same(kErrorBadFormat, ERROR_BAD_FORMAT));
static_assert(Same(kErrorInvalidData, ERROR_INVALID_DATA));
static_assert(Same(kErrorOutOfMemory, ERROR_OUTOFMEMORY));
static_assert(Same(kErrorHandleEof, ERROR_HANDLE_EOF));
static_assert(Same(kErrorNotSupported, ERROR_NOT_SUPPORTED));
static_assert(Same(kErrorInvalidParameter, ERROR_INVALID_PARAMETER));
static_assert(Same(kErrorInsufficientBuffer, ERROR_INSUFFICIENT_BUFFER));
static_assert(Same(kErrorBadPathname, ERROR_BAD_PATHNAME));
static_assert(Same(kErrorMoreData, ERROR_MORE_DATA));
static_assert(Same(kErrorNoMoreItems, ERROR_NO_MORE_ITEMS));
static_assert(Same(kErrorMrMidNotFound, ERROR_MR_MID_NOT_FOUND));
static_assert(Same(kErrorOperationAborted, ERROR_OPERATION_ABORTED));
static_assert(Same(kErrorCantOpenAnonymous, ERROR_CANT_OPEN_ANONYMOUS));
static_assert(Same(kErrorFileCorrupt, ERROR_FILE_CORRUPT));
static_assert(Same(kErrorResourceDataNotFound, ERROR_RESOURCE_DATA_NOT_FOUND));
static_assert(Same(kErrorResourceTypeNotFound, ERROR_RESOURCE_TYPE_NOT_FOUND));
static_assert(Same(kErrorResourceNameNotFound, ERROR_RESOURCE_NAME_NOT_FOUND));
static_assert(Same(kErrorTimeout, ERROR_TIMEOUT));
static_assert(Same(kRpcSInvalidBound, RPC_S_INVALID_BOUND));
static_assert(Same(kErrorRegistryCorrupt, ERROR_REGISTRY_CORRUPT));
static_assert(Same(kErrorKeyDeleted, ERROR_KEY_DELETED));
static_assert(Same(kErrorEvtInvalidChannelPath, ERROR_EVT_INVALID_CHANNEL_PATH));
static_assert(Same(kErrorEvtInvalidQuery, ERROR_EVT_INVALID_QUERY));
static_assert(Same(kErrorEvtPublisherMetadataNotFound, ERROR_EVT_PUBLISHER_METADATA_NOT_FOUND));
static_assert(Same(kErrorEvtEventTemplateNotFound, ERROR_EVT_EVENT_TEMPLATE_NOT_FOUND));
static_assert(Same(kErrorEvtInvalidPublisherName, ERROR_EVT_INVALID_PUBLISHER_NAME));
static_assert(Same(kErrorEvtInvalidEventData, ERROR_EVT_INVALID_EVENT_DATA));
static_assert(Same(kErrorEvtChannelNotFound, ERROR_EVT_CHANNEL_NOT_FOUND));
static_assert(Same(kErrorEvtMalformedXmlText, ERROR_EVT_MALFORMED_XML_TEXT));
static_assert(Same(kErrorEvtConfigurationError, ERROR_EVT_CONFIGURATION_ERROR));
static_assert(Same(kErrorEvtQueryResultStale, ERROR_EVT_QUERY_RESULT_STALE));
static_assert(Same(kErrorEvtEnabledDirectChannel, ERROR_EVT_INVALID_OPERATION_OVER_ENABLED_DIRECT_CHANNEL));
static_assert(Same(kErrorEvtMessageNotFound, ERROR_EVT_MESSAGE_NOT_FOUND));
static_assert(Same(kErrorEvtMessageIdNotFound, ERROR_EVT_MESSAGE_ID_NOT_FOUND));
static_assert(Same(kErrorEvtUnresolvedValueInsert, ERROR_EVT_UNRESOLVED_VALUE_INSERT));
static_assert(Same(kErrorEvtUnresolvedParameterInsert, ERROR_EVT_UNRESOLVED_PARAMETER_INSERT));
static_assert(Same(kErrorEvtMaxInsertsReached, ERROR_EVT_MAX_INSERTS_REACHED));
static_assert(Same(kErrorEvtEventDefinitionNotFound, ERROR_EVT_EVENT_DEFINITION_NOT_FOUND));
static_assert(Same(kErrorEvtMessageLocaleNotFound, ERROR_EVT_MESSAGE_LOCALE_NOT_FOUND));
static_assert(Same(kErrorMuiFileNotFound, ERROR_MUI_FILE_NOT_FOUND));
static_assert(Same(kErrorMuiInvalidFile, ERROR_MUI_INVALID_FILE));
static_assert(static_cast<int32_t>(kEInvalidArg) == E_INVALIDARG);

// The handler the tool registered. The system calls the trampoline on a
// thread of its own, hence the atomic.
std::atomic<ConsoleCtrlHandler> registered_handler{nullptr};

BOOL WINAPI ConsoleCtrlTrampoline(DWORD ctrl_type) {
  const ConsoleCtrlHandler handler = registered_handler.load();
  return handler != nullptr && handler(ctrl_type) ? TRUE : FALSE;
}

}  // namespace

// The tool converts with CP_ACP, the system locale's code page ("language
// for non-Unicode programs"), because argv and the registry's ...A functions
// give their bytes in it. CP_THREAD_ACP, the user locale's, differs on a
// machine whose user locale is, say, Japanese (932) while the system locale
// is English (1252). Lead bytes must come from the code page the conversions
// use: GetCPInfoEx resolves CP_ACP to its number and lead-byte ranges.
WindowsSystem::WindowsSystem() {
  CPINFOEXW info{};
  if (::GetCPInfoExW(CP_ACP, 0, &info) == FALSE) {
    ansi_code_page_ = ::GetACP();
    return;
  }
  ansi_code_page_ = info.CodePage;
  // Pairs of inclusive ranges, ended by a pair of zeros.
  for (size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) {
      lead_byte_[b] = true;
    }
  }
}

uint32_t WindowsSystem::GetLastError() { return ::GetLastError(); }

void WindowsSystem::SetLastError(uint32_t code) { ::SetLastError(code); }

int WindowsSystem::MessageBoxA(void* owner, const char* text,
                               const char* caption, uint32_t type) {
  // A service, or a task run whether the user is logged on or not, has a
  // window station no one sees: a box there would wait forever. The box is
  // shown only on a station known to be visible.
  USEROBJECTFLAGS flags{};
  const HWINSTA station = ::GetProcessWindowStation();
  if (station == nullptr ||
      ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags,
                                  nullptr) == FALSE ||
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    ::SetLastError(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
    return 0;
  }
  return ::MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

bool WindowsSystem::SetConsoleCtrlHandler(ConsoleCtrlHandler handler,
                                          bool add) {
  if (add) {
    // The trampoline stays registered once; a second add only swaps the
    // handler it calls.
    if (registered_handler.exchange(handler) != nullptr) return true;
    return ::SetConsoleCtrlHandler(ConsoleCtrlTrampoline, TRUE) != FALSE;
  }
  // The flag that makes the process ignore Ctrl+C, inherited from a parent
  // that started it in a new process group.
  if (handler == nullptr) return ::SetConsoleCtrlHandler(nullptr, FALSE) != FALSE;
  if (registered_handler.load() != handler) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  registered_handler.store(nullptr);
  return ::SetConsoleCtrlHandler(ConsoleCtrlTrampoline, FALSE) != FALSE;
}

void WindowsSystem::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint32_t WindowsSystem::FormatMessageA(uint32_t flags, const void* source,
                                       uint32_t message_id,
                                       uint32_t language_id, char** buffer,
                                       uint32_t size, void* arguments) {
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the system takes the address of the
  // caller's pointer, passed as if it were the text buffer.
  LPSTR target = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0
                     ? reinterpret_cast<LPSTR>(buffer)
                     : *buffer;
  return ::FormatMessageA(flags, source, message_id, language_id, target, size,
                          static_cast<va_list*>(arguments));
}

void* WindowsSystem::LocalFree(void* memory) {
  return ::LocalFree(static_cast<HLOCAL>(memory));
}

bool WindowsSystem::FileTimeToSystemTime(const FileTime* file_time,
                                         SystemTime* system_time) {
  const FILETIME in{file_time->low, file_time->high};
  SYSTEMTIME out{};
  if (::FileTimeToSystemTime(&in, &out) == FALSE) return false;
  *system_time = SystemTime{out.wYear,   out.wMonth,  out.wDayOfWeek,
                            out.wDay,    out.wHour,   out.wMinute,
                            out.wSecond, out.wMilliseconds};
  return true;
}

int WindowsSystem::WideCharToMultiByte(uint32_t code_page, uint32_t flags,
                                       const char16_t* wide, int wide_length,
                                       char* multi_byte, int multi_byte_size,
                                       const char* default_char,
                                       bool* used_default_char) {
  BOOL used = FALSE;
  const int length = ::WideCharToMultiByte(
      code_page, flags, reinterpret_cast<LPCWCH>(wide), wide_length,
      multi_byte, multi_byte_size, default_char,
      used_default_char != nullptr ? &used : nullptr);
  if (used_default_char != nullptr) *used_default_char = used != FALSE;
  return length;
}

int WindowsSystem::MultiByteToWideChar(uint32_t code_page, uint32_t flags,
                                       const char* multi_byte,
                                       int multi_byte_length, char16_t* wide,
                                       int wide_size) {
  return ::MultiByteToWideChar(code_page, flags, multi_byte, multi_byte_length,
                               reinterpret_cast<LPWSTR>(wide), wide_size);
}

size_t WindowsSystem::CharLength(const char* text, size_t remaining) {
  if (remaining == 0) return 0;
  // A UTF-8 ANSI code page (the "Beta: Use Unicode UTF-8" system setting)
  // has no lead-byte ranges in CPINFOEX; walk its sequences instead.
  if (ansi_code_page_ == CP_UTF8) return Utf8CharLength(text, remaining);
  if (remaining >= 2 && lead_byte_[static_cast<unsigned char>(*text)]) return 2;
  return 1;
}

int64_t WindowsSystem::CurrentTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t ticks =
      (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<int64_t>((ticks - kUnixEpochTicks) / kTicksPerSecond);
}

void WindowsSystem::EndProcess(int status) {
  std::cout.flush();
  std::fflush(stdout);
  // Not ExitProcess: it ends the other threads wherever they are and then
  // calls every DLL's detach routine, which deadlocks when the main thread
  // was stopped holding a lock of the RPC layer or the heap; its page
  // recommends TerminateProcess when the state of other threads is unknown.
  // TerminateProcess runs no detach routine and no static destructor.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
}

}  // namespace qrv
