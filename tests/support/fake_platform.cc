// Scripted fake platform; see fake_platform.h.
#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cstring>

#include "formats/utf16.h"
#include "platform/code_page_utf8.h"
#include "platform/time_convert.h"

namespace qrv::fake {

namespace {

std::string Utf8(const std::u16string& wide) { return text::Utf16ToUtf8(wide); }

std::u16string Wide(const std::string& text) { return text::Utf8ToUtf16(text); }

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// %1..%9 with no values to fill them.
bool HasInsert(const std::u16string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == u'%' && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
      return true;
    }
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- FaultPlan

void FaultPlan::Fail(Call call, int nth, uint32_t code, bool persistent) {
  faults_.push_back(Fault{call, nth, code, persistent});
}

std::optional<uint32_t> FaultPlan::Next(Call call) {
  const int count = ++counts_[static_cast<int>(call)];
  for (const Fault& f : faults_) {
    if (f.call != call) continue;
    if (count == f.nth || (f.persistent && count >= f.nth)) return f.code;
  }
  return std::nullopt;
}

// ------------------------------------------------------------- FakeEventLog

FakeEventLog::FakeEventLog(FakeSystem& system, FaultPlan& faults)
    : system_(system), faults_(faults) {}

FakeEventLog::~FakeEventLog() = default;

void FakeEventLog::SetQueryResult(const std::string& query_ansi,
                                  std::vector<FakeEvent> events) {
  scripted_[Wide(query_ansi)] = Scripted{0, std::move(events)};
}

void FakeEventLog::SetQueryError(const std::string& query_ansi, uint32_t code) {
  scripted_[Wide(query_ansi)] = Scripted{code, {}};
}

void FakeEventLog::SetDefaultResult(std::vector<FakeEvent> events) {
  default_ = Scripted{0, std::move(events)};
}

void FakeEventLog::SetDefaultError(uint32_t code) { default_ = Scripted{code, {}}; }

void FakeEventLog::SetChannelError(const std::string& channel, uint32_t code) {
  channel_errors_[Wide("Path='" + channel + "'")] = code;
}

FakePublisher& FakeEventLog::AddPublisher(const std::u16string& name) {
  return publishers_[name];
}

int FakeEventLog::open_handles() const {
  return static_cast<int>(std::count_if(
      objects_.begin(), objects_.end(),
      [](const auto& entry) { return entry.second.open; }));
}

EvtHandle FakeEventLog::NewHandle(Object object) {
  const uintptr_t id = next_id_++;
  objects_.emplace(id, std::move(object));
  return reinterpret_cast<EvtHandle>(id);
}

FakeEventLog::Object* FakeEventLog::Lookup(EvtHandle handle, Kind kind,
                                           const char* call) {
  auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == objects_.end()) {
    violations_.push_back(std::string(call) + ": unknown handle");
    return nullptr;
  }
  if (!it->second.open) {
    violations_.push_back(std::string(call) + ": handle used after close");
    return nullptr;
  }
  if (it->second.kind != kind) {
    violations_.push_back(std::string(call) + ": handle of the wrong kind");
    return nullptr;
  }
  return &it->second;
}

bool FakeEventLog::Fail(uint32_t code) {
  system_.SetLastError(code);
  return false;
}

EvtHandle FakeEventLog::EvtQuery(EvtHandle session, const char16_t* path,
                                 const char16_t* query, uint32_t flags) {
  if (auto code = faults_.Next(Call::kEvtQuery)) return Fail(*code), nullptr;
  if (session != nullptr) violations_.push_back("EvtQuery: remote session");
  if (path != nullptr) violations_.push_back("EvtQuery: path given");
  if (query == nullptr) return Fail(kErrorInvalidParameter), nullptr;
  const std::u16string text(query);
  queries_.push_back(Utf8(text));
  query_flags_.push_back(flags);
  for (const auto& [attribute, code] : channel_errors_) {
    if (text.find(attribute) != std::u16string::npos) return Fail(code), nullptr;
  }
  auto it = scripted_.find(text);
  const Scripted& script = it != scripted_.end() ? it->second : default_;
  if (script.error != 0) return Fail(script.error), nullptr;
  Object object{Kind::kQuery};
  object.events = script.events;
  return NewHandle(std::move(object));
}

bool FakeEventLog::EvtNext(EvtHandle result_set, uint32_t events_size,
                           EvtHandle* events, uint32_t timeout_ms,
                           uint32_t flags, uint32_t* returned) {
  next_timeouts_.push_back(timeout_ms);
  if (next_hook_) next_hook_();
  if (flags != 0) violations_.push_back("EvtNext: flags not 0");
  if (auto code = faults_.Next(Call::kEvtNext)) return Fail(*code);
  Object* query = Lookup(result_set, Kind::kQuery, "EvtNext");
  if (query == nullptr) return Fail(kErrorInvalidHandle);
  if (stale_at_ && query->position >= *stale_at_) {
    query->stale = true;
    stale_at_.reset();
  }
  if (query->stale) return Fail(kErrorEvtQueryResultStale);
  if (query->position >= query->events.size()) return Fail(kErrorNoMoreItems);
  uint32_t n = static_cast<uint32_t>(
      std::min<size_t>(events_size, query->events.size() - query->position));
  if (batch_limit_ != 0) n = std::min(n, batch_limit_);
  if (rpc_bound_ != 0 && n > rpc_bound_) {
    query->position += n;  // refused, yet read past
    return Fail(kRpcSInvalidBound);
  }
  // Copy the events first: creating handles may rehash objects_.
  std::vector<FakeEvent> batch(
      query->events.begin() + static_cast<std::ptrdiff_t>(query->position),
      query->events.begin() + static_cast<std::ptrdiff_t>(query->position + n));
  query->position += n;
  for (uint32_t i = 0; i < n; ++i) {
    Object object{Kind::kEvent};
    object.events.push_back(std::move(batch[i]));
    events[i] = NewHandle(std::move(object));
  }
  *returned = n;
  next_returned_.push_back(n);
  return true;
}

bool FakeEventLog::EvtSeek(EvtHandle result_set, int64_t position,
                           EvtHandle bookmark, uint32_t timeout_ms,
                           uint32_t flags) {
  if (timeout_ms != 0) violations_.push_back("EvtSeek: timeout not 0");
  if (auto code = faults_.Next(Call::kEvtSeek)) return Fail(*code);
  Object* query = Lookup(result_set, Kind::kQuery, "EvtSeek");
  if (query == nullptr) return Fail(kErrorInvalidHandle);
  if (bookmark != nullptr) return Fail(kErrorNotSupported);
  int64_t target = position;
  if (flags == kEvtSeekRelativeToCurrent) {
    target += static_cast<int64_t>(query->position);
  } else if (flags != kEvtSeekRelativeToFirst) {
    return Fail(kErrorNotSupported);
  }
  if (target < 0) return Fail(kErrorInvalidParameter);
  query->position =
      std::min(static_cast<size_t>(target), query->events.size());
  seeks_.push_back(query->position);
  return true;
}

bool FakeEventLog::EvtCancel(EvtHandle object) {
  ++cancels_;
  if (auto code = faults_.Next(Call::kEvtCancel)) return Fail(*code);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(object));
  if (it == objects_.end() || !it->second.open) {
    violations_.push_back("EvtCancel: unknown or closed handle");
    return Fail(kErrorInvalidHandle);
  }
  return true;
}

