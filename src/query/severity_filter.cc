// Severity list to XPath condition and the severity query; see
// severity_filter.h.
#include "query/severity_filter.h"

#include <string_view>
#include <utility>

#include "platform/platform.h"
#include "platform/text.h"
#include "query/query_events.h"

namespace qrv {

namespace {

struct SeverityRow {
  const char* name;
  const char* condition;
};

// Matched in this order. "Information" is level 4 alone; level 0 is reached
// only through the audit keyword bits 52 (failure) and 53 (success), written
// in decimal as the service's XPath wants them.
constexpr SeverityRow kSeverityTable[] = {
    {"Audit Failure", "(Level=0 and band(Keywords,4503599627370496))"},
    {"Audit Success", "(Level=0 and band(Keywords,9007199254740992))"},
    {"Information", "(Level=4)"},
    {"Warning", "(Level=3)"},
    {"Error", "(Level=2)"},
    {"Critical", "(Level=1)"},
};

constexpr char kValidNames[] =
    "Valid names, separated by |: Critical, Error, Warning, Information, "
    "Audit Success, Audit Failure.\r\n";

const char* FindCondition(const std::string& name) {
  for (const SeverityRow& row : kSeverityTable) {
    if (EqualsNoCase(name, row.name)) return row.condition;
  }
  return nullptr;
}

bool IsSeparator(char c, const std::string& separators) {
  return separators.find(c) != std::string::npos;
}

bool Refuse(SeverityListProblem* problem, SeverityListProblem reason) {
  if (problem != nullptr) *problem = std::move(reason);
  return false;
}

}  // namespace

int SplitList(const std::string& text, const std::string& separators,
              std::vector<std::string>& pieces) {
  // Walks whole characters: only a single-byte character can be a separator,
  // so the trail byte of a double-byte character never splits it.
  const auto char_at = [&](size_t pos) {
    return AnsiCharLength(text.data() + pos, text.size() - pos);
  };
  size_t pos = 0;
  for (;;) {
    while (pos < text.size() && char_at(pos) == 1 &&
           IsSeparator(text[pos], separators)) {
      ++pos;
    }
    if (pos >= text.size()) break;
    const size_t begin = pos;
    while (pos < text.size()) {
      const size_t len = char_at(pos);
      if (len == 1 && IsSeparator(text[pos], separators)) break;
      pos += len;
    }
    std::string token = Trim(std::string_view(text).substr(begin, pos - begin));
    if (pos < text.size()) ++pos;  // past the separator that ended the token
    // A blank token ends the list, even with names after it.
    if (token.empty()) break;
    pieces.push_back(std::move(token));
  }
  return static_cast<int>(pieces.size());
}

std::string DescribeSeverityListProblem(const SeverityListProblem& problem) {
  switch (problem.kind) {
    case SeverityListProblem::Kind::kNone:
      return std::string();
    case SeverityListProblem::Kind::kNoNames:
      return std::string("The severity list holds no names. ") + kValidNames;
    case SeverityListProblem::Kind::kTooManyNames:
      return "The severity list holds " + std::to_string(problem.count) +
             " names; at most " + std::to_string(kMaxSeverityNames) +
             " are allowed. " + kValidNames;
    case SeverityListProblem::Kind::kUnknownName:
      return "The severity name \"" + problem.name + "\" is not understood. " +
             kValidNames;
  }
  return std::string();
}

bool BuildSeverityFilter(const std::string& severities, std::string& filter,
                         SeverityListProblem* problem) {
  std::vector<std::string> names;
  const int count = SplitList(severities, "|", names);
  if (count == 0) {
    return Refuse(problem, {SeverityListProblem::Kind::kNoNames, 0, {}});
  }
  if (count > kMaxSeverityNames) {
    return Refuse(problem,
                  {SeverityListProblem::Kind::kTooManyNames, count, {}});
  }
  for (size_t i = 0; i < names.size(); ++i) {
    const char* condition = FindCondition(names[i]);
    if (condition == nullptr) {
      return Refuse(problem,
                    {SeverityListProblem::Kind::kUnknownName, count, names[i]});
    }
    if (i > 0) filter += " or ";
    filter += condition;
  }
  return true;
}

bool GetEventsBySeverity(const std::string& channel, EventList& events,
                         const std::string& start,
                         const std::string& severities, uint32_t& error_code,
                         SeverityListProblem* problem) {
  std::string filter;
  if (!BuildSeverityFilter(severities, filter, problem)) return false;
  const std::string query = "<QueryList><Query Path='" + channel +
                            "'><Select>Event/System[(" + filter +
                            ") and TimeCreated[@SystemTime >= '" + start +
                            "']]</Select></Query></QueryList>";
  return QueryEvents(events, query, error_code, true);
}

}  // namespace qrv
