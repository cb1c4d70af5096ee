// The one form of the offline backend's notices on standard error: one line
// each, starting with the program's name, as command-line tools write them
// ("QRV_EventLog_Tools: QRV_EVENTLOG_MESSAGES: skipped /x.db: not found").
// Entry point: NoticeLine.
#ifndef QRV_PLATFORM_OFFLINE_NOTICE_H_
#define QRV_PLATFORM_OFFLINE_NOTICE_H_

#include <string>
#include <string_view>

namespace qrv::offline {

inline constexpr std::string_view kProgramName = "QRV_EventLog_Tools";

// "<program>: <text>\n", with control characters of `text` (a path from
// the command line may hold any) written as spaces so it stays one line.
std::string NoticeLine(std::string_view text,
                       std::string_view program = kProgramName);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_NOTICE_H_