bool FakeEventLog::EvtClose(EvtHandle object) {
  const std::optional<uint32_t> code = faults_.Next(Call::kEvtClose);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(object));
  if (it == objects_.end()) {
    violations_.push_back("EvtClose: unknown handle");
    return Fail(kErrorInvalidHandle);
  }
  if (!it->second.open) {
    violations_.push_back("EvtClose: handle closed twice");
    return Fail(kErrorInvalidHandle);
  }
  // The handle is released even when the call is scripted to report failure.
  it->second.open = false;
  if (code) return Fail(*code);
  return true;
}

EvtHandle FakeEventLog::EvtCreateRenderContext(uint32_t value_paths_count,
                                               const char16_t** value_paths,
                                               uint32_t flags) {
  if (auto code = faults_.Next(Call::kEvtCreateRenderContext)) {
    return Fail(*code), nullptr;
  }
  if (value_paths_count != 0 || value_paths != nullptr ||
      flags != kEvtRenderContextSystem) {
    violations_.push_back("EvtCreateRenderContext: not a system context");
  }
  return NewHandle(Object{Kind::kRenderContext});
}

bool FakeEventLog::EvtRender(EvtHandle context, EvtHandle fragment,
                             uint32_t flags, uint32_t buffer_size, void* buffer,
                             uint32_t* buffer_used, uint32_t* property_count) {
  if (auto code = faults_.Next(Call::kEvtRender)) return Fail(*code);
  if (Lookup(context, Kind::kRenderContext, "EvtRender") == nullptr) {
    return Fail(kErrorInvalidHandle);
  }
  Object* event = Lookup(fragment, Kind::kEvent, "EvtRender");
  if (event == nullptr) return Fail(kErrorInvalidHandle);
  if (flags != kEvtRenderEventValues) {
    violations_.push_back("EvtRender: not EvtRenderEventValues");
  }
  const FakeEvent& e = event->events.front();
  const size_t head = sizeof(EvtVariant) * kEvtSystemPropertyIdEnd;
  const size_t provider_bytes = (e.provider.size() + 1) * 2;
  const size_t channel_bytes = (e.channel.size() + 1) * 2;
  const size_t computer_bytes = (e.computer.size() + 1) * 2;
  const uint32_t needed = static_cast<uint32_t>(head + provider_bytes +
                                                channel_bytes + computer_bytes);
  *buffer_used = needed;
  *property_count = kEvtSystemPropertyIdEnd;
  if (buffer == nullptr || buffer_size < needed) {
    return Fail(kErrorInsufficientBuffer);
  }
  auto* bytes = static_cast<uint8_t*>(buffer);
  auto* v = static_cast<EvtVariant*>(buffer);
  std::memset(buffer, 0, needed);
  for (uint32_t i = 0; i < kEvtSystemPropertyIdEnd; ++i) v[i].type = kEvtVarTypeNull;
  size_t offset = head;
  auto put_string = [&](uint32_t index, const std::u16string& s) {
    auto* dest = reinterpret_cast<char16_t*>(bytes + offset);
    std::memcpy(dest, s.c_str(), (s.size() + 1) * 2);
    offset += (s.size() + 1) * 2;
    v[index].string_val = dest;
    v[index].type = kEvtVarTypeString;
  };
  put_string(kEvtSystemProviderName, e.provider);
  if (e.null_provider) v[kEvtSystemProviderName].string_val = nullptr;
  v[kEvtSystemEventID].uint16_val = e.event_id;
  v[kEvtSystemEventID].type = kEvtVarTypeUInt16;
  if (e.level) {
    v[kEvtSystemLevel].byte_val = *e.level;
    v[kEvtSystemLevel].type = kEvtVarTypeByte;
  }
  v[kEvtSystemTask].type = kEvtVarTypeUInt16;
  v[kEvtSystemOpcode].type = kEvtVarTypeByte;
  v[kEvtSystemKeywords].uint64_val = e.keywords;
  v[kEvtSystemKeywords].type = kEvtVarTypeHexInt64;
  v[kEvtSystemTimeCreated].filetime_val = e.time_created;
  v[kEvtSystemTimeCreated].type = kEvtVarTypeFileTime;
  v[kEvtSystemEventRecordId].type = kEvtVarTypeUInt64;
  v[kEvtSystemProcessID].type = kEvtVarTypeUInt32;
  v[kEvtSystemThreadID].type = kEvtVarTypeUInt32;
  put_string(kEvtSystemChannel, e.channel);
  put_string(kEvtSystemComputer, e.computer);
  v[kEvtSystemVersion].type = kEvtVarTypeByte;
  return true;
}

