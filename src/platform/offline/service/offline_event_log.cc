// The offline Evt* calls; see offline_event_log.h.
#include "platform/offline/service/offline_event_log.h"

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/offline/service/message_request.h"
#include "platform/offline/service/query_diagnostic.h"
#include "platform/offline/service/system_values.h"
#include "formats/utf16.h"

namespace qrv::offline {

// What EvtQuery was given, kept so that EvtSeek can read the query again
// from its start.
struct QueryArguments {
  std::string text;
  xpath::SourcePath default_path;
  bool tolerate_errors = false;
  uint64_t now = 0;  // FILETIME ticks of the EvtQuery call
};

namespace {

// FILETIME ticks of 1970-01-01T00:00:00Z.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000ull;

constexpr uint32_t kKnownQueryFlags =
    kEvtQueryChannelPath | kEvtQueryFilePath | kEvtQueryForwardDirection |
    kEvtQueryReverseDirection | kEvtQueryTolerateQueryErrors;

class QueryObject final : public EvtObjectBase {
 public:
  QueryObject(std::unique_ptr<QueryWorker> w, QueryArguments a)
      : worker(std::move(w)), arguments(std::move(a)) {}
  std::unique_ptr<QueryWorker> worker;  // closing the query stops it
  QueryArguments arguments;
  uint64_t delivered = 0;  // events handed out or skipped: the read position
  bool cancelled = false;
};

class EventObject final : public EvtObjectBase {
 public:
  explicit EventObject(PreparedEventPtr p) : prepared(std::move(p)) {}
  ~EventObject() override {
    if (home) home->Give(std::move(prepared));
  }

  // Never null. Its request is built ahead or on first use, its message
  // formatted ahead or on first use.
  PreparedEventPtr prepared;
  // The worker that read it ahead, which fills it again; null without one.
  std::shared_ptr<ReturnedEvents> home;
};

class RenderContextObject final : public EvtObjectBase {};

// The catalogue as query workers reach it: every call under the lock.
class CatalogueFormatter : public MessageFormatter {
 public:
  CatalogueFormatter(PublisherMetadataCalls& metadata, std::mutex& lock)
      : metadata_(metadata), lock_(lock) {}
  bool HasProvider(const std::string& provider) override {
    std::lock_guard<std::mutex> hold(lock_);
    return metadata_.HasProvider(provider);
  }
  std::optional<FormattedEventMessage> Format(
      const EventMessageRequest& request) override {
    std::lock_guard<std::mutex> hold(lock_);
    return metadata_.FormatAhead(request);
  }

