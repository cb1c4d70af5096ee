// PosixSystem; see posix_system.h.
#include "platform/offline/posix_system.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <thread>

#include "platform/code_page_utf8.h"
#include "platform/offline/posix_console_control.h"
#include "platform/offline/progress_line.h"
#include "platform/offline/system_error_texts.h"
#include "platform/offline/terminal_message_box.h"
#include "platform/time_convert.h"

namespace qrv {

namespace {
thread_local uint32_t last_error = kErrorSuccess;

constexpr uint32_t kMbButtonMask = 0xF;  // MB_TYPEMASK
constexpr uint32_t kSupportedFormatFlags = kFormatMessageFromSystem |
                                           kFormatMessageIgnoreInserts |
                                           kFormatMessageAllocateBuffer;
}  // namespace

uint32_t PosixSystem::GetLastError() { return last_error; }
void PosixSystem::SetLastError(uint32_t code) { last_error = code; }

int PosixSystem::MessageBoxA(void*, const char* text, const char* caption,
                             uint32_t type) {
  if ((type & kMbButtonMask) != kMbOk) {
    SetLastError(kErrorNotSupported);
    return 0;
  }
  uint32_t error = kErrorSuccess;
  // The progress line waits while the box does, and its two seconds start
  // once the box is answered.
  const ProgressLinePause pause;
  const int result = ShowTerminalMessageBox(
      terminal_.c_str(), text != nullptr ? text : "",
      caption != nullptr ? caption : "", &error);
  if (result == 0) SetLastError(error);
  return result;
}

bool PosixSystem::SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) {
  const uint32_t error = add ? AddConsoleCtrlHandler(handler)
                             : RemoveConsoleCtrlHandler(handler);
  if (error != kErrorSuccess) {
    SetLastError(error);
    return false;
  }
  return true;
}

void PosixSystem::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t PosixSystem::FormatMessageA(uint32_t flags, const void*,
                                     uint32_t message_id, uint32_t, char** buffer,
                                     uint32_t, void*) {
  if (flags != kSupportedFormatFlags) {
    SetLastError(kErrorNotSupported);
    return 0;
  }
  if (buffer == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  *buffer = nullptr;
  const std::string_view text = SystemErrorText(message_id);
  if (text.empty()) {
    SetLastError(kErrorMrMidNotFound);
    return 0;
  }
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  *buffer = copy;
  return static_cast<uint32_t>(text.size());
}

void* PosixSystem::LocalFree(void* memory) {
  std::free(memory);
  return nullptr;
}

bool PosixSystem::FileTimeToSystemTime(const FileTime* file_time,
                                       SystemTime* system_time) {
  if (file_time == nullptr || system_time == nullptr ||
      !ConvertFileTimeToSystemTime(file_time->Ticks(), system_time)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

bool PosixSystem::CheckConversion(uint32_t code_page, uint32_t flags) {
  if (code_page != kCpAcp && code_page != kCpThreadAcp &&
      code_page != kCpUtf8) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (flags != 0) {
    SetLastError(kErrorInvalidFlags);
    return false;
  }
  return true;
}

int PosixSystem::WideCharToMultiByte(uint32_t code_page, uint32_t flags,
                                     const char16_t* wide, int wide_length,
                                     char* multi_byte, int multi_byte_size,
                                     const char* default_char,
                                     bool* used_default_char) {
  if (!CheckConversion(code_page, flags)) return 0;
  if (default_char != nullptr || used_default_char != nullptr) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  const ConversionResult r =
      WideCharToUtf8(wide, wide_length, multi_byte, multi_byte_size);
  if (r.length == 0) SetLastError(r.error);
  return r.length;
}

int PosixSystem::MultiByteToWideChar(uint32_t code_page, uint32_t flags,
                                     const char* multi_byte,
                                     int multi_byte_length, char16_t* wide,
                                     int wide_size) {
  if (!CheckConversion(code_page, flags)) return 0;
  const ConversionResult r =
      Utf8ToWideChar(multi_byte, multi_byte_length, wide, wide_size);
  if (r.length == 0) SetLastError(r.error);
  return r.length;
}

size_t PosixSystem::CharLength(const char* text, size_t remaining) {
  return Utf8CharLength(text, remaining);
}

int64_t PosixSystem::CurrentTime() {
  return static_cast<int64_t>(std::time(nullptr));
}

void PosixSystem::EndProcess(int status) {
  StopProgressLine();
  std::cout.flush();
  std::fflush(stdout);
  std::_Exit(status);
}

}  // namespace qrv