EvtHandle FakeEventLog::EvtOpenPublisherMetadata(EvtHandle session,
                                                 const char16_t* publisher_id,
                                                 const char16_t* log_file_path,
                                                 uint32_t locale,
                                                 uint32_t flags) {
  if (auto code = faults_.Next(Call::kEvtOpenPublisherMetadata)) {
    return Fail(*code), nullptr;
  }
  if (session != nullptr || log_file_path != nullptr || locale != 0 ||
      flags != 0) {
    violations_.push_back("EvtOpenPublisherMetadata: unexpected arguments");
  }
  const std::u16string name = publisher_id != nullptr ? publisher_id : u"";
  opened_publishers_.push_back(Utf8(name));
  auto it = publishers_.find(name);
  if (it == publishers_.end()) return Fail(kErrorFileNotFound), nullptr;
  if (it->second.open_error != 0) return Fail(it->second.open_error), nullptr;
  Object object{Kind::kPublisher};
  object.publisher = &it->second;
  return NewHandle(std::move(object));
}

bool FakeEventLog::EvtFormatMessage(EvtHandle publisher_metadata,
                                    EvtHandle event, uint32_t message_id,
                                    uint32_t value_count,
                                    const EvtVariant* values, uint32_t flags,
                                    uint32_t buffer_size, char16_t* buffer,
                                    uint32_t* buffer_used) {
  if (auto code = faults_.Next(Call::kEvtFormatMessage)) return Fail(*code);
  Object* publisher =
      Lookup(publisher_metadata, Kind::kPublisher, "EvtFormatMessage");
  if (publisher == nullptr) return Fail(kErrorInvalidHandle);
  if (value_count != 0 || values != nullptr) {
    violations_.push_back("EvtFormatMessage: insertion values given");
  }
  std::u16string text;
  if (flags == kEvtFormatMessageEvent) {
    Object* e = Lookup(event, Kind::kEvent, "EvtFormatMessage");
    if (e == nullptr) return Fail(kErrorInvalidHandle);
    const FakeEvent& fe = e->events.front();
    if (fe.message_error != 0) return Fail(fe.message_error);
    text = fe.message;
  } else if (flags == kEvtFormatMessageId) {
    if (event != nullptr) violations_.push_back("EvtFormatMessage: event with id");
    const FakePublisher& p = *publisher->publisher;
    if (auto err = p.message_errors.find(message_id); err != p.message_errors.end()) {
      return Fail(err->second);
    }
    auto msg = p.messages.find(message_id);
    if (msg == p.messages.end()) return Fail(kErrorEvtMessageNotFound);
    text = msg->second;
  } else {
    return Fail(kErrorInvalidParameter);
  }
  const uint32_t needed = static_cast<uint32_t>(text.size() + 1);
  *buffer_used = needed;
  if (terminator_past_size_) {
    if (buffer == nullptr) {
      violations_.push_back("EvtFormatMessage: no buffer for the terminator");
    } else {
      buffer[buffer_size] = u'\0';
    }
  }
  const bool unresolved = HasInsert(text);
  if (buffer == nullptr || buffer_size < needed) {
    return Fail(unresolved ? kErrorEvtUnresolvedValueInsert
                           : kErrorInsufficientBuffer);
  }
  std::memcpy(buffer, text.c_str(), needed * 2);
  if (unresolved) return Fail(kErrorEvtUnresolvedValueInsert);
  return true;
}

