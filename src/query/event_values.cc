// One event handle to one CZK_EL_EVT: RenderEvent reads the system
// properties with EvtRender and turns them into the record's texts.
#include "query/event_values.h"

#include <array>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/two_call.h"
#include "query/event_text.h"

namespace qrv {

namespace {

// Keywords values that name a level-0 event. Compared with the whole 64-bit
// value: bit 63 (the classic-log marker) plus one audit bit.
constexpr uint64_t kAuditFailureKeywords = 0x8010000000000000ull;
constexpr uint64_t kAuditSuccessKeywords = 0x8020000000000000ull;

// The longest TimeCreated text, with its terminator.
constexpr size_t kTimeTextSize = 64;

// TimeCreated text for a FILETIME that FileTimeToSystemTime refuses (ticks of
// 2^63 and above). Windows never stamps such a time, so the raw value is
// shown instead of a calendar time: the field stays non-empty, does not look
// like an ISO time to a reader or a parser, and is the same on every run.
// Example: "Invalid time (FILETIME 0x8000000000000000)".
std::string_view InvalidTimeText(uint64_t ticks, char (&text)[kTimeTextSize]) {
  const int n = std::snprintf(text, sizeof(text),
                              "Invalid time (FILETIME 0x%016" PRIX64 ")", ticks);
  return std::string_view(text, static_cast<size_t>(n));
}

// "00" to "99", end to end.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int n = 0; n < 100; ++n) {
    pairs[2 * n] = static_cast<char>('0' + n / 10);
    pairs[2 * n + 1] = static_cast<char>('0' + n % 10);
  }
  return pairs;
}();

// yyyy-mm-ddThh:mm:ss.fffffffffZ in UTC, written into `text`. The fraction
// is the nanoseconds within the second, from the ticks themselves (the
// SYSTEMTIME keeps only milliseconds), so its last two digits are always 00.
std::string_view FormatEventTime(uint64_t ticks, char (&text)[kTimeTextSize]) {
  const FileTime file_time = FileTime::FromTicks(ticks);
  SystemTime st;
  if (!FileTimeToSystemTime(&file_time, &st))
    return InvalidTimeText(ticks, text);
  const uint64_t nanoseconds = (ticks % 10'000'000ull) * 100;
  if (st.year > 9999) {  // five digits, up to 30828
    const int n = std::snprintf(
        text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%09" PRIu64 "Z",
        unsigned{st.year}, unsigned{st.month}, unsigned{st.day},
        unsigned{st.hour}, unsigned{st.minute}, unsigned{st.second},
        nanoseconds);
    return std::string_view(text, static_cast<size_t>(n));
  }
  // Written digit by digit, as this runs once per event, into the text's
  // fixed places.
  constexpr size_t kLength = sizeof("yyyy-mm-ddThh:mm:ss.fffffffffZ") - 1;
  const auto pair = [&text](size_t at, unsigned value) {  // value < 100
    text[at] = kDigitPairs[value * 2];
    text[at + 1] = kDigitPairs[value * 2 + 1];
  };
  pair(0, st.year / 100u);
  pair(2, st.year % 100u);
  text[4] = '-';
  pair(5, st.month);
  text[7] = '-';
  pair(8, st.day);
  text[10] = 'T';
  pair(11, st.hour);
  text[13] = ':';
  pair(14, st.minute);
  text[16] = ':';
  pair(17, st.second);
  text[19] = '.';
  // Nine digits: one, then four pairs.
  auto fraction = static_cast<uint32_t>(nanoseconds);
  for (size_t at = 27; at > 20; at -= 2, fraction /= 100) pair(at, fraction % 100);
  text[20] = static_cast<char>('0' + fraction);
  text[29] = 'Z';
  return std::string_view(text, kLength);
}

// The level names first; only an absent or zero level looks at Keywords,
// and then only for an exact match of the whole value. Literals: the
// record may view them as they are.
std::string_view SeverityName(const EvtVariant& level, uint64_t keywords) {
  if (level.type != kEvtVarTypeNull && level.byte_val != 0) {
    switch (level.byte_val) {
      case 1:
        return "Critical";
      case 2:
        return "Error";
      case 3:
        return "Warning";
      case 4:
      case 5:
        return "Information";
      default:
        return "Unknown";
    }
  }
  if (keywords == kAuditFailureKeywords) return "Audit Failure";
  if (keywords == kAuditSuccessKeywords) return "Audit Success";
  return std::string_view();
}

