// A scripted fake of the whole platform surface for tests: an event-log
// service answering from scripted events and publishers, a registry tree, and
// the system calls with a fixed clock and no real waiting. Every handle and
// key it hands out is counted; closing one twice, closing an unknown one or
// using one after close is recorded as a violation. Any call can be made to
// fail on its Nth use with any Win32 code, once or from then on.
//
// Use: FakePlatform fake; fake.event_log.AddPublisher(...); ... then
// ScopedPlatform scope(fake.Install()) or FakePlatform::Scope; output written by
// the logic is collected in fake.output.
#ifndef QRV_TESTS_SUPPORT_FAKE_PLATFORM_H_
#define QRV_TESTS_SUPPORT_FAKE_PLATFORM_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qrv::fake {

enum class Call {
  kEvtQuery,
  kEvtNext,
  kEvtSeek,
  kEvtCancel,
  kEvtClose,
  kEvtCreateRenderContext,
  kEvtRender,
  kEvtOpenPublisherMetadata,
  kEvtFormatMessage,
  kEvtOpenEventMetadataEnum,
  kEvtNextEventMetadata,
  kEvtGetEventMetadataProperty,
  kRegOpenKeyA,
  kRegEnumKeyA,
  kRegQueryValueExA,
  kRegCloseKey,
  kMessageBoxA,
  kFormatMessageA,
  kFileTimeToSystemTime,
  kCount,
};

// Scripted failures: the `nth` call (1-based, counted from the start of the
// test) of `call` fails with `code`; with `persistent`, every later call
// fails too. Counts every call so tests can check how often one was made.
class FaultPlan {
 public:
  void Fail(Call call, int nth, uint32_t code, bool persistent = false);
  void Clear() { faults_.clear(); }
  // Counts this call; returns the code it must fail with, if any.
  std::optional<uint32_t> Next(Call call);
  int Count(Call call) const { return counts_[static_cast<int>(call)]; }

 private:
  struct Fault {
    Call call;
    int nth;
    uint32_t code;
    bool persistent;
  };
  std::vector<Fault> faults_;
  int counts_[static_cast<int>(Call::kCount)] = {};
};

class FakeSystem;

// One event as the fake service delivers it.
struct FakeEvent {
  std::u16string provider = u"Test-Provider";
  uint16_t event_id = 1;
  std::optional<uint8_t> level = uint8_t{4};  // nullopt: EvtVarTypeNull entry
  uint64_t keywords = 0;
  uint64_t time_created = 132995441371333044ull;  // FILETIME ticks
  std::u16string channel = u"Application";
  std::u16string computer = u"HOST";
  // The message EvtFormatMessage(EvtFormatMessageEvent) gives, or the code
  // its sizing call fails with when `message_error` is not 0. A message
  // holding %1..%9 has unresolved inserts: both calls fail with 15029 while
  // reporting the size and filling the text, as on Windows. The same holds
  // for FakePublisher::messages.
  std::u16string message = u"Message";
  uint32_t message_error = 0;
  bool null_provider = false;  // ProviderName entry is a null string pointer
};

struct FakeEventMetadata {
  uint32_t event_id = 0;
  uint32_t message_id = 0;
  // Codes the sizing calls of the two properties fail with instead of 122
  // (0: the normal 122), or kSizingSucceeds to make the sizing call succeed.
  uint32_t event_id_error = 0;
  uint32_t message_id_error = 0;
};
inline constexpr uint32_t kSizingSucceeds = 0xFFFFFFFFu;

struct FakePublisher {
  uint32_t open_error = 0;  // EvtOpenPublisherMetadata fails with it
  uint32_t enum_error = 0;  // EvtOpenEventMetadataEnum fails with it
  std::vector<FakeEventMetadata> events;
  std::map<uint32_t, std::u16string> messages;     // by message id
  std::map<uint32_t, uint32_t> message_errors;     // sizing failure by id
};