EvtHandle FakeEventLog::EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                                 uint32_t flags) {
  if (auto code = faults_.Next(Call::kEvtOpenEventMetadataEnum)) {
    return Fail(*code), nullptr;
  }
  if (flags != 0) violations_.push_back("EvtOpenEventMetadataEnum: flags");
  Object* publisher =
      Lookup(publisher_metadata, Kind::kPublisher, "EvtOpenEventMetadataEnum");
  if (publisher == nullptr) return Fail(kErrorInvalidHandle), nullptr;
  if (publisher->publisher->enum_error != 0) {
    return Fail(publisher->publisher->enum_error), nullptr;
  }
  Object object{Kind::kMetadataEnum};
  object.publisher = publisher->publisher;
  return NewHandle(std::move(object));
}

EvtHandle FakeEventLog::EvtNextEventMetadata(EvtHandle enumerator,
                                             uint32_t flags) {
  if (auto code = faults_.Next(Call::kEvtNextEventMetadata)) {
    return Fail(*code), nullptr;
  }
  if (flags != 0) violations_.push_back("EvtNextEventMetadata: flags");
  Object* e = Lookup(enumerator, Kind::kMetadataEnum, "EvtNextEventMetadata");
  if (e == nullptr) return Fail(kErrorInvalidHandle), nullptr;
  if (e->position >= e->publisher->events.size()) {
    return Fail(kErrorNoMoreItems), nullptr;
  }
  Object object{Kind::kEventMetadata};
  object.metadata = e->publisher->events[e->position++];
  return NewHandle(std::move(object));
}

