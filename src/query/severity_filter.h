// Severity names to an XPath condition: SplitList cuts a bar-separated list,
// BuildSeverityFilter maps each name to its condition, GetEventsBySeverity
// runs the time-bounded query of one channel with it.
#ifndef QRV_QUERY_SEVERITY_FILTER_H_
#define QRV_QUERY_SEVERITY_FILTER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "query/event_record.h"

namespace qrv {

// Names one query may combine.
inline constexpr int kMaxSeverityNames = 7;

// Appends to `pieces` the trimmed tokens of `text` between separator
// characters (any character of `separators`). Runs of separators at either
// end or in the middle give no token; a token that is blank after trimming
// ends the split, and the rest of the text is dropped. Returns the number of
// elements in `pieces` afterwards.
int SplitList(const std::string& text, const std::string& separators,
              std::vector<std::string>& pieces);

// Why a severity list was refused.
struct SeverityListProblem {
  enum class Kind { kNone, kNoNames, kTooManyNames, kUnknownName };
  Kind kind = Kind::kNone;
  int count = 0;     // kTooManyNames: the number of names given
  std::string name;  // kUnknownName: the first name not understood
};

// What was wrong, and the names that are valid, as one sentence ending in
// CR LF like a system message text. Empty for kNone.
std::string DescribeSeverityListProblem(const SeverityListProblem& problem);

// `filter` (passed in empty) becomes the conditions of the 1 to 7 names of
// the bar-separated list, in input order, joined by " or ". False, with the
// reason in `problem` when one is given, for no names, more than seven, or a
// name outside the table (names match case-insensitively); `filter` is then
// to be discarded.
bool BuildSeverityFilter(const std::string& severities, std::string& filter,
                         SeverityListProblem* problem = nullptr);

// Query the channel's events of the listed severities created at or after
// `start`, capped (see QueryEvents). A refused list returns false at once
// with `error_code` untouched and no query made; `problem` then says why.
bool GetEventsBySeverity(const std::string& channel, EventList& events,
                         const std::string& start,
                         const std::string& severities, uint32_t& error_code,
                         SeverityListProblem* problem = nullptr);

}  // namespace qrv

#endif  // QRV_QUERY_SEVERITY_FILTER_H_
