// GETEVENTSCHANNEL, GETEVENTSID, GETEVENTSSEVERITY and GETEVENTSSEVERITYDAYS:
// the recent events of one channel, from a start instant whole days back
// (RunGetEventsChannel, RunGetEventsId, RunGetEventsSeverity).
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "app/handlers.h"
#include "platform/metadata_cache.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "query/event_text.h"
#include "query/print_events.h"
#include "query/record_list.h"
#include "query/severity_filter.h"
#include "query/time_window.h"

namespace qrv {

namespace {

constexpr char kChannelFailure[] = "Failed to Get Events:\t";
constexpr char kIdFailure[] = "Failed to Get Events by Event ID:\t";
constexpr char kSeverityFailure[] = "Failed to Get Events by Severity:\t";

// Written instead of a system text when the start instant cannot be
// converted; ends in CR LF as system texts do, so the block keeps its shape.
constexpr char kWindowOutOfRange[] =
    "The start of the time window falls outside the supported range, "
    "1969-12-31T12:00:00Z to 3001-01-19T21:59:59Z.\r\n";

// The days of a window without a day-count word.
constexpr int32_t kDefaultDays = 1;

// The C runtime's atoi, spelt out so that its edge behaviour is fixed on every
// platform: leading white space skipped, one optional sign, decimal digits up
// to the first other character, 0 without digits, and a value beyond the
// 32-bit range clamped to the nearest limit.
int32_t ParseDayCount(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Accumulated as a magnitude; once past the limit it stays pinned there.
  const int64_t limit =
      negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
               : std::numeric_limits<int32_t>::max();
  int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// The failure block: an empty line, then the handler's text and the reason,
// which ends in a line break of its own.
void WriteFailure(const char* failure_text, const std::string& reason) {
  WriteLine("");
  WriteLine(failure_text + reason);
}

// The window start for `days`, or nothing after writing the failure block
// when the instant is beyond what the UTC conversion takes.
std::optional<std::string> WindowStartOrFailure(int32_t days,
                                                const char* failure_text) {
  try {
    return FormatWindowStart(days);
  } catch (const ResultCodeError&) {
    WriteFailure(failure_text, kWindowOutOfRange);
    return std::nullopt;
  }
}

// Prints the list when the query ran, the failure block when it did not;
// records appended before a failure are dropped unprinted.
void Report(bool ran, const EventList& events, const char* failure_text,
            uint32_t error_code) {
  if (ran) {
    PrintEventList(events);
  } else {
    WriteFailure(failure_text, GetErrorText(error_code));
  }
}

}  // namespace

bool RunGetEventsChannel(const ArgumentList& args) {
  const ScopedMetadataCache metadata_cache;
  if (args.size() < 3) return false;
  const std::string channel = Trim(args[2]);
  if (channel.empty()) return false;
  const std::optional<std::string> start =
      WindowStartOrFailure(kDefaultDays, kChannelFailure);
  if (!start) return true;

  RecordListPtr<EventList> events = NewRecordList<EventList>();
  uint32_t error_code = 0;
  const bool ran = GetEventsByChannel(channel, *events, *start, error_code);
  Report(ran, *events, kChannelFailure, error_code);
  return true;
}

bool RunGetEventsId(const ArgumentList& args) {
  const ScopedMetadataCache metadata_cache;
  if (args.size() < 4) return false;
  const std::string channel = Trim(args[2]);
  const std::string event_id = Trim(args[3]);
  if (channel.empty() || event_id.empty()) return false;
  const std::optional<std::string> start =
      WindowStartOrFailure(kDefaultDays, kIdFailure);
  if (!start) return true;

  RecordListPtr<EventList> events = NewRecordList<EventList>();
  uint32_t error_code = 0;
  const bool ran =
      GetEventsById(channel, *events, *start, event_id, error_code);
  Report(ran, *events, kIdFailure, error_code);
  return true;
}

bool RunGetEventsSeverity(const ArgumentList& args) {
  const ScopedMetadataCache metadata_cache;
  if (args.size() < 4) return false;
  const std::string channel = Trim(args[2]);
  const std::string severities = Trim(args[3]);
  if (channel.empty() || severities.empty()) return false;
  // The usage text advises 1 to 30 days; any count but 0 is taken, and a
  // negative one puts the start in the future.
  const int32_t days = args.size() >= 5 ? ParseDayCount(args[4]) : kDefaultDays;
  if (days == 0) return false;
  const std::optional<std::string> start =
      WindowStartOrFailure(days, kSeverityFailure);
  if (!start) return true;

  RecordListPtr<EventList> events = NewRecordList<EventList>();
  uint32_t error_code = 0;
  SeverityListProblem problem;
  const bool ran = GetEventsBySeverity(channel, *events, *start, severities,
                                       error_code, &problem);
  if (!ran && problem.kind != SeverityListProblem::Kind::kNone) {
    // A refused list leaves the error code at 0, whose system text reads as
    // success; say what was wrong with the list instead.
    WriteFailure(kSeverityFailure, DescribeSeverityListProblem(problem));
    return true;
  }
  Report(ran, *events, kSeverityFailure, error_code);
  return true;
}

}  // namespace qrv
