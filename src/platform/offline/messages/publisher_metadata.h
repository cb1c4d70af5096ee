// The publisher-metadata calls of the offline event-log service, over a
// message catalogue: EvtOpenPublisherMetadata, EvtOpenEventMetadataEnum,
// EvtNextEventMetadata, EvtGetEventMetadataProperty and EvtFormatMessage,
// with the Windows contracts of EventLogApi. Handles live in the backend's
// shared EvtObjectTable (EvtClose there releases them); failures set the
// last error through the SystemApi given.
//
// Offline limits, each a defined error rather than a guess: a session or a
// log file path is not supported (kErrorInvalidHandle, kErrorNotSupported);
// the locale is ignored (messages come in en-US, else the language the
// files hold); EvtFormatMessage formats events and message ids only
// (other EVT_FORMAT_MESSAGE_FLAGS and caller-supplied values give
// kErrorNotSupported); the event template property is not rendered
// (kErrorNotSupported).
//
// Entry points: PublisherMetadataCalls.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_PUBLISHER_METADATA_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_PUBLISHER_METADATA_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/event_log_api.h"
#include "platform/offline/evt_object_table.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/messages/message_provider.h"
#include "platform/system_api.h"

namespace qrv::offline {

// EVT_EVENT_METADATA_PROPERTY_ID values beyond the two the tool reads.
inline constexpr uint32_t kEventMetadataEventVersion = 1;
inline constexpr uint32_t kEventMetadataEventChannel = 2;
inline constexpr uint32_t kEventMetadataEventLevel = 3;
inline constexpr uint32_t kEventMetadataEventOpcode = 4;
inline constexpr uint32_t kEventMetadataEventTask = 5;
inline constexpr uint32_t kEventMetadataEventKeyword = 6;
inline constexpr uint32_t kEventMetadataEventTemplate = 8;

// The event behind an event handle, as the query service knows it; nullopt
// when the handle is not one of its events.
using EventRequestSource =
    std::function<std::optional<EventMessageRequest>(EvtHandle event)>;

// An event's message formatted ahead of its EvtFormatMessage call: what
// that call returns for the event when given publisher metadata of
// `provider`.
struct FormattedEventMessage {
  std::shared_ptr<const MessageProvider> provider;
  uint32_t status = 0;  // Win32 code of the formatting
  // UTF-16, as EvtFormatMessage returns it: converted once where it was
  // formatted, so each of the two calls of the protocol is a copy.
  std::u16string text;
};

class PublisherMetadataCalls {
 public:
  // All references must outlive this object. `events` serves
  // EvtFormatMessage(EvtFormatMessageEvent); without it that form fails
  // with kErrorInvalidHandle.
  PublisherMetadataCalls(MessageCatalog& catalog, EvtObjectTable& objects,
                         SystemApi& system, EventRequestSource events = nullptr);

  // kErrorFileNotFound for a provider nobody registered.
  EvtHandle EvtOpenPublisherMetadata(EvtHandle session,
                                     const char16_t* publisher_id,
                                     const char16_t* log_file_path,
                                     uint32_t locale, uint32_t flags);
  EvtHandle EvtOpenEventMetadataEnum(EvtHandle publisher_metadata,
                                     uint32_t flags);
  // Null with kErrorNoMoreItems after the last definition.
  EvtHandle EvtNextEventMetadata(EvtHandle enumerator, uint32_t flags);
  // One EvtVariant (16 bytes): UInt32 for the id, version, channel, level,
  // opcode, task and message id; UInt64 for the keywords. A buffer under 16
  // bytes fails with kErrorInsufficientBuffer and *buffer_used = 16.
  bool EvtGetEventMetadataProperty(EvtHandle event_metadata,
                                   uint32_t property_id, uint32_t flags,
                                   uint32_t buffer_size, EvtVariant* buffer,
                                   uint32_t* buffer_used);
  // kEvtFormatMessageId: message `message_id` of the provider.
  // kEvtFormatMessageEvent: the event's message (through FormatEventMessage).
  // Sizes in UTF-16 units, terminator included; too small a buffer fails
  // with kErrorInsufficientBuffer and the size needed in *buffer_used.
  bool EvtFormatMessage(EvtHandle publisher_metadata, EvtHandle event,
                        uint32_t message_id, uint32_t value_count,
                        const EvtVariant* values, uint32_t flags,
                        uint32_t buffer_size, char16_t* buffer,
                        uint32_t* buffer_used);
  // EvtFormatMessage(EvtFormatMessageEvent) for an event described by
  // `request`. A null `publisher_metadata` opens request.provider, as Windows
  // does for a null metadata handle (kErrorEvtPublisherMetadataNotFound when
  // it is unknown). 15027 / 15028 when there is no message.
  bool FormatEventMessage(EvtHandle publisher_metadata,
                          const EventMessageRequest& request,
                          uint32_t buffer_size, char16_t* buffer,
                          uint32_t* buffer_used);

  // True when a provider is registered under `name` (UTF-8, any case).
  bool HasProvider(const std::string& name);
  // FormatEventMessage's work for the provider request.provider names,
  // without handles or the last error, so that it can run on a query's
  // worker thread; nullopt when no provider has that name.
  std::optional<FormattedEventMessage> FormatAhead(
      const EventMessageRequest& request);
  // The provider behind a publisher metadata handle, or null.
  std::shared_ptr<const MessageProvider> ProviderOf(
      EvtHandle publisher_metadata) const;
  // Returns a formatted message as EvtFormatMessage does: the status as the
  // last error, or the text with the two-call contract.
  bool ReturnMessage(uint32_t status, std::u16string_view text,
                     uint32_t buffer_size, char16_t* buffer,
                     uint32_t* buffer_used);

 private:
  bool Fail(uint32_t code);
  EvtHandle FailHandle(uint32_t code);
  // Copies UTF-8 `text` out as UTF-16 with the two-call contract; `status`
  // is the formatting's (kErrorSuccess, kErrorEvtUnresolvedValueInsert with
  // a text, or a failure without one).
  bool CopyText(uint32_t status, std::u16string_view text,
                uint32_t buffer_size, char16_t* buffer, uint32_t* buffer_used);

  // The last event message formatted. The two-call protocol asks for every
  // message twice (size, then text) with the same request; the text depends
  // only on the provider and the request, so the second call copies it.
  struct LastEventMessage {
    std::shared_ptr<const MessageProvider> provider;  // null: none yet
    EventMessageRequest request;
    uint32_t status = 0;
    std::u16string text;
  };

  MessageCatalog& catalog_;
  EvtObjectTable& objects_;
  SystemApi& system_;
  EventRequestSource events_;
  std::mutex last_mutex_;
  LastEventMessage last_;  // guarded by last_mutex_
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_PUBLISHER_METADATA_H_
