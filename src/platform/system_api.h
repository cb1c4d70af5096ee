// The remaining system calls the tool makes: last-error code, message box,
// console control, sleep, system error texts, time conversion, code pages and
// the clock. Win32 shapes and numbers; on POSIX the ANSI code page is UTF-8.
#ifndef QRV_PLATFORM_SYSTEM_API_H_
#define QRV_PLATFORM_SYSTEM_API_H_

#include <cstddef>
#include <cstdint>

#include "platform/win32_types.h"

namespace qrv {

// The ANSI code page the tool converts with: the system's (CP_ACP), which is
// what argv and the registry's ...A functions hand out. CP_THREAD_ACP follows
// the user's locale, which may differ.
inline constexpr uint32_t kCpAcp = 0;        // CP_ACP
inline constexpr uint32_t kCpThreadAcp = 3;  // CP_THREAD_ACP
inline constexpr uint32_t kMbOk = 0;          // MB_OK
inline constexpr uint32_t kFormatMessageAllocateBuffer = 0x100;
inline constexpr uint32_t kFormatMessageIgnoreInserts = 0x200;
inline constexpr uint32_t kFormatMessageFromSystem = 0x1000;
inline constexpr uint32_t kLangNeutralDefault = 0x0400;

// Console control events (CTRL_*_EVENT).
inline constexpr uint32_t kCtrlCEvent = 0;
inline constexpr uint32_t kCtrlBreakEvent = 1;
inline constexpr uint32_t kCtrlCloseEvent = 2;
inline constexpr uint32_t kCtrlLogoffEvent = 5;
inline constexpr uint32_t kCtrlShutdownEvent = 6;

// PHANDLER_ROUTINE: called on a thread of its own for a console event.
using ConsoleCtrlHandler = bool (*)(uint32_t ctrl_type);

class SystemApi {
 public:
  virtual ~SystemApi() = default;

  virtual uint32_t GetLastError() = 0;
  virtual void SetLastError(uint32_t code) = 0;

  // Modal; returns the button pressed (IDOK = 1), or 0 when no box could be
  // shown (then GetLastError says why).
  virtual int MessageBoxA(void* owner, const char* text, const char* caption,
                          uint32_t type) = 0;
  // Adds or removes `handler`. A null handler with `add` false clears the
  // "ignore Ctrl+C" flag a process inherits when started in a new process
  // group (Windows); the POSIX backend has no such flag and refuses it with
  // kErrorInvalidParameter, which the logic ignores.
  virtual bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;

  // FormatMessageA as the tool calls it: with kFormatMessageAllocateBuffer
  // the system allocates the text and stores its address in *buffer; the
  // caller releases it with LocalFree. Returns the number of characters
  // stored (0 on failure: no text for the code).
  virtual uint32_t FormatMessageA(uint32_t flags, const void* source,
                                  uint32_t message_id, uint32_t language_id,
                                  char** buffer, uint32_t size,
                                  void* arguments) = 0;
  virtual void* LocalFree(void* memory) = 0;

  // UTC FILETIME to SYSTEMTIME; false for values the system rejects
  // (ticks of 0x8000000000000000 and above).
  virtual bool FileTimeToSystemTime(const FileTime* file_time,
                                    SystemTime* system_time) = 0;

  // Code-page conversions with the Win32 contract: a length of -1 means
  // NUL-terminated (the terminator is then converted and counted); an output
  // size of 0 asks for the size needed. Return 0 on failure.
  virtual int WideCharToMultiByte(uint32_t code_page, uint32_t flags,
                                  const char16_t* wide, int wide_length,
                                  char* multi_byte, int multi_byte_size,
                                  const char* default_char,
                                  bool* used_default_char) = 0;
  virtual int MultiByteToWideChar(uint32_t code_page, uint32_t flags,
                                  const char* multi_byte, int multi_byte_length,
                                  char16_t* wide, int wide_size) = 0;
  // Bytes taken by the ANSI-code-page character that starts at `text`
  // (1 for single-byte characters, 2 for a double-byte pair, up to 4 for a
  // UTF-8 sequence), never more than `remaining`, never 0 when remaining > 0.
  virtual size_t CharLength(const char* text, size_t remaining) = 0;

  // The current calendar time in whole seconds since 1970-01-01T00:00:00Z.
  virtual int64_t CurrentTime() = 0;

  // Ends the process with `status` after flushing standard output. Used by
  // the console control handler, which runs while the main thread may still
  // be working (inside the RPC layer or the heap, holding their locks), so it
  // must neither run static destructors under its feet nor notify DLLs.
  virtual void EndProcess(int status) = 0;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_SYSTEM_API_H_
