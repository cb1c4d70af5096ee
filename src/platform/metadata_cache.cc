// Shared publisher metadata and system render context; see metadata_cache.h.
//
// Reference handles are the addresses of Reference slots this class owns. The
// service's handles are its own objects, so while a slot lives no handle of
// the service can have its address. A closed reference is still recognised
// (and refused with kErrorInvalidHandle) until its slot is handed out again,
// which, as with Windows handle values, makes a stale value live once more.
// Not thread-safe: the tool makes every event-log call from its one thread.
#include "platform/metadata_cache.h"

#include <algorithm>
#include <functional>

namespace qrv {

MetadataCache::MetadataCache(EventLogApi& service, SystemApi& system)
    : service_(service), system_(system), last_publisher_(publishers_.end()) {}

MetadataCache::~MetadataCache() {
  for (auto& entry : publishers_) {
    if (entry.second.real != nullptr) service_.EvtClose(entry.second.real);
  }
  if (render_context_.real != nullptr) service_.EvtClose(render_context_.real);
}

namespace {

// `name` against the NUL-terminated `text`, in one pass that stops at the
// first difference (names hold no U+0000).
bool SameName(const std::u16string& name, const char16_t* text) {
  for (const char16_t unit : name) {
    if (*text++ != unit) return false;
  }
  return *text == u'\0';
}

}  // namespace

EvtHandle MetadataCache::NewReference(Shared* shared) {
  Reference* reference = nullptr;
  if (!free_.empty()) {
    reference = free_.back();
    free_.pop_back();
  } else {
    reference = &references_.emplace_back();
    issued_.insert(std::lower_bound(issued_.begin(), issued_.end(),
                                    reference, std::less<>()),
                   reference);
  }
  reference->shared = shared;
  ++open_references_;
  return reinterpret_cast<EvtHandle>(reference);
}

MetadataCache::Reference* MetadataCache::AsReference(EvtHandle handle) const {
  // Only compared, never dereferenced, unless it is one of our slots.
  const auto* wanted = reinterpret_cast<const Reference*>(handle);
  auto it = std::lower_bound(issued_.begin(), issued_.end(), wanted,
                             std::less<>());
  return it == issued_.end() || *it != wanted ? nullptr
                                              : const_cast<Reference*>(*it);
}

bool MetadataCache::Resolve(EvtHandle handle, EvtHandle* real) const {
  const Reference* reference = AsReference(handle);
  if (reference == nullptr) {
    *real = handle;
    return true;
  }
  if (reference->shared == nullptr) return false;
  *real = reference->shared->real;
  return true;
}

bool MetadataCache::FailInvalidHandle() {
  system_.SetLastError(kErrorInvalidHandle);
  return false;
}

EvtHandle MetadataCache::EvtQuery(EvtHandle session, const char16_t* path,
                                  const char16_t* query, uint32_t flags) {
  EvtHandle real_session = nullptr;
  if (!Resolve(session, &real_session)) {
    FailInvalidHandle();
    return nullptr;
  }
  return service_.EvtQuery(real_session, path, query, flags);
}

bool MetadataCache::EvtNext(EvtHandle result_set, uint32_t events_size,
                            EvtHandle* events, uint32_t timeout_ms,
                            uint32_t flags, uint32_t* returned) {
  EvtHandle real_set = nullptr;
  if (!Resolve(result_set, &real_set)) return FailInvalidHandle();
  return service_.EvtNext(real_set, events_size, events, timeout_ms, flags,
                          returned);
}

bool MetadataCache::EvtSeek(EvtHandle result_set, int64_t position,
                            EvtHandle bookmark, uint32_t timeout_ms,
                            uint32_t flags) {
  EvtHandle real_set = nullptr;
  EvtHandle real_bookmark = nullptr;
  if (!Resolve(result_set, &real_set) || !Resolve(bookmark, &real_bookmark)) {
    return FailInvalidHandle();
  }
  return service_.EvtSeek(real_set, position, real_bookmark, timeout_ms, flags);
}

bool MetadataCache::EvtCancel(EvtHandle object) {
  EvtHandle real_object = nullptr;
  if (!Resolve(object, &real_object)) return FailInvalidHandle();
  return service_.EvtCancel(real_object);
}

bool MetadataCache::EvtClose(EvtHandle object) {
  Reference* reference = AsReference(object);
  if (reference == nullptr) return service_.EvtClose(object);
  if (reference->shared == nullptr) return FailInvalidHandle();
  reference->shared = nullptr;
  free_.push_back(reference);
  --open_references_;
  return true;
}

EvtHandle MetadataCache::EvtCreateRenderContext(uint32_t value_paths_count,
                                                const char16_t** value_paths,
                                                uint32_t flags) {
  if (value_paths_count != 0 || value_paths != nullptr ||
      flags != kEvtRenderContextSystem) {
    return service_.EvtCreateRenderContext(value_paths_count, value_paths,
                                           flags);
  }
  if (render_context_.real == nullptr) {
    // A failure is not remembered: creating a context costs little, and the
    // service's own code reaches the caller.
    render_context_.real =
        service_.EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem);
    if (render_context_.real == nullptr) return nullptr;
  }
  return NewReference(&render_context_);
}

