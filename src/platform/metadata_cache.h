// MetadataCache: an EventLogApi in front of another one that pays for the
// expensive objects once. The logic opens a provider's publisher metadata and
// a system render context for every event it renders; behind this class each
// provider's metadata is opened for real once, the render context is created
// once, and the logic gets cheap reference handles whose EvtClose drops only
// its reference. Every other call and handle passes straight through.
//
// A cache lives for one command, or one cycle of a poll (ScopedMetadataCache):
// a provider updated while the tool runs, or a handle that a restart of the
// service made invalid, is opened afresh by the next cycle, and a failed open
// is remembered only until then.
#ifndef QRV_PLATFORM_METADATA_CACHE_H_
#define QRV_PLATFORM_METADATA_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_log_api.h"
#include "platform/platform.h"
#include "platform/system_api.h"

namespace qrv {

// Distinct providers remembered at once (open handles and failures). A
// Windows installation registers on the order of a thousand publishers, while
// the events of one channel come from a few dozen. Each open handle keeps the
// provider's message resources mapped, so a walk over every publisher would
// otherwise hold all of them until the command ends. Past the cap, opens of
// further providers reach the service every time, as they would without the
// cache.
inline constexpr size_t kMaxCachedPublishers = 256;

class MetadataCache : public EventLogApi {
 public:
  // `service` answers the real calls; `system` carries the last-error code.
  // Both must outlive the cache.
  MetadataCache(EventLogApi& service, SystemApi& system);
  // Closes every real handle the cache holds, once each. Reference handles
  // still open are invalid afterwards.
  ~MetadataCache() override;
  MetadataCache(const MetadataCache&) = delete;
  MetadataCache& operator=(const MetadataCache&) = delete;

  // Reference handles handed out and not yet closed.
  size_t open_references() const { return open_references_; }

  EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                     const char16_t* query, uint32_t flags) override;
  bool EvtNext(EvtHandle result_set, uint32_t events_size, EvtHandle* events,
               uint32_t timeout_ms, uint32_t flags, uint32_t* returned) override;
  bool EvtSeek(EvtHandle result_set, int64_t position, EvtHandle bookmark,
               uint32_t timeout_ms, uint32_t flags) override;
  bool EvtCancel(EvtHandle object) override;
  // A reference handle: drops the reference (the real handle stays open).
  // Any other handle: closed by the service.
  bool EvtClose(EvtHandle object) override;
  // The system context (no value paths, kEvtRenderContextSystem) is shared;
  // other contexts are the service's own.
  EvtHandle EvtCreateRenderContext(uint32_t value_paths_count,
                                   const char16_t** value_paths,
                                   uint32_t flags) override;
  bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                 uint32_t buffer_size, void* buffer, uint32_t* buffer_used,
                 uint32_t* property_count) override;
  // Shared for the tool's shape of call: local session, no log file, locale
  // 0, flags 0. Names are matched exactly (letter case included), so two
  // spellings of one provider cost two real opens, never a wrong answer. A
  // failed open is answered with the same code for the life of the cache.
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
  // One real object held for the life of the cache, or a remembered failure.
  struct Shared {
    EvtHandle real = nullptr;
    uint32_t error = 0;  // when real is null: the code the open failed with
  };
  // The object behind a reference handle; the handle is its address. Slots
  // are reused (last closed, first reused), so rendering event after event
  // allocates nothing once the first few slots exist.
  struct Reference {
    Shared* shared = nullptr;  // null: closed
  };

  EvtHandle NewReference(Shared* shared);
  // A reference handle becomes its real handle, any other handle stays as it
  // is. False for a reference that was closed: the call must fail with
  // kErrorInvalidHandle and never reach the service.
  bool Resolve(EvtHandle handle, EvtHandle* real) const;
  Reference* AsReference(EvtHandle handle) const;
  // Sets kErrorInvalidHandle; returns false.
  bool FailInvalidHandle();

  EventLogApi& service_;
  SystemApi& system_;
  std::map<std::u16string, Shared, std::less<>> publishers_;
  // The entry the last successful open found (entries are never erased).
  std::map<std::u16string, Shared, std::less<>>::iterator last_publisher_;
  Shared render_context_;
  std::deque<Reference> references_;
  // Every slot ever issued, in address order (std::less): a few, searched
  // for every handle passed through, where hashing cost more.
  std::vector<const Reference*> issued_;
  std::vector<Reference*> free_;
  size_t open_references_ = 0;
};

// Puts a MetadataCache in front of the installed event-log service for the
// lifetime of the object, then reinstalls the service and closes every real
// handle the cache held. Each command handler holds one for its run; the poll
// command one per cycle, while the console control thread may be reading the
// rest of the installed platform: only its event-log service is swapped.
class ScopedMetadataCache {
 public:
  ScopedMetadataCache();
  ScopedMetadataCache(const ScopedMetadataCache&) = delete;
  ScopedMetadataCache& operator=(const ScopedMetadataCache&) = delete;

 private:
  // Declared in this order so the service is reinstalled before the cache
  // closes its handles.
  MetadataCache cache_;
  ScopedEventLog scope_;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_METADATA_CACHE_H_
