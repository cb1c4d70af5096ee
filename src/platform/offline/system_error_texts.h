// The system's error texts off Windows: one line for each Win32 code the tool
// or the offline backend can produce, in this project's own words, ending
// with CR LF as the texts FormatMessage gives on Windows do.
#ifndef QRV_PLATFORM_OFFLINE_SYSTEM_ERROR_TEXTS_H_
#define QRV_PLATFORM_OFFLINE_SYSTEM_ERROR_TEXTS_H_

#include <cstdint>
#include <string_view>

namespace qrv {

// Codes only the offline backend produces, with their Windows numbers.
// ERROR_INVALID_FLAGS: a conversion asked for with flags it does not take.
inline constexpr uint32_t kErrorInvalidFlags = 1004;
// Win32 code that the offline message box fails with when there is no
// terminal to show it on (ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION: the
// code Windows gives for a box asked for where no user can see it).
inline constexpr uint32_t kErrorRequiresInteractiveWindowStation = 1459;

// The text for `code`, or an empty view when the system has none.
std::string_view SystemErrorText(uint32_t code);

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_SYSTEM_ERROR_TEXTS_H_
