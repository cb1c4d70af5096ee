// The platform the logic runs on: the three call surfaces plus the stream
// that carries the tool's output. One Platform is installed per process (the
// program installs the Windows or offline backend at start; tests install a
// fake with ScopedPlatform). The logic reaches it only through the thin
// wrappers below, which read like the Win32 calls they stand for.
#ifndef QRV_PLATFORM_PLATFORM_H_
#define QRV_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string_view>

#include "platform/event_log_api.h"
#include "platform/registry_api.h"
#include "platform/system_api.h"

namespace qrv {

struct Platform {
  EventLogApi* event_log = nullptr;
  RegistryApi* registry = nullptr;
  SystemApi* system = nullptr;
  std::ostream* out = nullptr;  // the tool's only output: standard output
};

// The installed platform. Installing replaces the previous one, and must not
// happen while a thread other than the caller may read the platform: the
// program installs it once, before it starts any thread. The console control
// handler reads `out` and `system` on a thread of its own until the process
// ends, so while the program runs only `event_log` changes (ScopedEventLog).
Platform& CurrentPlatform();
void InstallPlatform(const Platform& platform);

// Installs a platform for the lifetime of the object, then restores the one
// that was there before (tests).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(const Platform& platform)
      : saved_(CurrentPlatform()) {
    InstallPlatform(platform);
  }
  ~ScopedPlatform() { InstallPlatform(saved_); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform saved_;
};

// Puts `event_log` in front of the installed event-log service for the
// lifetime of the object, then puts the service back. Only that one member of
// the installed platform is written, so the console control thread, which
// never reads it, may read the others meanwhile. Used on the main thread only.
class ScopedEventLog {
 public:
  explicit ScopedEventLog(EventLogApi& event_log)
      : saved_(CurrentPlatform().event_log) {
    CurrentPlatform().event_log = &event_log;
  }
  ~ScopedEventLog() { CurrentPlatform().event_log = saved_; }
  ScopedEventLog(const ScopedEventLog&) = delete;
  ScopedEventLog& operator=(const ScopedEventLog&) = delete;

 private:
  EventLogApi* saved_;
};

// The tool's output. Each line is written whole, with its newline, under the
// output lock and flushed at once, so a reader at the other end of a pipe sees
// every line as soon as it is complete, and a line written from the console
// control thread can never land inside another line.
void WriteLine(std::string_view line);
// The lock WriteLine takes. The console control handler takes it and never
// gives it back: the process ends while it is held.
std::mutex& OutputLock();

// --- event log ---
inline EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                          const char16_t* query, uint32_t flags) {
  return CurrentPlatform().event_log->EvtQuery(session, path, query, flags);
}
inline bool EvtNext(EvtHandle result_set, uint32_t events_size,
                    EvtHandle* events, uint32_t timeout_ms, uint32_t flags,
                    uint32_t* returned) {
  return CurrentPlatform().event_log->EvtNext(result_set, events_size, events,
                                              timeout_ms, flags, returned);
}
inline bool EvtSeek(EvtHandle result_set, int64_t position, EvtHandle bookmark,
                    uint32_t timeout_ms, uint32_t flags) {
  return CurrentPlatform().event_log->EvtSeek(result_set, position, bookmark,
                                              timeout_ms, flags);
}
inline bool EvtCancel(EvtHandle object) {
  return CurrentPlatform().event_log->EvtCancel(object);
}
inline bool EvtClose(EvtHandle object) {
  return CurrentPlatform().event_log->EvtClose(object);
}
inline EvtHandle EvtCreateRenderContext(uint32_t value_paths_count,
                                        const char16_t** value_paths,
                                        uint32_t flags) {
  return CurrentPlatform().event_log->EvtCreateRenderContext(
      value_paths_count, value_paths, flags);
}
inline bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                      uint32_t buffer_size, void* buffer, uint32_t* buffer_used,
                      uint32_t* property_count) {
  return CurrentPlatform().event_log->EvtRender(
      context, fragment, flags, buffer_size, buffer, buffer_used,
      property_count);
}
inline EvtHandle EvtOpenPublisherMetadata(EvtHandle session,
                                          const char16_t* publisher_id,
                                          const char16_t* log_file_path,
                                          uint32_t locale, uint32_t flags) {
  return CurrentPlatform().event_log->EvtOpenPublisherMetadata(
      session, publisher_id, log_file_path, locale, flags);
}
inline bool EvtFormatMessage(EvtHandle publisher_metadata, EvtHandle event,
                             uint32_t message_id, uint32_t value_count,
                             const EvtVariant* values, uint32_t flags,
                             uint32_t buffer_size, char16_t* buffer,
                             uint32_t* buffer_used) {
  return CurrentPlatform().event_log->EvtFormatMessage(
      publisher_metadata, event, message_id, value_count, values, flags,
      buffer_size, buffer, buffer_used);
}
inline EvtHandle EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                          uint32_t flags) {
  return CurrentPlatform().event_log->EvtOpenEventMetadataEnum(
      publisher_metadata, flags);
}
inline EvtHandle EvtNextEventMetadata(EvtHandle enumerator, uint32_t flags) {
  return CurrentPlatform().event_log->EvtNextEventMetadata(enumerator, flags);
}
inline bool EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                        uint32_t property_id, uint32_t flags,
                                        uint32_t buffer_size,
                                        EvtVariant* buffer,
                                        uint32_t* buffer_used) {
  return CurrentPlatform().event_log->EvtGetEventMetadataProperty(
      event_metadata, property_id, flags, buffer_size, buffer, buffer_used);
}