bool FakeEventLog::EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                               uint32_t property_id,
                                               uint32_t flags,
                                               uint32_t buffer_size,
                                               EvtVariant* buffer,
                                               uint32_t* buffer_used) {
  if (auto code = faults_.Next(Call::kEvtGetEventMetadataProperty)) {
    return Fail(*code);
  }
  if (flags != 0) violations_.push_back("EvtGetEventMetadataProperty: flags");
  Object* m = Lookup(event_metadata, Kind::kEventMetadata,
                     "EvtGetEventMetadataProperty");
  if (m == nullptr) return Fail(kErrorInvalidHandle);
  uint32_t value = 0;
  uint32_t sizing_error = 0;
  if (property_id == kEventMetadataEventID) {
    value = m->metadata.event_id;
    sizing_error = m->metadata.event_id_error;
  } else if (property_id == kEventMetadataEventMessageID) {
    value = m->metadata.message_id;
    sizing_error = m->metadata.message_id_error;
  } else {
    return Fail(kErrorInvalidParameter);
  }
  const uint32_t needed = sizeof(EvtVariant);
  *buffer_used = needed;
  if (buffer == nullptr || buffer_size < needed) {
    if (sizing_error == kSizingSucceeds) return true;
    if (sizing_error != 0) return Fail(sizing_error);
    return Fail(kErrorInsufficientBuffer);
  }
  buffer->uint32_val = value;
  buffer->count = 0;
  buffer->type = kEvtVarTypeUInt32;
  return true;
}

// ------------------------------------------------------------- FakeRegistry

FakeRegistry::FakeRegistry(FakeSystem& system, FaultPlan& faults)
    : system_(system), faults_(faults) {}

FakeRegistry::Node* FakeRegistry::Find(Node* from, const std::string& path,
                                       bool create) {
  Node* node = from;
  size_t pos = 0;
  while (node != nullptr && pos < path.size()) {
    size_t end = path.find('\\', pos);
    if (end == std::string::npos) end = path.size();
    const std::string piece = path.substr(pos, end - pos);
    pos = end + 1;
    if (piece.empty()) continue;
    Node* next = nullptr;
    for (auto& child : node->children) {
      if (SameNoCase(child->name, piece)) next = child.get();
    }
    if (next == nullptr && create) {
      node->children.push_back(std::make_unique<Node>());
      next = node->children.back().get();
      next->name = piece;
    }
    node = next;
  }
  return node;
}

void FakeRegistry::AddKey(const std::string& path) { Find(&root_, path, true); }

void FakeRegistry::SetValue(const std::string& path, const std::string& name,
                            const std::string& data, uint32_t type) {
  Node* node = Find(&root_, path, true);
  for (auto& value : node->values) {
    if (SameNoCase(value.first, name)) {
      value.second = {type, data};
      return;
    }
  }
  node->values.push_back({name, {type, data}});
}

