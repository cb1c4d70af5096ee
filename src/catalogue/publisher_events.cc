// Publisher metadata walk: EvtOpenPublisherMetadata, EvtOpenEventMetadataEnum,
// EvtNextEventMetadata, EvtGetEventMetadataProperty and EvtFormatMessage; see
// publisher_events.h. Every handle is held by an EvtHandleOwner.
#include "catalogue/publisher_events.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/two_call.h"
#include "query/event_text.h"

namespace qrv {

namespace {

// Text used when the message could not be fetched at all.
constexpr char kFailedToGetMessage[] = "Failed to get message";
// Text used when the message, once cleaned, is empty.
constexpr char kTextUnknown[] = "Text unknown";

// Reads a 32-bit unsigned event-metadata property (the identifier or the
// message identifier). The EVT_VARIANT's type tag is not examined: the value
// is the first 32 bits of the answer. False when the sizing call did not
// fail with ERROR_INSUFFICIENT_BUFFER or the buffer could not be had.
bool ReadMetadataNumber(EvtHandle event_metadata, uint32_t property,
                        uint32_t& value) {
  TwoCallResult answer =
      ReadTwoCall(1, [&](uint32_t size, void* buffer, uint32_t* used) {
        return EvtGetEventMetadataProperty(event_metadata, property, 0, size,
                                           static_cast<EvtVariant*>(buffer),
                                           used);
      });
  if (answer.status != TwoCallStatus::kFilled) return false;
  // The buffer is zero-filled and exactly as long as reported: an answer
  // shorter than 32 bits contributes only the bytes it has.
  value = 0;
  std::memcpy(&value, answer.data.get(),
              answer.units < sizeof(value) ? answer.units : sizeof(value));
  return true;
}

// The message text of `message_id`, uncleaned.
std::string FormatMessageById(EvtHandle publisher_metadata,
                              uint32_t message_id) {
  TwoCallResult answer =
      ReadMessageText([&](uint32_t size, void* buffer, uint32_t* used) {
        return EvtFormatMessage(publisher_metadata, nullptr, message_id, 0,
                                nullptr, kEvtFormatMessageId, size,
                                static_cast<char16_t*>(buffer), used);
      });
  switch (answer.status) {
    case TwoCallStatus::kFilled:
      // Formatted without values, a template with inserts comes back with
      // 15029 and its %n as written; that text is the listing's message.
      return ToAnsi(reinterpret_cast<const char16_t*>(answer.data.get()));
    case TwoCallStatus::kFirstCallSucceeded:
    case TwoCallStatus::kAllocationFailed:
      return kFailedToGetMessage;
    case TwoCallStatus::kFirstCallFailed:
      break;
  }
  // The service has no text for it (15027/15028 or any other code); the
  // event is still listed, as "Text unknown" once cleaned.
  return std::string();
}

// One event definition: a record when its identifier and message can be had.
void AddEventDefinition(PublisherList& list, const std::string& channel,
                        const std::string& publisher,
                        EvtHandle publisher_metadata,
                        EvtHandle event_metadata) {
  uint32_t event_id = 0;
  if (!ReadMetadataNumber(event_metadata, kEventMetadataEventID, event_id)) {
    return;  // definition without a readable identifier: passed over
  }
  std::string message;
  if (!GetEventMetadataMessage(publisher_metadata, event_metadata, message)) {
    return;  // no message identifier: nothing to list
  }
  list.AddTail(std::make_unique<CZK_EL_PUB>(channel, publisher,
                                            std::to_string(event_id),
                                            std::move(message)));
}

}  // namespace

bool GetEventMetadataMessage(EvtHandle publisher_metadata,
                             EvtHandle event_metadata, std::string& message) {
  uint32_t message_id = 0;
  if (!ReadMetadataNumber(event_metadata, kEventMetadataEventMessageID,
                          message_id) ||
      message_id == kNoEventMessage || message_id == 0) {
    return false;
  }
  message = FormatMessageById(publisher_metadata, message_id);
  if (!CleanText(message)) message = kTextUnknown;
  return true;
}

void AddPublisherEvents(PublisherList& list, const std::string& channel,
                        const std::string& publisher) {
  EvtHandleOwner publisher_metadata;
  {
    const std::u16string name = ToWide(publisher);
    publisher_metadata.Reset(
        EvtOpenPublisherMetadata(nullptr, name.c_str(), nullptr, 0, 0));
  }
  // A source or publisher the service does not know adds nothing.
  if (!publisher_metadata) return;
  // Declared after the publisher metadata, so it is closed first.
  const EvtHandleOwner enumerator(
      EvtOpenEventMetadataEnum(publisher_metadata.Get(), 0));
  if (!enumerator) return;
  // A null handle ends the walk, whether at the end or on an error.
  while (true) {
    const EvtHandleOwner event_metadata(
        EvtNextEventMetadata(enumerator.Get(), 0));
    if (!event_metadata) break;
    AddEventDefinition(list, channel, publisher, publisher_metadata.Get(),
                       event_metadata.Get());
  }
}

}  // namespace qrv
