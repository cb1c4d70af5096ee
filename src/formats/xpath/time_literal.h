// Time literals of event queries ('2024-01-01T00:00:00.000Z') as FILETIME
// ticks, for chronological comparison with FileTime values. Entry point:
// ParseTimeLiteral().
#ifndef QRV_FORMATS_XPATH_TIME_LITERAL_H_
#define QRV_FORMATS_XPATH_TIME_LITERAL_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace xpath {

// 'YYYY-MM-DDTHH:MM:SS[.fffffffff]Z' (0 to 9 fraction digits, UTC, years
// 1601-9999) to FILETIME ticks; digits past 100 ns are truncated.
std::optional<uint64_t> ParseTimeLiteral(std::string_view text);

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_TIME_LITERAL_H_
