// FILETIME to SYSTEMTIME in UTC, as FileTimeToSystemTime computes it: the
// Gregorian calendar from 1601-01-01, values of 2^63 ticks and above refused.
#ifndef QRV_PLATFORM_TIME_CONVERT_H_
#define QRV_PLATFORM_TIME_CONVERT_H_

#include <cstdint>

#include "platform/win32_types.h"

namespace qrv {

bool ConvertFileTimeToSystemTime(uint64_t ticks, SystemTime* out);

// Seconds since 1970-01-01T00:00:00Z to FILETIME ticks.
inline constexpr uint64_t kTicksPerSecond = 10'000'000;
inline constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

}  // namespace qrv

#endif  // QRV_PLATFORM_TIME_CONVERT_H_