class FakeEventLog : public EventLogApi {
 public:
  FakeEventLog(FakeSystem& system, FaultPlan& faults);
  ~FakeEventLog() override;

  // What a query returns: exact UTF-16 text match first, else the default.
  void SetQueryResult(const std::string& query_ansi, std::vector<FakeEvent> events);
  void SetQueryError(const std::string& query_ansi, uint32_t code);
  void SetDefaultResult(std::vector<FakeEvent> events);
  void SetDefaultError(uint32_t code);
  // EvtQuery fails with `code` for every query naming the channel
  // (Path='CHANNEL'), as Windows refuses an enabled Analytic or Debug
  // channel with 15022.
  void SetChannelError(const std::string& channel, uint32_t code);
  // At most this many events per EvtNext call (0: as many as asked for).
  void SetBatchLimit(uint32_t n) { batch_limit_ = n; }
  // EvtNext fails with RPC_S_INVALID_BOUND when it would return more than
  // `n` events, as the real service does for batches of large events
  // (0: never). Like the service, it has moved past those events all the
  // same: only an EvtSeek brings them back.
  void SetRpcBound(uint32_t n) { rpc_bound_ = n; }
  // The first result set read at or past `position` goes stale, as when the
  // log is cleared or wraps under a query: that EvtNext and every later one
  // on the set fail with 15011. A query opened afterwards reads normally.
  void SetStaleAt(size_t position) { stale_at_ = position; }
  // Called at the start of every EvtNext (e.g. to deliver Ctrl+C).
  void OnNext(std::function<void()> hook) { next_hook_ = std::move(hook); }
  // EvtFormatMessage as real builds behave (on unless switched off): every
  // call with a buffer writes a NUL one character past `buffer_size`, which
  // ASan reports when the caller allocated exactly the size reported. A call
  // without a buffer, through which Windows writes that NUL too, is recorded
  // as a violation.
  void SetTerminatorPastSize(bool on) { terminator_past_size_ = on; }
  FakePublisher& AddPublisher(const std::u16string& name);

  // Query texts received by EvtQuery, converted to UTF-8, in order.
  const std::vector<std::string>& queries() const { return queries_; }
  const std::vector<uint32_t>& query_flags() const { return query_flags_; }
  // Publisher names opened, in order (UTF-8).
  const std::vector<std::string>& opened_publishers() const { return opened_publishers_; }
  // Batch sizes requested and returned by EvtNext, and timeouts passed.
  const std::vector<uint32_t>& next_returned() const { return next_returned_; }
  const std::vector<uint32_t>& next_timeouts() const { return next_timeouts_; }
  // Positions EvtSeek moved to, in order.
  const std::vector<size_t>& seeks() const { return seeks_; }
  int cancels() const { return cancels_; }
  int open_handles() const;
  int handles_opened() const { return next_id_ - 1; }
  const std::vector<std::string>& violations() const { return violations_; }

  EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                     const char16_t* query, uint32_t flags) override;
  bool EvtNext(EvtHandle result_set, uint32_t events_size, EvtHandle* events,
               uint32_t timeout_ms, uint32_t flags, uint32_t* returned) override;
  // Relative to the first event or the current position; a bookmark is
  // refused with ERROR_NOT_SUPPORTED. Past the last event: at the end.
  bool EvtSeek(EvtHandle result_set, int64_t position, EvtHandle bookmark,
               uint32_t timeout_ms, uint32_t flags) override;
  bool EvtCancel(EvtHandle object) override;
  bool EvtClose(EvtHandle object) override;
  EvtHandle EvtCreateRenderContext(uint32_t value_paths_count,
                                   const char16_t** value_paths,
                                   uint32_t flags) override;
  bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                 uint32_t buffer_size, void* buffer, uint32_t* buffer_used,
                 uint32_t* property_count) override;
  EvtHandle EvtOpenPublisherMetadata(EvtHandle session,
                                     const char16_t* publisher_id,
                                     const char16_t* log_file_path,
                                     uint32_t locale, uint32_t flags) override;
  bool EvtFormatMessage(EvtHandle publisher_metadata, EvtHandle event,
                        uint32_t message_id, uint32_t value_count,
                        const EvtVariant* values, uint32_t flags,
                        uint32_t buffer_size, char16_t* buffer,
                        uint32_t* buffer_used) override;
  EvtHandle EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                     uint32_t flags) override;
  EvtHandle EvtNextEventMetadata(EvtHandle enumerator, uint32_t flags) override;
  bool EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                   uint32_t property_id, uint32_t flags,
                                   uint32_t buffer_size, EvtVariant* buffer,
                                   uint32_t* buffer_used) override;

 private:
  enum class Kind { kQuery, kEvent, kRenderContext, kPublisher, kMetadataEnum, kEventMetadata };
  struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    bool open = true;
    std::vector<FakeEvent> events;  // kQuery: the result; kEvent: one event
    size_t position = 0;            // kQuery, kMetadataEnum
    bool stale = false;             // kQuery
    const FakePublisher* publisher = nullptr;
    FakeEventMetadata metadata;
  };
  struct Scripted {
    uint32_t error = 0;
    std::vector<FakeEvent> events;
  };

  EvtHandle NewHandle(Object object);
  Object* Lookup(EvtHandle handle, Kind kind, const char* call);
  bool Fail(uint32_t code);

  FakeSystem& system_;
  FaultPlan& faults_;
  std::map<std::u16string, Scripted> scripted_;
  std::map<std::u16string, uint32_t> channel_errors_;
  Scripted default_;
  std::map<std::u16string, FakePublisher> publishers_;
  std::map<uintptr_t, Object> objects_;
  uintptr_t next_id_ = 1;
  uint32_t batch_limit_ = 0;
  uint32_t rpc_bound_ = 0;
  std::optional<size_t> stale_at_;
  std::function<void()> next_hook_;
  bool terminator_past_size_ = true;
  std::vector<std::string> queries_;
  std::vector<uint32_t> query_flags_;
  std::vector<std::string> opened_publishers_;
  std::vector<uint32_t> next_returned_;
  std::vector<uint32_t> next_timeouts_;
  std::vector<size_t> seeks_;
  int cancels_ = 0;
  std::vector<std::string> violations_;
};

class FakeRegistry : public RegistryApi {
 public:
  FakeRegistry(FakeSystem& system, FaultPlan& faults);

  // Creates a key (and its parents) below HKEY_LOCAL_MACHINE. Subkeys
  // enumerate in the order they were created.
  void AddKey(const std::string& path);
  // Sets a value (the key is created); an empty name is the default value.
  // `data` is stored byte for byte: strings get no terminator unless given.
  void SetValue(const std::string& path, const std::string& name,
                const std::string& data, uint32_t type = kRegSz);
  // A REG_SZ value stored as Windows stores it, with its terminating NUL.
  void SetString(const std::string& path, const std::string& name,
                 const std::string& text);

  int open_keys() const;
  const std::vector<std::string>& opened_paths() const { return opened_paths_; }
  const std::vector<std::string>& violations() const { return violations_; }

  int32_t RegOpenKeyA(HKey key, const char* sub_key, HKey* result) override;
  int32_t RegEnumKeyA(HKey key, uint32_t index, char* name,
                      uint32_t name_size) override;
  int32_t RegQueryValueExA(HKey key, const char* value_name, uint32_t* reserved,
                           uint32_t* type, uint8_t* data,
                           uint32_t* data_size) override;
  int32_t RegCloseKey(HKey key) override;

 private:
  struct Node {
    std::string name;
    std::vector<std::unique_ptr<Node>> children;
    std::vector<std::pair<std::string, std::pair<uint32_t, std::string>>> values;
  };
  Node* Find(Node* from, const std::string& path, bool create);
  Node* Resolve(HKey key);