 private:
  PublisherMetadataCalls& metadata_;
  std::mutex& lock_;
};

std::u16string_view View(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

}  // namespace

bool OfflineEventLog::MoreThanOneCore() {
  return std::thread::hardware_concurrency() > 1;
}

OfflineEventLog::OfflineEventLog(QuerySources sources, SystemApi& system,
                                 MessageCatalog& messages, bool threaded,
                                 uint64_t thread_from_records)
    : sources_(std::move(sources)),
      system_(system),
      threaded_(threaded),
      thread_from_records_(thread_from_records),
      metadata_(std::make_unique<PublisherMetadataCalls>(
          messages, objects_, system_,
          [this](EvtHandle event) { return MessageRequest(event); })),
      formatter_(
          std::make_unique<CatalogueFormatter>(*metadata_, catalogue_lock_)) {}

OfflineEventLog::~OfflineEventLog() = default;

std::optional<EventMessageRequest> OfflineEventLog::MessageRequest(
    EvtHandle event) {
  EventObject* object = objects_.Get<EventObject>(event);
  if (object == nullptr) return std::nullopt;
  PreparedEvent& prepared = *object->prepared;
  if (!prepared.request) {
    prepared.request.emplace();
    FillMessageRequest(prepared.event, records_, &*prepared.request);
  }
  return prepared.request;
}

bool OfflineEventLog::Fail(uint32_t code) {
  system_.SetLastError(code);
  return false;
}

EvtHandle OfflineEventLog::FailHandle(uint32_t code) {
  system_.SetLastError(code);
  return nullptr;
}

const CapturedEvent* OfflineEventLog::Event(EvtHandle event) const {
  const EventObject* object = objects_.Get<EventObject>(event);
  return object == nullptr ? nullptr : &object->prepared->event;
}

EvtHandle OfflineEventLog::EvtQuery(EvtHandle session, const char16_t* path,
                                    const char16_t* query, uint32_t flags) {
  if (session != nullptr) return FailHandle(kErrorInvalidHandle);
  const bool channel_path = (flags & kEvtQueryChannelPath) != 0;
  const bool file_path = (flags & kEvtQueryFilePath) != 0;
  if ((flags & ~kKnownQueryFlags) != 0 || (channel_path && file_path) ||
      (flags & kEvtQueryReverseDirection) != 0 ||
      (path == nullptr && query == nullptr))
    return FailHandle(kErrorInvalidParameter);

  QueryArguments arguments;
  arguments.default_path.kind = file_path ? xpath::PathKind::kFile
                                          : xpath::PathKind::kChannel;
  arguments.default_path.name = text::Utf16ToUtf8(View(path));
  arguments.text = text::Utf16ToUtf8(View(query));
  arguments.tolerate_errors = (flags & kEvtQueryTolerateQueryErrors) != 0;
  const int64_t seconds = system_.CurrentTime();
  arguments.now =
      kUnixEpochTicks + static_cast<uint64_t>(seconds) * kTicksPerSecond;
  uint32_t error = 0;
  std::unique_ptr<QueryWorker> worker = StartQuery(arguments, &error);
  if (!worker) return FailHandle(error);
  return objects_.Add(
      std::make_unique<QueryObject>(std::move(worker), std::move(arguments)));
}

std::unique_ptr<QueryWorker> OfflineEventLog::StartQuery(
    const QueryArguments& arguments, uint32_t* error) {
  auto compiled = std::make_unique<xpath::CompiledQuery>(
      arguments.text, arguments.default_path);
  if (!compiled->ok()) {
    if (diagnostics_ != nullptr) {
      *diagnostics_ << QueryRefusedLine(arguments.text, *compiled) << std::flush;
    }
    *error = compiled->error_code();
    return nullptr;
  }
  std::string unknown_channel;
  std::unique_ptr<EventQuery> result =
      EventQuery::Open(std::move(compiled), sources_, arguments.tolerate_errors,
                       arguments.now, error, &unknown_channel);
  if (!result) {
    // A machine without channels has already been explained (its root).
    if (*error == kErrorEvtChannelNotFound && diagnostics_ != nullptr &&
        sources_.channel_names) {
      const std::vector<std::string> channels = sources_.channel_names();
      if (!channels.empty()) {
        *diagnostics_ << UnknownChannelLine(unknown_channel, channels)
                      << std::flush;
      }
    }
    return nullptr;
  }
  const bool threaded = threaded_ && result->approximate_work() >= thread_from_records_;
  return std::make_unique<QueryWorker>(std::move(result), formatter_.get(),
                                       threaded);
}

bool OfflineEventLog::EvtNext(EvtHandle result_set, uint32_t events_size,
                              EvtHandle* events, uint32_t /*timeout_ms*/,
                              uint32_t flags, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  QueryObject* q = objects_.Get<QueryObject>(result_set);
  if (q == nullptr) return Fail(kErrorInvalidHandle);
  if (events == nullptr || events_size == 0 || returned == nullptr ||
      flags != 0)
    return Fail(kErrorInvalidParameter);
  if (q->cancelled) return Fail(kErrorCancelled);
  uint32_t count = 0;
  PreparedEventPtr prepared;
  while (count < events_size && q->worker->Next(&prepared)) {
    auto event = std::make_unique<EventObject>(std::move(prepared));
    event->home = q->worker->returns();
    events[count++] = objects_.Add(std::move(event));
  }
  *returned = count;
  q->delivered += count;
  if (count == 0) return Fail(kErrorNoMoreItems);
  return true;
}

bool OfflineEventLog::EvtSeek(EvtHandle result_set, int64_t position,
                              EvtHandle bookmark, uint32_t /*timeout_ms*/,
                              uint32_t flags) {
  QueryObject* q = objects_.Get<QueryObject>(result_set);
  if (q == nullptr) return Fail(kErrorInvalidHandle);
  if (bookmark != nullptr) return Fail(kErrorNotSupported);
  if (q->cancelled) return Fail(kErrorCancelled);
  int64_t target = position;
  if (flags == kEvtSeekRelativeToCurrent) {
    target += static_cast<int64_t>(q->delivered);
  } else if (flags != kEvtSeekRelativeToFirst) {
    return Fail(kErrorNotSupported);
  }
  if (target < 0) return Fail(kErrorInvalidParameter);
  const auto wanted = static_cast<uint64_t>(target);
  if (wanted < q->delivered) {
    // Records are read forward only: the query starts over. The files may
    // have changed since, as a live log does under a query of the service.
    uint32_t error = 0;
    std::unique_ptr<QueryWorker> worker = StartQuery(q->arguments, &error);
    if (!worker) return Fail(error);
    q->worker = std::move(worker);
    q->delivered = 0;
  }
  PreparedEventPtr skipped;
  while (q->delivered < wanted && q->worker->Next(&skipped)) ++q->delivered;
  return true;
}

bool OfflineEventLog::EvtCancel(EvtHandle object) {
  QueryObject* q = objects_.Get<QueryObject>(object);
  if (q == nullptr) return Fail(kErrorInvalidHandle);
  q->cancelled = true;
  q->worker->Stop();
  return true;
}

bool OfflineEventLog::EvtClose(EvtHandle object) {
  if (!objects_.Close(object)) return Fail(kErrorInvalidHandle);
  return true;
}

EvtHandle OfflineEventLog::EvtCreateRenderContext(uint32_t value_paths_count,
                                                  const char16_t**,
                                                  uint32_t flags) {
  if (flags != kEvtRenderContextSystem || value_paths_count != 0)
    return FailHandle(kErrorInvalidParameter);
  return objects_.Add(std::make_unique<RenderContextObject>());
}

bool OfflineEventLog::EvtRender(EvtHandle context, EvtHandle fragment,
                                uint32_t flags, uint32_t buffer_size,
                                void* buffer, uint32_t* buffer_used,
                                uint32_t* property_count) {
  if (buffer_used == nullptr || property_count == nullptr)
    return Fail(kErrorInvalidParameter);
  *buffer_used = 0;
  *property_count = 0;
  const CapturedEvent* event = Event(fragment);
  if (flags == kEvtRenderEventXml) {
    if (event == nullptr) return Fail(kErrorInvalidHandle);
    return RenderXml(*event, buffer_size, buffer, buffer_used);
  }
  if (flags != kEvtRenderEventValues) return Fail(kErrorInvalidParameter);
  if (objects_.Get<RenderContextObject>(context) == nullptr || event == nullptr)
    return Fail(kErrorInvalidHandle);
  const size_t needed = SystemValuesSize(*event);
  *buffer_used = static_cast<uint32_t>(needed);
  *property_count = kEvtSystemPropertyIdEnd;
  if (buffer == nullptr || buffer_size < needed)
    return Fail(kErrorInsufficientBuffer);
  RenderSystemValues(*event, buffer);
  return true;
}

bool OfflineEventLog::RenderXml(const CapturedEvent& event,
                                uint32_t buffer_size, void* buffer,
                                uint32_t* buffer_used) {
  std::string xml;
  if (!records_.RenderXml(event, &xml)) return Fail(kErrorFileCorrupt);
  const std::u16string wide = text::Utf8ToUtf16(xml);
  const size_t needed = (wide.size() + 1) * sizeof(char16_t);
  *buffer_used = static_cast<uint32_t>(needed);
  if (buffer == nullptr || buffer_size < needed)
    return Fail(kErrorInsufficientBuffer);
  std::memcpy(buffer, wide.c_str(), needed);
  return true;
}

EvtHandle OfflineEventLog::EvtOpenPublisherMetadata(
    EvtHandle session, const char16_t* publisher_id,
    const char16_t* log_file_path, uint32_t locale, uint32_t flags) {
  std::lock_guard<std::mutex> hold(catalogue_lock_);
  return metadata_->EvtOpenPublisherMetadata(session, publisher_id,
                                             log_file_path, locale, flags);
}

bool OfflineEventLog::EvtFormatMessage(EvtHandle publisher_metadata,
                                       EvtHandle event, uint32_t message_id,
                                       uint32_t value_count,
                                       const EvtVariant* values, uint32_t flags,
                                       uint32_t buffer_size, char16_t* buffer,
                                       uint32_t* buffer_used) {
  // A message formatted ahead answers when the call is the one it was
  // formatted for: an event of a query, publisher metadata of the provider
  // that formatted it, no values. The provider depends on the name the
  // caller opened, so any other handle formats anew. A message the worker
  // left to the caller is formatted here, once, on the first of the calls.
  EventObject* object = objects_.Get<EventObject>(event);
  PreparedEvent* prepared = object == nullptr ? nullptr : object->prepared.get();
  if (flags == kEvtFormatMessageEvent && prepared != nullptr &&
      !prepared->message && prepared->request && value_count == 0) {
    std::lock_guard<std::mutex> hold(catalogue_lock_);
    prepared->message = metadata_->FormatAhead(*prepared->request);
  }
  if (flags == kEvtFormatMessageEvent && prepared != nullptr &&
      prepared->message && value_count == 0 && buffer_used != nullptr &&
      metadata_->ProviderOf(publisher_metadata) == prepared->message->provider) {
    return metadata_->ReturnMessage(prepared->message->status,
                                    prepared->message->text, buffer_size, buffer,
                                    buffer_used);
  }
  std::lock_guard<std::mutex> hold(catalogue_lock_);
  return metadata_->EvtFormatMessage(publisher_metadata, event, message_id,
                                     value_count, values, flags, buffer_size,
                                     buffer, buffer_used);
}

EvtHandle OfflineEventLog::EvtOpenEventMetadataEnum(
    EvtHandle publisher_metadata, uint32_t flags) {
  std::lock_guard<std::mutex> hold(catalogue_lock_);
  return metadata_->EvtOpenEventMetadataEnum(publisher_metadata, flags);
}

EvtHandle OfflineEventLog::EvtNextEventMetadata(EvtHandle enumerator,
                                                uint32_t flags) {
  std::lock_guard<std::mutex> hold(catalogue_lock_);
  return metadata_->EvtNextEventMetadata(enumerator, flags);
}

bool OfflineEventLog::EvtGetEventMetadataProperty(
    EvtHandle event_metadata, uint32_t property_id, uint32_t flags,
    uint32_t buffer_size, EvtVariant* buffer, uint32_t* buffer_used) {
  std::lock_guard<std::mutex> hold(catalogue_lock_);
  return metadata_->EvtGetEventMetadataProperty(
      event_metadata, property_id, flags, buffer_size, buffer, buffer_used);
}

}  // namespace qrv::offline