// --- registry ---
inline int32_t RegOpenKeyA(HKey key, const char* sub_key, HKey* result) {
  return CurrentPlatform().registry->RegOpenKeyA(key, sub_key, result);
}
inline int32_t RegEnumKeyA(HKey key, uint32_t index, char* name,
                           uint32_t name_size) {
  return CurrentPlatform().registry->RegEnumKeyA(key, index, name, name_size);
}
inline int32_t RegQueryValueExA(HKey key, const char* value_name,
                                uint32_t* reserved, uint32_t* type,
                                uint8_t* data, uint32_t* data_size) {
  return CurrentPlatform().registry->RegQueryValueExA(key, value_name, reserved,
                                                      type, data, data_size);
}
inline int32_t RegCloseKey(HKey key) {
  return CurrentPlatform().registry->RegCloseKey(key);
}

// --- system ---
inline uint32_t GetLastError() { return CurrentPlatform().system->GetLastError(); }
inline int MessageBoxA(void* owner, const char* text, const char* caption,
                       uint32_t type) {
  return CurrentPlatform().system->MessageBoxA(owner, text, caption, type);
}
inline bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) {
  return CurrentPlatform().system->SetConsoleCtrlHandler(handler, add);
}
inline void Sleep(uint32_t milliseconds) {
  CurrentPlatform().system->Sleep(milliseconds);
}
inline uint32_t FormatMessageA(uint32_t flags, const void* source,
                               uint32_t message_id, uint32_t language_id,
                               char** buffer, uint32_t size, void* arguments) {
  return CurrentPlatform().system->FormatMessageA(
      flags, source, message_id, language_id, buffer, size, arguments);
}
inline void* LocalFree(void* memory) {
  return CurrentPlatform().system->LocalFree(memory);
}
inline bool FileTimeToSystemTime(const FileTime* file_time,
                                 SystemTime* system_time) {
  return CurrentPlatform().system->FileTimeToSystemTime(file_time, system_time);
}
inline int WideCharToMultiByte(uint32_t code_page, uint32_t flags,
                               const char16_t* wide, int wide_length,
                               char* multi_byte, int multi_byte_size,
                               const char* default_char,
                               bool* used_default_char) {
  return CurrentPlatform().system->WideCharToMultiByte(
      code_page, flags, wide, wide_length, multi_byte, multi_byte_size,
      default_char, used_default_char);
}
inline int MultiByteToWideChar(uint32_t code_page, uint32_t flags,
                               const char* multi_byte, int multi_byte_length,
                               char16_t* wide, int wide_size) {
  return CurrentPlatform().system->MultiByteToWideChar(
      code_page, flags, multi_byte, multi_byte_length, wide, wide_size);
}
inline size_t AnsiCharLength(const char* text, size_t remaining) {
  return CurrentPlatform().system->CharLength(text, remaining);
}
inline int64_t CurrentTime() { return CurrentPlatform().system->CurrentTime(); }
inline void EndProcess(int status) { CurrentPlatform().system->EndProcess(status); }

}  // namespace qrv

#endif  // QRV_PLATFORM_PLATFORM_H_