  FakeSystem& system_;
  FaultPlan& faults_;
  Node root_;
  std::map<uintptr_t, std::pair<Node*, bool>> keys_;  // handle -> node, open
  uintptr_t next_key_ = 0x1000;
  std::vector<std::string> opened_paths_;
  std::vector<std::string> violations_;
};

// Thrown by FakeSystem::EndProcess so a test can see the process "end".
struct ProcessEnded {
  int status;
};

class FakeSystem : public SystemApi {
 public:
  explicit FakeSystem(FaultPlan& faults) : faults_(faults) {}

  // Error texts FormatMessageA knows; others fail (no text).
  void SetErrorText(uint32_t code, const std::string& text) { texts_[code] = text; }
  void SetNow(int64_t seconds) { now_ = seconds; }
  void SetMessageBoxResult(int result) { message_box_result_ = result; }
  // Called for each Sleep (e.g. to end a poll loop by throwing).
  void OnSleep(std::function<void(uint32_t)> hook) { sleep_hook_ = std::move(hook); }

  struct MessageBoxCall {
    std::string text;
    std::string caption;
    uint32_t type;
    bool owner_null;
  };
  const std::vector<MessageBoxCall>& message_boxes() const { return message_boxes_; }
  const std::vector<uint32_t>& sleeps() const { return sleeps_; }
  ConsoleCtrlHandler ctrl_handler() const { return ctrl_handler_; }
  // Every SetConsoleCtrlHandler call, in order.
  struct CtrlCall {
    ConsoleCtrlHandler handler;
    bool add;
    bool operator==(const CtrlCall&) const = default;
  };
  const std::vector<CtrlCall>& ctrl_calls() const { return ctrl_calls_; }
  int ctrl_handler_registrations() const { return ctrl_registrations_; }
  int outstanding_local_allocations() const { return local_allocations_; }
  // Code pages passed to the two conversions.
  const std::set<uint32_t>& code_pages_used() const { return code_pages_; }

  uint32_t GetLastError() override { return last_error_; }
  void SetLastError(uint32_t code) override { last_error_ = code; }
  int MessageBoxA(void* owner, const char* text, const char* caption,
                  uint32_t type) override;
  bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) override;
  void Sleep(uint32_t milliseconds) override;
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
  int64_t CurrentTime() override { return now_; }
  void EndProcess(int status) override;

 private:
  FaultPlan& faults_;
  uint32_t last_error_ = 0;
  std::map<uint32_t, std::string> texts_;
  int64_t now_ = 1660152537;  // 2022-08-10T17:28:57Z
  int message_box_result_ = 1;
  std::function<void(uint32_t)> sleep_hook_;
  std::vector<MessageBoxCall> message_boxes_;
  std::vector<uint32_t> sleeps_;
  ConsoleCtrlHandler ctrl_handler_ = nullptr;
  int ctrl_registrations_ = 0;
  std::vector<CtrlCall> ctrl_calls_;
  int local_allocations_ = 0;
  std::set<uint32_t> code_pages_;
};

// The three fakes, wired together, plus the captured output.
class FakePlatform {
 public:
  FakePlatform();
  Platform AsPlatform();
  // Everything written to the tool's output so far.
  std::string Output() const { return output.str(); }

  FaultPlan faults;
  FakeSystem system;
  FakeEventLog event_log;
  FakeRegistry registry;
  std::ostringstream output;
};

// Installs a FakePlatform for one test's scope.
class FakeScope {
 public:
  explicit FakeScope(FakePlatform& fake) : scope_(fake.AsPlatform()) {}

 private:
  ScopedPlatform scope_;
};

}  // namespace qrv::fake

#endif  // QRV_TESTS_SUPPORT_FAKE_PLATFORM_H_
