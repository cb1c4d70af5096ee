// The texts of an event record besides its system values: the message
// through the provider's metadata, cleaning a text for one output line, and
// the system's text for an error code.
#ifndef QRV_QUERY_EVENT_TEXT_H_
#define QRV_QUERY_EVENT_TEXT_H_

#include <cstdint>
#include <string>

#include "platform/win32_types.h"

namespace qrv {

// The message of an event its provider has no message for.
inline constexpr char kMessageNotFound[] = "Event message not found";

// The event's message through the provider's metadata; never fails (each
// failure becomes a text of its own).
std::string FormatEventMessage(EvtHandle publisher_metadata, EvtHandle event);

// Trims, removes double quotes, turns LF, CR and tab into spaces. True when
// the result is not empty.
bool CleanText(std::string& text);

// The system's text for a Win32 error code, line break included; empty when
// the system has none.
std::string GetErrorText(uint32_t error_code);

}  // namespace qrv

#endif  // QRV_QUERY_EVENT_TEXT_H_
