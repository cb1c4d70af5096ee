// The one line on standard error that says why the offline service refused a
// query: where in the text it stopped (the line and column of a QueryList
// document, the offset in a bare XPath) and what was expected or found there,
// or which channel a Path names that the machine does not have, with the
// nearest names it does have. Standard output is not touched: the caller
// still prints the failure block Windows' error code gives.
// Entry points: QueryRefusedLine, UnknownChannelLine, NearestNames.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_QUERY_DIAGNOSTIC_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_QUERY_DIAGNOSTIC_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "formats/xpath/compiled_query.h"

namespace qrv::offline {

// For a query that did not compile (`query` is what compiled `text`).
std::string QueryRefusedLine(std::string_view text,
                             const xpath::CompiledQuery& query);

// For a channel Path that names no channel of `channels` (not empty).
std::string UnknownChannelLine(std::string_view name,
                               const std::vector<std::string>& channels);

// Up to `count` names of `names` nearest to `name` (fewest single-letter
// edits, ignoring ASCII case), nearest first, ties in list order.
std::vector<std::string> NearestNames(std::string_view name,
                                      const std::vector<std::string>& names,
                                      size_t count);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_QUERY_DIAGNOSTIC_H_
