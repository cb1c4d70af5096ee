// The start of a windowed query, a whole number of days before now, as UTC
// text (FormatWindowStart), and the two time-bounded queries of one channel:
// every event (GetEventsByChannel) or one event identifier (GetEventsById).
#ifndef QRV_QUERY_TIME_WINDOW_H_
#define QRV_QUERY_TIME_WINDOW_H_

#include <cstdint>
#include <exception>
#include <string>

#include "query/event_record.h"

namespace qrv {

// Raised with a Windows result code (E_INVALIDARG for an instant the UTC
// conversion refuses) instead of returning a text.
class ResultCodeError : public std::exception {
 public:
  explicit ResultCodeError(uint32_t result_code) : result_code_(result_code) {}
  uint32_t result_code() const { return result_code_; }
  const char* what() const noexcept override;

 private:
  uint32_t result_code_;
};

// The instants, in seconds since 1970-01-01T00:00:00Z, that the UTC
// conversion accepts: 1969-12-31T12:00:00Z to 3001-01-19T21:59:59Z.
inline constexpr int64_t kEarliestWindowStart = -43200;
inline constexpr int64_t kLatestWindowStart = 32536850399;

// The platform clock's now, in whole seconds, less `days` × 86400 (a
// negative count lies in the future), as the 30 characters
// "%Y-%m-%dT%H:%M:%S.000000000Z". Throws ResultCodeError(E_INVALIDARG) when
// the instant is outside [kEarliestWindowStart, kLatestWindowStart].
std::string FormatWindowStart(int32_t days);

// Query the channel's events created at or after `start`, oldest first and
// capped (see QueryEvents). Nothing is escaped: the channel, the event id and
// the start text go into the document as given. False with `error_code` set
// when the service refuses the document or reading the results fails.
bool GetEventsByChannel(const std::string& channel, EventList& events,
                        const std::string& start, uint32_t& error_code);
bool GetEventsById(const std::string& channel, EventList& events,
                   const std::string& start, const std::string& event_id,
                   uint32_t& error_code);

}  // namespace qrv

#endif  // QRV_QUERY_TIME_WINDOW_H_