void FakeRegistry::SetString(const std::string& path, const std::string& name,
                             const std::string& text) {
  SetValue(path, name, text + std::string(1, '\0'), kRegSz);
}

int FakeRegistry::open_keys() const {
  return static_cast<int>(std::count_if(
      keys_.begin(), keys_.end(),
      [](const auto& entry) { return entry.second.second; }));
}

FakeRegistry::Node* FakeRegistry::Resolve(HKey key) {
  if (key == LocalMachineKey()) return &root_;
  auto it = keys_.find(reinterpret_cast<uintptr_t>(key));
  if (it == keys_.end()) {
    violations_.push_back("registry: unknown key");
    return nullptr;
  }
  if (!it->second.second) {
    violations_.push_back("registry: key used after close");
    return nullptr;
  }
  return it->second.first;
}

int32_t FakeRegistry::RegOpenKeyA(HKey key, const char* sub_key, HKey* result) {
  if (auto code = faults_.Next(Call::kRegOpenKeyA)) {
    return static_cast<int32_t>(*code);
  }
  Node* from = Resolve(key);
  if (from == nullptr) return static_cast<int32_t>(kErrorInvalidHandle);
  const std::string path = sub_key != nullptr ? sub_key : "";
  Node* node = Find(from, path, false);
  if (node == nullptr) return static_cast<int32_t>(kErrorFileNotFound);
  const uintptr_t id = next_key_++;
  keys_[id] = {node, true};
  opened_paths_.push_back(path);
  *result = reinterpret_cast<HKey>(id);
  return 0;
}

int32_t FakeRegistry::RegEnumKeyA(HKey key, uint32_t index, char* name,
                                  uint32_t name_size) {
  if (auto code = faults_.Next(Call::kRegEnumKeyA)) {
    return static_cast<int32_t>(*code);
  }
  Node* node = Resolve(key);
  if (node == nullptr) return static_cast<int32_t>(kErrorInvalidHandle);
  if (index >= node->children.size()) {
    return static_cast<int32_t>(kErrorNoMoreItems);
  }
  const std::string& child = node->children[index]->name;
  if (child.size() + 1 > name_size) return static_cast<int32_t>(kErrorMoreData);
  std::memcpy(name, child.c_str(), child.size() + 1);
  return 0;
}

int32_t FakeRegistry::RegQueryValueExA(HKey key, const char* value_name,
                                       uint32_t* reserved, uint32_t* type,
                                       uint8_t* data, uint32_t* data_size) {
  if (auto code = faults_.Next(Call::kRegQueryValueExA)) {
    return static_cast<int32_t>(*code);
  }
  if (reserved != nullptr) violations_.push_back("RegQueryValueExA: reserved");
  Node* node = Resolve(key);
  if (node == nullptr) return static_cast<int32_t>(kErrorInvalidHandle);
  const std::string name = value_name != nullptr ? value_name : "";
  for (const auto& value : node->values) {
    if (!SameNoCase(value.first, name)) continue;
    const std::string& bytes = value.second.second;
    if (type != nullptr) *type = value.second.first;
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    if (data_size == nullptr) return data == nullptr ? 0 : static_cast<int32_t>(kErrorInvalidParameter);
    if (data == nullptr) {
      *data_size = size;
      return 0;
    }
    if (*data_size < size) {
      *data_size = size;
      return static_cast<int32_t>(kErrorMoreData);
    }
    std::memcpy(data, bytes.data(), size);
    *data_size = size;
    return 0;
  }
  return static_cast<int32_t>(kErrorFileNotFound);
}

int32_t FakeRegistry::RegCloseKey(HKey key) {
  const std::optional<uint32_t> code = faults_.Next(Call::kRegCloseKey);
  if (key == LocalMachineKey()) return 0;
  auto it = keys_.find(reinterpret_cast<uintptr_t>(key));
  if (it == keys_.end()) {
    violations_.push_back("RegCloseKey: unknown key");
    return static_cast<int32_t>(kErrorInvalidHandle);
  }
  if (!it->second.second) {
    violations_.push_back("RegCloseKey: key closed twice");
    return static_cast<int32_t>(kErrorInvalidHandle);
  }
  it->second.second = false;
  return code ? static_cast<int32_t>(*code) : 0;
}

