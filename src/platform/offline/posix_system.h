// The system calls off Windows (PosixSystem): a per-thread last error, the
// message box on the controlling terminal, console control events from
// signals, system error texts from the offline table, UTF-8 as the ANSI code
// page, and the real clock.
#ifndef QRV_PLATFORM_OFFLINE_POSIX_SYSTEM_H_
#define QRV_PLATFORM_OFFLINE_POSIX_SYSTEM_H_

#include <string>
#include <utility>

#include "platform/system_api.h"

namespace qrv {

inline constexpr uint32_t kCpUtf8 = 65001;  // CP_UTF8

class PosixSystem : public SystemApi {
 public:
  // `terminal` is the device the message box is drawn on and answered from.
  explicit PosixSystem(std::string terminal = "/dev/tty")
      : terminal_(std::move(terminal)) {}

  // One last error per thread, shared by every PosixSystem, as on Windows.
  uint32_t GetLastError() override;
  void SetLastError(uint32_t code) override;
  // MB_OK only (other button sets fail with kErrorNotSupported); with no
  // terminal it fails with ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION.
  int MessageBoxA(void* owner, const char* text, const char* caption,
                  uint32_t type) override;
  // Adds or removes a handler; see posix_console_control.h.
  bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) override;
  void Sleep(uint32_t milliseconds) override;
  // Only FORMAT_MESSAGE_FROM_SYSTEM | IGNORE_INSERTS | ALLOCATE_BUFFER, the
  // one form the tool uses (others fail with kErrorNotSupported); the
  // language is not looked at. A code with no text fails with
  // kErrorMrMidNotFound.
  uint32_t FormatMessageA(uint32_t flags, const void* source,
                          uint32_t message_id, uint32_t language_id,
                          char** buffer, uint32_t size,
                          void* arguments) override;
  void* LocalFree(void* memory) override;
  bool FileTimeToSystemTime(const FileTime* file_time,
                            SystemTime* system_time) override;
  // The ANSI code page (CP_ACP, CP_THREAD_ACP) is UTF-8, and so is CP_UTF8;
  // other code pages and any flags are refused. As for CP_UTF8 on Windows,
  // no substitute character may be asked for.
  int WideCharToMultiByte(uint32_t code_page, uint32_t flags,
                          const char16_t* wide, int wide_length,
                          char* multi_byte, int multi_byte_size,
                          const char* default_char,
                          bool* used_default_char) override;
  int MultiByteToWideChar(uint32_t code_page, uint32_t flags,
                          const char* multi_byte, int multi_byte_length,
                          char16_t* wide, int wide_size) override;
  size_t CharLength(const char* text, size_t remaining) override;
  int64_t CurrentTime() override;
  // Erases the progress line (progress_line.h), flushes standard output
  // and ends the process at once: no static destructors, no atexit
  // handlers, whatever the other threads are doing.
  [[noreturn]] void EndProcess(int status) override;

 private:
  bool CheckConversion(uint32_t code_page, uint32_t flags);

  std::string terminal_;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_POSIX_SYSTEM_H_