bool MetadataCache::EvtRender(EvtHandle context, EvtHandle fragment,
                              uint32_t flags, uint32_t buffer_size,
                              void* buffer, uint32_t* buffer_used,
                              uint32_t* property_count) {
  EvtHandle real_context = nullptr;
  EvtHandle real_fragment = nullptr;
  if (!Resolve(context, &real_context) || !Resolve(fragment, &real_fragment)) {
    return FailInvalidHandle();
  }
  return service_.EvtRender(real_context, real_fragment, flags, buffer_size,
                            buffer, buffer_used, property_count);
}

EvtHandle MetadataCache::EvtOpenPublisherMetadata(EvtHandle session,
                                                  const char16_t* publisher_id,
                                                  const char16_t* log_file_path,
                                                  uint32_t locale,
                                                  uint32_t flags) {
  if (session != nullptr || publisher_id == nullptr ||
      log_file_path != nullptr || locale != 0 || flags != 0) {
    EvtHandle real_session = nullptr;
    if (!Resolve(session, &real_session)) {
      FailInvalidHandle();
      return nullptr;
    }
    return service_.EvtOpenPublisherMetadata(real_session, publisher_id,
                                             log_file_path, locale, flags);
  }
  // Events come in runs of one provider: the last name found is tried first.
  auto it = last_publisher_ != publishers_.end() &&
                    SameName(last_publisher_->first, publisher_id)
                ? last_publisher_
                : publishers_.find(std::u16string_view(publisher_id));
  if (it == publishers_.end()) {
    if (publishers_.size() >= kMaxCachedPublishers) {
      return service_.EvtOpenPublisherMetadata(nullptr, publisher_id, nullptr,
                                               0, 0);
    }
    it = publishers_.emplace(std::u16string(publisher_id), Shared{}).first;
    Shared& shared = it->second;
    shared.real =
        service_.EvtOpenPublisherMetadata(nullptr, publisher_id, nullptr, 0, 0);
    if (shared.real == nullptr) shared.error = system_.GetLastError();
  }
  // A provider that failed comes in runs too (a log whose message files
  // are missing asks for it once per event).
  last_publisher_ = it;
  if (it->second.real == nullptr) {
    system_.SetLastError(it->second.error);
    return nullptr;
  }
  return NewReference(&it->second);
}

bool MetadataCache::EvtFormatMessage(EvtHandle publisher_metadata,
                                     EvtHandle event, uint32_t message_id,
                                     uint32_t value_count,
                                     const EvtVariant* values, uint32_t flags,
                                     uint32_t buffer_size, char16_t* buffer,
                                     uint32_t* buffer_used) {
  EvtHandle real_metadata = nullptr;
  EvtHandle real_event = nullptr;
  if (!Resolve(publisher_metadata, &real_metadata) ||
      !Resolve(event, &real_event)) {
    return FailInvalidHandle();
  }
  return service_.EvtFormatMessage(real_metadata, real_event, message_id,
                                   value_count, values, flags, buffer_size,
                                   buffer, buffer_used);
}

EvtHandle MetadataCache::EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                                  uint32_t flags) {
  EvtHandle real_metadata = nullptr;
  if (!Resolve(publisher_metadata, &real_metadata)) {
    FailInvalidHandle();
    return nullptr;
  }
  return service_.EvtOpenEventMetadataEnum(real_metadata, flags);
}

EvtHandle MetadataCache::EvtNextEventMetadata(EvtHandle enumerator,
                                              uint32_t flags) {
  EvtHandle real_enumerator = nullptr;
  if (!Resolve(enumerator, &real_enumerator)) {
    FailInvalidHandle();
    return nullptr;
  }
  return service_.EvtNextEventMetadata(real_enumerator, flags);
}

bool MetadataCache::EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                                uint32_t property_id,
                                                uint32_t flags,
                                                uint32_t buffer_size,
                                                EvtVariant* buffer,
                                                uint32_t* buffer_used) {
  EvtHandle real_metadata = nullptr;
  if (!Resolve(event_metadata, &real_metadata)) {
    return FailInvalidHandle();
  }
  return service_.EvtGetEventMetadataProperty(real_metadata, property_id, flags,
                                              buffer_size, buffer, buffer_used);
}

ScopedMetadataCache::ScopedMetadataCache()
    : cache_(*CurrentPlatform().event_log, *CurrentPlatform().system),
      scope_(cache_) {}

}  // namespace qrv
