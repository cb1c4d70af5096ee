// Proleptic Gregorian dates and FILETIME units shared by value rendering and
// parsing. Entry points: CivilFromDays(), DaysFromCivil().
#ifndef QRV_FORMATS_EVTX_CIVIL_TIME_H_
#define QRV_FORMATS_EVTX_CIVIL_TIME_H_

#include <cstdint>

namespace evtx {

// Seconds between 1601-01-01 (FILETIME epoch) and 1970-01-01.
constexpr int64_t kFileTimeToUnixSeconds = 11644473600LL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;  // 100 ns ticks

// Days since 1970-01-01 to a proleptic Gregorian date (valid for all days a
// 64-bit FILETIME can name).
inline void CivilFromDays(int64_t z, int64_t* y, uint32_t* m, uint32_t* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const uint32_t doe = static_cast<uint32_t>(z - era * 146097);
  const uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const uint32_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2 ? 1 : 0);
}

// Inverse of CivilFromDays.
inline int64_t DaysFromCivil(int64_t y, uint32_t m, uint32_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const uint32_t yoe = static_cast<uint32_t>(y - era * 400);
  const uint32_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const uint32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_CIVIL_TIME_H_
