// Text forms of values back to binary: times that events carry as literal
// text, GUIDs and SIDs (for literal System values and for the writer).
// Entry points: ParseFileTimeText(), ParseGuidText(), ParseSidText().
#ifndef QRV_FORMATS_EVTX_VALUE_PARSE_H_
#define QRV_FORMATS_EVTX_VALUE_PARSE_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace evtx {

// "YYYY-MM-DDTHH:MM:SS[.fraction]Z" (any number of fraction digits, cut to
// 100 ns) to FILETIME ticks.
bool ParseFileTimeText(std::string_view text, uint64_t* ticks);
// "{8-4-4-4-12}" (braces optional, either case) to on-disk GUID bytes.
bool ParseGuidText(std::string_view text, uint8_t* guid16);
// "S-1-5-21-..." to the binary SID layout.
bool ParseSidText(std::string_view text, std::vector<uint8_t>* sid);

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_VALUE_PARSE_H_
