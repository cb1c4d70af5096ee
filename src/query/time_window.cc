// Window start text and the channel / event-id queries; see time_window.h.
#include "query/time_window.h"

#include <cstdio>

#include "platform/platform.h"
#include "platform/time_convert.h"
#include "query/query_events.h"

namespace qrv {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// The buffer the text is formatted into; the text itself is 30 characters.
constexpr size_t kWindowTextBuffer = 128;

constexpr char kQueryHead[] = "<QueryList><Query Path='";
constexpr char kQueryTail[] = "']]</Select></Query></QueryList>";

}  // namespace

const char* ResultCodeError::what() const noexcept {
  return "Windows result code error";
}

std::string FormatWindowStart(int32_t days) {
  // 64-bit product: no 32-bit day count can overflow it.
  const int64_t start =
      CurrentTime() - static_cast<int64_t>(days) * kSecondsPerDay;
  if (start < kEarliestWindowStart || start > kLatestWindowStart) {
    throw ResultCodeError(kEInvalidArg);
  }
  // Within that range the instant lies well after 1601 and its tick count
  // fits easily in 63 bits, so the FILETIME calendar conversion gives its UTC
  // fields.
  const int64_t ticks = static_cast<int64_t>(kUnixEpochTicks) +
                        start * static_cast<int64_t>(kTicksPerSecond);
  SystemTime st;
  if (!ConvertFileTimeToSystemTime(static_cast<uint64_t>(ticks), &st)) {
    throw ResultCodeError(kEInvalidArg);
  }
  char text[kWindowTextBuffer];
  const int written = std::snprintf(
      text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.000000000Z",
      unsigned{st.year}, unsigned{st.month}, unsigned{st.day},
      unsigned{st.hour}, unsigned{st.minute}, unsigned{st.second});
  if (written <= 0) return std::string();
  return std::string(text);
}

bool GetEventsByChannel(const std::string& channel, EventList& events,
                        const std::string& start, uint32_t& error_code) {
  const std::string query =
      kQueryHead + channel +
      "'><Select>Event/System[TimeCreated[@SystemTime >= '" + start +
      kQueryTail;
  return QueryEvents(events, query, error_code, true);
}

bool GetEventsById(const std::string& channel, EventList& events,
                   const std::string& start, const std::string& event_id,
                   uint32_t& error_code) {
  // The identifier stands bare (XPath compares it as a number); the channel
  // and the start text stand between apostrophes.
  const std::string query =
      kQueryHead + channel + "'><Select>Event/System[EventID=" + event_id +
      " and TimeCreated[@SystemTime >= '" + start + kQueryTail;
  return QueryEvents(events, query, error_code, true);
}

}  // namespace qrv
