// WindowsSystem: the remaining system calls over kernel32 and user32: last
// error, message box, console control, sleep, system error texts, FILETIME
// conversion, code pages, the clock and the process end.
#ifndef QRV_PLATFORM_WINDOWS_WINDOWS_SYSTEM_H_
#define QRV_PLATFORM_WINDOWS_WINDOWS_SYSTEM_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/system_api.h"

namespace qrv {

class WindowsSystem : public SystemApi {
 public:
  // Learns which code page CP_ACP stands for and its lead bytes.
  WindowsSystem();

  uint32_t GetLastError() override;
  void SetLastError(uint32_t code) override;
  // Fails at once with ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION unless the
  // process's window station is visible.
  int MessageBoxA(void* owner, const char* text, const char* caption,
                  uint32_t type) override;
  // One handler at a time: adding replaces the one held, removing clears it.
  bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) override;
  void Sleep(uint32_t milliseconds) override;
  // Without kFormatMessageAllocateBuffer, *buffer is the caller's array of
  // `size` characters, as in the Win32 call.
  uint32_t FormatMessageA(uint32_t flags, const void* source,
                          uint32_t message_id, uint32_t language_id,
                          char** buffer, uint32_t size, void* arguments) override;
  void* LocalFree(void* memory) override;
  bool FileTimeToSystemTime(const FileTime* file_time,
                            SystemTime* system_time) override;
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
  void EndProcess(int status) override;

 private:
  uint32_t ansi_code_page_ = 0;
  std::array<bool, 256> lead_byte_{};
};

}  // namespace qrv

#endif  // QRV_PLATFORM_WINDOWS_WINDOWS_SYSTEM_H_
