// Publisher-metadata handles over the message catalogue; see
// publisher_metadata.h.
#include "platform/offline/messages/publisher_metadata.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "formats/utf16.h"
#include "platform/win32_types.h"

namespace qrv::offline {
namespace {

// What the three handle kinds hold. Enumerations and event definitions keep
// their provider alive, so closing the publisher metadata handle first
// leaves them usable.
struct PublisherMetadataObject : EvtObjectBase {
  std::shared_ptr<const MessageProvider> provider;
};
struct EventMetadataEnumObject : EvtObjectBase {
  std::shared_ptr<const MessageProvider> provider;
  size_t next = 0;
};
struct EventMetadataObject : EvtObjectBase {
  std::shared_ptr<const MessageProvider> provider;
  const pe::WevtEvent* event = nullptr;  // into provider's manifest
};

std::string Utf8FromWide(const char16_t* wide) {
  return wide == nullptr ? std::string() : text::Utf16ToUtf8(wide);
}

}  // namespace

PublisherMetadataCalls::PublisherMetadataCalls(MessageCatalog& catalog,
                                               EvtObjectTable& objects,
                                               SystemApi& system,
                                               EventRequestSource events)
    : catalog_(catalog),
      objects_(objects),
      system_(system),
      events_(std::move(events)) {}

bool PublisherMetadataCalls::Fail(uint32_t code) {
  system_.SetLastError(code);
  return false;
}

EvtHandle PublisherMetadataCalls::FailHandle(uint32_t code) {
  system_.SetLastError(code);
  return nullptr;
}

EvtHandle PublisherMetadataCalls::EvtOpenPublisherMetadata(
    EvtHandle session, const char16_t* publisher_id,
    const char16_t* log_file_path, uint32_t /*locale*/, uint32_t flags) {
  // The image is the only "computer" offline: there are no sessions.
  if (session != nullptr) return FailHandle(kErrorInvalidHandle);
  if (log_file_path != nullptr) return FailHandle(kErrorNotSupported);
  if (publisher_id == nullptr || flags != 0) {
    return FailHandle(kErrorInvalidParameter);
  }
  uint32_t error = kErrorSuccess;
  std::shared_ptr<const MessageProvider> provider =
      catalog_.Open(Utf8FromWide(publisher_id), &error);
  if (provider == nullptr) return FailHandle(error);
  auto object = std::make_unique<PublisherMetadataObject>();
  object->provider = std::move(provider);
  return objects_.Add(std::move(object));
}

EvtHandle PublisherMetadataCalls::EvtOpenEventMetadataEnum(
    EvtHandle publisher_metadata, uint32_t flags) {
  const auto* metadata =
      objects_.Get<PublisherMetadataObject>(publisher_metadata);
  if (metadata == nullptr) return FailHandle(kErrorInvalidHandle);
  if (flags != 0) return FailHandle(kErrorInvalidParameter);
  auto object = std::make_unique<EventMetadataEnumObject>();
  object->provider = metadata->provider;
  return objects_.Add(std::move(object));
}

EvtHandle PublisherMetadataCalls::EvtNextEventMetadata(EvtHandle enumerator,
                                                       uint32_t flags) {
  auto* walk = objects_.Get<EventMetadataEnumObject>(enumerator);
  if (walk == nullptr) return FailHandle(kErrorInvalidHandle);
  if (flags != 0) return FailHandle(kErrorInvalidParameter);
  const std::vector<pe::WevtEvent>& events = walk->provider->events();
  if (walk->next >= events.size()) return FailHandle(kErrorNoMoreItems);
  auto object = std::make_unique<EventMetadataObject>();
  object->provider = walk->provider;
  object->event = &events[walk->next++];
  return objects_.Add(std::move(object));
}

bool PublisherMetadataCalls::EvtGetEventMetadataProperty(
    EvtHandle event_metadata, uint32_t property_id, uint32_t flags,
    uint32_t buffer_size, EvtVariant* buffer, uint32_t* buffer_used) {
  const auto* metadata = objects_.Get<EventMetadataObject>(event_metadata);
  if (metadata == nullptr) return Fail(kErrorInvalidHandle);
  if (flags != 0 || buffer_used == nullptr) {
    return Fail(kErrorInvalidParameter);
  }
  const pe::WevtEvent& event = *metadata->event;
  EvtVariant value{};
  value.type = kEvtVarTypeUInt32;
  switch (property_id) {
    case kEventMetadataEventID:
      value.uint32_val = event.id;
      break;
    case kEventMetadataEventVersion:
      value.uint32_val = event.version;
      break;
    case kEventMetadataEventChannel:
      value.uint32_val = event.channel;
      break;
    case kEventMetadataEventLevel:
      value.uint32_val = event.level;
      break;
    case kEventMetadataEventOpcode:
      value.uint32_val = event.opcode;
      break;
    case kEventMetadataEventTask:
      value.uint32_val = event.task;
      break;
    case kEventMetadataEventKeyword:
      value.type = kEvtVarTypeUInt64;
      value.uint64_val = event.keywords;
      break;
    case kEventMetadataEventMessageID:
      value.uint32_val = event.message_id;
      break;
    case kEventMetadataEventTemplate:
      return Fail(kErrorNotSupported);
    default:
      return Fail(kErrorInvalidParameter);
  }
  *buffer_used = sizeof(EvtVariant);
  if (buffer == nullptr || buffer_size < sizeof(EvtVariant)) {
    return Fail(kErrorInsufficientBuffer);
  }
  *buffer = value;
  return true;
}

bool PublisherMetadataCalls::CopyText(uint32_t status,
                                      std::u16string_view wide,
                                      uint32_t buffer_size, char16_t* buffer,
                                      uint32_t* buffer_used) {
  // A text with unresolved inserts fails both calls with that code, as on
  // Windows, while the size and the text are still given.
  if (status != kErrorSuccess && status != kErrorEvtUnresolvedValueInsert) {
    return Fail(status);
  }
  const uint32_t needed = static_cast<uint32_t>(wide.size() + 1);
  *buffer_used = needed;
  if (buffer == nullptr || buffer_size < needed) {
    return Fail(status == kErrorSuccess ? kErrorInsufficientBuffer : status);
  }
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = u'\0';
  if (status != kErrorSuccess) return Fail(status);
  return true;
}

bool PublisherMetadataCalls::FormatEventMessage(
    EvtHandle publisher_metadata, const EventMessageRequest& request,
    uint32_t buffer_size, char16_t* buffer, uint32_t* buffer_used) {
  if (buffer_used == nullptr) return Fail(kErrorInvalidParameter);
  std::shared_ptr<const MessageProvider> provider;
  if (publisher_metadata == nullptr) {
    uint32_t error = kErrorSuccess;
    provider = catalog_.Open(request.provider, &error);
    if (provider == nullptr) return Fail(kErrorEvtPublisherMetadataNotFound);
  } else {
    const auto* metadata =
        objects_.Get<PublisherMetadataObject>(publisher_metadata);
    if (metadata == nullptr) return Fail(kErrorInvalidHandle);
    provider = metadata->provider;
  }
  const std::lock_guard<std::mutex> lock(last_mutex_);
  if (last_.provider != provider || !(last_.request == request)) {
    std::string text;
    last_.status = provider->FormatEvent(request, &text);
    last_.text = text::Utf8ToUtf16(text);
    last_.provider = std::move(provider);
    last_.request = request;
  }
  return CopyText(last_.status, last_.text, buffer_size, buffer, buffer_used);
}

bool PublisherMetadataCalls::ReturnMessage(uint32_t status,
                                           std::u16string_view text,
                                           uint32_t buffer_size,
                                           char16_t* buffer,
                                           uint32_t* buffer_used) {
  return CopyText(status, text, buffer_size, buffer, buffer_used);
}

bool PublisherMetadataCalls::HasProvider(const std::string& name) {
  uint32_t error = kErrorSuccess;
  return catalog_.Open(name, &error) != nullptr;
}

std::optional<FormattedEventMessage> PublisherMetadataCalls::FormatAhead(
    const EventMessageRequest& request) {
  uint32_t error = kErrorSuccess;
  FormattedEventMessage message;
  message.provider = catalog_.Open(request.provider, &error);
  if (message.provider == nullptr) return std::nullopt;
  std::string text;
  message.status = message.provider->FormatEvent(request, &text);
  text::AssignUtf8ToUtf16(text, &message.text);
  return message;
}

std::shared_ptr<const MessageProvider> PublisherMetadataCalls::ProviderOf(
    EvtHandle publisher_metadata) const {
  const auto* metadata =
      objects_.Get<PublisherMetadataObject>(publisher_metadata);
  return metadata == nullptr ? nullptr : metadata->provider;
}

bool PublisherMetadataCalls::EvtFormatMessage(
    EvtHandle publisher_metadata, EvtHandle event, uint32_t message_id,
    uint32_t value_count, const EvtVariant* /*values*/, uint32_t flags,
    uint32_t buffer_size, char16_t* buffer, uint32_t* buffer_used) {
  if (buffer_used == nullptr) return Fail(kErrorInvalidParameter);
  if (value_count != 0) return Fail(kErrorNotSupported);
  if (flags == kEvtFormatMessageEvent) {
    std::optional<EventMessageRequest> request;
    if (events_) request = events_(event);
    if (!request) return Fail(kErrorInvalidHandle);
    return FormatEventMessage(publisher_metadata, *request, buffer_size,
                              buffer, buffer_used);
  }
  // EVT_FORMAT_MESSAGE_FLAGS 2..9 are level, task, opcode, keyword,
  // channel, provider, id and XML; only the id form is served offline.
  if (flags != kEvtFormatMessageId) {
    return Fail(flags >= 2 && flags <= 9 ? kErrorNotSupported
                                         : kErrorInvalidParameter);
  }
  const auto* metadata =
      objects_.Get<PublisherMetadataObject>(publisher_metadata);
  if (metadata == nullptr) return Fail(kErrorInvalidHandle);
  std::string text;
  const uint32_t status =
      metadata->provider->FormatMessageId(message_id, {}, &text);
  return CopyText(status, text::Utf8ToUtf16(text), buffer_size, buffer,
                  buffer_used);
}

}  // namespace qrv::offline
