// FILETIME to SYSTEMTIME; see time_convert.h.
#include "platform/time_convert.h"

namespace qrv {

bool ConvertFileTimeToSystemTime(uint64_t ticks, SystemTime* out) {
  if (ticks >= 0x8000000000000000ull) return false;
  const uint64_t total_seconds = ticks / kTicksPerSecond;
  const uint64_t days = total_seconds / 86400;  // days since 1601-01-01
  const uint64_t secs = total_seconds % 86400;
  // 1601-01-01 was a Monday (day_of_week 1, Sunday = 0).
  out->day_of_week = static_cast<uint16_t>((days + 1) % 7);
  // Civil date from a day count (Howard Hinnant's algorithm), shifted from
  // 1601-01-01 to the 0000-03-01 era origin: 1601-01-01 is day 584694.
  const int64_t z = static_cast<int64_t>(days) + 584694;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  out->year = static_cast<uint16_t>(y);
  out->month = static_cast<uint16_t>(m);
  out->day = static_cast<uint16_t>(d);
  out->hour = static_cast<uint16_t>(secs / 3600);
  out->minute = static_cast<uint16_t>((secs / 60) % 60);
  out->second = static_cast<uint16_t>(secs % 60);
  out->milliseconds = static_cast<uint16_t>((ticks / 10000) % 1000);
  return true;
}

}  // namespace qrv