// A string property as ANSI text, into *out. Any entry that is not a string
// (a Null entry for a property the event lacks) or holds a null pointer is
// empty.
void StringProperty(const EvtVariant& value, std::string* out) {
  if ((value.type & kEvtVariantTypeMask) != kEvtVarTypeString ||
      (value.type & kEvtVariantTypeArray) != 0) {
    out->clear();
    return;
  }
  ToAnsi(value.string_val, out);
}

// Texts of the event being rendered, kept from one event to the next on
// the calling thread, so that their buffers are not made anew each time.
struct RenderScratch {
  std::string provider;
  std::u16string provider_wide;
  std::string channel;
  std::string computer;
};

// Entries the record reads go up to Computer; an answer shorter than that
// cannot be read as a system-property array.
constexpr size_t kPropertiesNeeded = kEvtSystemComputer + 1;

}  // namespace

uint32_t RenderEvent(EventList& events, EvtHandle event) {
  EvtHandleOwner context(
      EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem));
  if (!context) return GetLastError();

  uint32_t property_count = 0;
  TwoCallResult properties =
      ReadTwoCall(1, [&](uint32_t size, void* buffer, uint32_t* used) {
        return EvtRender(context.Get(), event, kEvtRenderEventValues, size,
                         buffer, used, &property_count);
      });
  switch (properties.status) {
    case TwoCallStatus::kFilled:
      break;
    case TwoCallStatus::kFirstCallFailed:
      return properties.error;
    case TwoCallStatus::kAllocationFailed:
      return kErrorInsufficientBuffer;
    case TwoCallStatus::kFirstCallSucceeded:
      // A system context always has properties to return, so a sizing call
      // that succeeds with no buffer leaves nothing to read.
      return kErrorInvalidData;
  }
  if (properties.units < kPropertiesNeeded * sizeof(EvtVariant)) {
    return kErrorInvalidData;
  }
  const auto* values =
      reinterpret_cast<const EvtVariant*>(properties.data.get());

  thread_local RenderScratch scratch;
  StringProperty(values[kEvtSystemProviderName], &scratch.provider);
  // Looked up under the converted name, as the service is asked in UTF-16.
  ToWide(scratch.provider, &scratch.provider_wide);
  EvtHandleOwner publisher(EvtOpenPublisherMetadata(
      nullptr, scratch.provider_wide.c_str(), nullptr, 0, 0));
  // Metadata that cannot be opened, whatever the reason, costs the event its
  // message and nothing else: a provider with none registered (a classic
  // source without a message file, one uninstalled since), one whose
  // resources the user may not read (5), or one the service fails to reach
  // (1722).
  std::string message;
  if (publisher) {
    message = FormatEventMessage(publisher.Get(), event);
    // An empty message is stored empty; the record is made all the same.
    CleanText(message);
  }
  // The fixed text is clean as it stands and is not copied for each event.
  const std::string_view message_text =
      !publisher || message == kMessageNotFound
          ? std::string_view(kMessageNotFound)
          : events.Keep(message);
  StringProperty(values[kEvtSystemChannel], &scratch.channel);
  StringProperty(values[kEvtSystemComputer], &scratch.computer);
  char event_id[8];  // up to 65535
  const char* const event_id_end =
      std::to_chars(event_id, event_id + sizeof(event_id),
                    values[kEvtSystemEventID].uint16_val)
          .ptr;
  char time_text[kTimeTextSize];
  const std::string_view time_created =
      FormatEventTime(values[kEvtSystemTimeCreated].filetime_val, time_text);
  const std::string_view severity = SeverityName(
      values[kEvtSystemLevel], values[kEvtSystemKeywords].uint64_val);

  events.AddTail(std::make_unique<CZK_EL_EVT>(
      events.Share(scratch.channel), events.Share(scratch.provider),
      events.Share(scratch.computer), events.Keep(time_created),
      events.Share(std::string_view(
          event_id, static_cast<size_t>(event_id_end - event_id))),
      severity, message_text));
  return kErrorSuccess;
}

}  // namespace qrv