// --------------------------------------------------------------- FakeSystem

int FakeSystem::MessageBoxA(void* owner, const char* text, const char* caption,
                            uint32_t type) {
  message_boxes_.push_back(MessageBoxCall{text != nullptr ? text : "",
                                          caption != nullptr ? caption : "",
                                          type, owner == nullptr});
  if (auto code = faults_.Next(Call::kMessageBoxA)) {
    SetLastError(*code);
    return 0;
  }
  return message_box_result_;
}

bool FakeSystem::SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) {
  ctrl_calls_.push_back(CtrlCall{handler, add});
  if (add) {
    ctrl_handler_ = handler;
    ++ctrl_registrations_;
  }
  return true;
}

void FakeSystem::Sleep(uint32_t milliseconds) {
  sleeps_.push_back(milliseconds);
  if (sleep_hook_) sleep_hook_(milliseconds);
}

uint32_t FakeSystem::FormatMessageA(uint32_t flags, const void* source,
                                    uint32_t message_id, uint32_t language_id,
                                    char** buffer, uint32_t size,
                                    void* arguments) {
  (void)source;
  (void)language_id;
  (void)size;
  (void)arguments;
  if (auto code = faults_.Next(Call::kFormatMessageA)) {
    SetLastError(*code);
    return 0;
  }
  if ((flags & kFormatMessageAllocateBuffer) == 0 || buffer == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  auto it = texts_.find(message_id);
  if (it == texts_.end()) {
    SetLastError(kErrorMrMidNotFound);
    return 0;
  }
  char* text = new char[it->second.size() + 1];
  std::memcpy(text, it->second.c_str(), it->second.size() + 1);
  ++local_allocations_;
  *buffer = text;
  return static_cast<uint32_t>(it->second.size());
}

void* FakeSystem::LocalFree(void* memory) {
  if (memory != nullptr) {
    delete[] static_cast<char*>(memory);
    --local_allocations_;
  }
  return nullptr;
}

bool FakeSystem::FileTimeToSystemTime(const FileTime* file_time,
                                      SystemTime* system_time) {
  if (auto code = faults_.Next(Call::kFileTimeToSystemTime)) {
    SetLastError(*code);
    return false;
  }
  if (!ConvertFileTimeToSystemTime(file_time->Ticks(), system_time)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

int FakeSystem::WideCharToMultiByte(uint32_t code_page, uint32_t flags,
                                    const char16_t* wide, int wide_length,
                                    char* multi_byte, int multi_byte_size,
                                    const char* default_char,
                                    bool* used_default_char) {
  code_pages_.insert(code_page);
  (void)flags;
  (void)default_char;
  if (used_default_char != nullptr) *used_default_char = false;
  const ConversionResult r =
      WideCharToUtf8(wide, wide_length, multi_byte, multi_byte_size);
  if (r.length == 0) SetLastError(r.error);
  return r.length;
}

int FakeSystem::MultiByteToWideChar(uint32_t code_page, uint32_t flags,
                                    const char* multi_byte,
                                    int multi_byte_length, char16_t* wide,
                                    int wide_size) {
  code_pages_.insert(code_page);
  (void)flags;
  const ConversionResult r =
      Utf8ToWideChar(multi_byte, multi_byte_length, wide, wide_size);
  if (r.length == 0) SetLastError(r.error);
  return r.length;
}

size_t FakeSystem::CharLength(const char* text, size_t remaining) {
  return Utf8CharLength(text, remaining);
}

void FakeSystem::EndProcess(int status) { throw ProcessEnded{status}; }

// ------------------------------------------------------------- FakePlatform

FakePlatform::FakePlatform()
    : system(faults), event_log(system, faults), registry(system, faults) {}

Platform FakePlatform::AsPlatform() {
  return Platform{&event_log, &registry, &system, &output};
}

}  // namespace qrv::fake
