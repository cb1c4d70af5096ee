// The offline event-log service: the Evt* calls answered over the .evtx
// files of an image (its channels) and over log files named by path, with
// the Windows contracts of EventLogApi. Handles are ids in one object table,
// so unknown, closed or wrong-kind handles fail with ERROR_INVALID_HANDLE.
// Entry point: OfflineEventLog.
//
// Behaviour where Windows leaves a choice or the offline service cannot
// follow it, each a defined answer:
//   - EvtQuery: a query it refuses (ERROR_EVT_INVALID_QUERY, or
//     ERROR_EVT_CHANNEL_NOT_FOUND on a machine with channels) is also
//     explained on the diagnostics stream, when there is one;
//     local session only (another fails with
//     ERROR_INVALID_HANDLE); forward direction only
//     (EvtQueryReverseDirection and unknown flag bits fail with
//     ERROR_INVALID_PARAMETER); paths as event_query.h resolves them;
//     timediff() measures against the time of the EvtQuery call.
//   - EvtNext: reading files never waits, so the timeout is not used; after
//     EvtCancel it fails with ERROR_CANCELLED, as Windows does.
//   - EvtSeek: relative to the first event or the current position, no
//     bookmark (others fail with ERROR_NOT_SUPPORTED). Seeking back reads
//     the query again from its start; seeking past the last event leaves
//     the position at the end.
//   - EvtCreateRenderContext: the system context only (value paths and the
//     user context fail with ERROR_INVALID_PARAMETER).
//   - EvtRender: EvtRenderEventValues with the system context, and
//     EvtRenderEventXml; sizes in bytes, two-call sizing with
//     ERROR_INSUFFICIENT_BUFFER.
//   - Each query reads ahead on a worker thread (QueryWorker) when
//     `threaded` and its logs are large enough for the thread to pay for
//     itself (kThreadFromRecords): it decodes and selects the records and,
//     with a catalogue, formats each event's message, so EvtNext and
//     EvtFormatMessage of the caller are look-ups returning what the direct
//     call would. Every call into the message catalogue, from either
//     thread, holds catalogue_lock_; the worker touches nothing else the
//     caller uses.
//   - Publisher metadata and messages come from the image's message
//     catalogue (PublisherMetadataCalls), which formats an event's message
//     from its System values and its EventData (or UserData leaf) texts. A
//     machine without logs has a catalogue over an empty registry: no
//     provider opens.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_OFFLINE_EVENT_LOG_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_OFFLINE_EVENT_LOG_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

#include "formats/evtx/event_tree.h"
#include "platform/event_log_api.h"
#include "platform/offline/evt_object_table.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/messages/publisher_metadata.h"
#include "platform/offline/service/captured_event.h"
#include "platform/offline/service/event_query.h"
#include "platform/offline/service/query_worker.h"
#include "platform/system_api.h"

namespace qrv::offline {

struct QueryArguments;

// ERROR_CANCELLED: EvtNext on a query that EvtCancel stopped.
inline constexpr uint32_t kErrorCancelled = 1223;

class OfflineEventLog : public EventLogApi {
 public:
  // Failure codes go to `system`'s last error. `system` and `messages` must
  // outlive this. `threaded` gives each query whose logs hold at least
  // about `thread_from_records` records a worker thread; by default there is one
  // when the machine has more than one core.
  OfflineEventLog(QuerySources sources, SystemApi& system,
                  MessageCatalog& messages, bool threaded = MoreThanOneCore(),
                  uint64_t thread_from_records = kThreadFromRecords);
  static bool MoreThanOneCore();
  ~OfflineEventLog() override;

  // Where a refused query is explained, one line each (query_diagnostic.h);
  // null, the default, says nothing. Standard error in the program.
  void set_diagnostics(std::ostream* out) { diagnostics_ = out; }

  // Handles open now, of every kind (tests check that callers close all).
  size_t open_handles() const { return objects_.open_count(); }
  // The event behind an event handle, or null.
  const CapturedEvent* Event(EvtHandle event) const;
  // What the message catalogue needs of the event behind `event`; nullopt
  // when it is not an event handle. Built once per event.
  std::optional<EventMessageRequest> MessageRequest(EvtHandle event);

  EvtHandle EvtQuery(EvtHandle session, const char16_t* path,
                     const char16_t* query, uint32_t flags) override;
  bool EvtNext(EvtHandle result_set, uint32_t events_size, EvtHandle* events,
               uint32_t timeout_ms, uint32_t flags,
               uint32_t* returned) override;
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
  bool Fail(uint32_t code);
  EvtHandle FailHandle(uint32_t code);
  // Compiles and opens a query's sources; null with *error set.
  std::unique_ptr<QueryWorker> StartQuery(const QueryArguments& arguments,
                                          uint32_t* error);
  bool RenderXml(const CapturedEvent& event, uint32_t buffer_size, void* buffer,
                 uint32_t* buffer_used);

  QuerySources sources_;
  SystemApi& system_;
  std::ostream* diagnostics_ = nullptr;
  bool threaded_;
  uint64_t thread_from_records_;
  std::mutex catalogue_lock_;  // see the class comment
  std::unique_ptr<PublisherMetadataCalls> metadata_;
  std::unique_ptr<MessageFormatter> formatter_;  // for query workers
  // Declared after what query workers use (the lock, the catalogue calls):
  // destroying the table joins the workers of queries still open first.
  EvtObjectTable objects_;
  CapturedRecordReader records_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_OFFLINE_EVENT_LOG_H_
