// ParseTimeLiteral(): the date-time grammar of event queries to FILETIME
// ticks (100 ns since 1601-01-01 UTC).
#include "formats/xpath/time_literal.h"

namespace xpath {
namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kSecondsPerDay = 86'400;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLeapYear(uint64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Reads exactly `n` digits at s[*pos].
bool ReadDigits(std::string_view s, size_t* pos, size_t n, uint64_t* out) {
  if (*pos + n > s.size()) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[*pos + i];
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *pos += n;
  *out = v;
  return true;
}

bool Expect(std::string_view s, size_t* pos, char c) {
  if (*pos >= s.size() || s[*pos] != c) return false;
  ++*pos;
  return true;
}

}  // namespace

std::optional<uint64_t> ParseTimeLiteral(std::string_view s) {
  size_t p = 0;
  uint64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadDigits(s, &p, 4, &year) || !Expect(s, &p, '-') ||
      !ReadDigits(s, &p, 2, &month) || !Expect(s, &p, '-') ||
      !ReadDigits(s, &p, 2, &day) || !Expect(s, &p, 'T') ||
      !ReadDigits(s, &p, 2, &hour) || !Expect(s, &p, ':') ||
      !ReadDigits(s, &p, 2, &minute) || !Expect(s, &p, ':') ||
      !ReadDigits(s, &p, 2, &second)) {
    return std::nullopt;
  }
  uint64_t fraction_ticks = 0;
  if (p < s.size() && s[p] == '.') {
    ++p;
    // Up to nine digits (nanoseconds); FILETIME keeps the first seven.
    uint64_t scale = 1'000'000;
    size_t digits = 0;
    while (p < s.size() && IsDigit(s[p])) {
      if (++digits > 9) return std::nullopt;
      fraction_ticks += static_cast<uint64_t>(s[p] - '0') * scale;
      scale /= 10;
      ++p;
    }
  }
  if (!Expect(s, &p, 'Z') || p != s.size()) return std::nullopt;
  static constexpr uint8_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30,
                                               31, 31, 30, 31, 30, 31};
  if (year < 1601 || month < 1 || month > 12 || day < 1 || hour > 23 ||
      minute > 59 || second > 59) {
    return std::nullopt;
  }
  const uint64_t month_days =
      kDaysInMonth[month - 1] + ((month == 2 && IsLeapYear(year)) ? 1 : 0);
  if (day > month_days) return std::nullopt;
  // 1601 starts a 400-year Gregorian cycle, so leap days before `year` are
  // plain quotients of the years elapsed.
  const uint64_t years = year - 1601;
  uint64_t days = years * 365 + years / 4 - years / 100 + years / 400;
  for (uint64_t m = 1; m < month; ++m) {
    days += kDaysInMonth[m - 1] + ((m == 2 && IsLeapYear(year)) ? 1 : 0);
  }
  days += day - 1;
  const uint64_t seconds =
      days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  return seconds * kTicksPerSecond + fraction_ticks;
}

}  // namespace xpath
