// The message box off Windows: drawn on a terminal device and answered there.
// It never touches standard input, output or error, so the tool's output
// stays exactly what the commands print.
#ifndef QRV_PLATFORM_OFFLINE_TERMINAL_MESSAGE_BOX_H_
#define QRV_PLATFORM_OFFLINE_TERMINAL_MESSAGE_BOX_H_

#include <cstdint>
#include <string_view>

namespace qrv {

inline constexpr int kIdOk = 1;  // IDOK

// Shows `caption`, `text` (when not empty) and a single OK button on the
// terminal at `terminal_path` (the controlling terminal is "/dev/tty"), then
// waits until the user presses Enter there or the terminal's input ends.
// Input typed before the box appeared does not dismiss it. Returns kIdOk, or
// 0 with a Win32 code in *error when there is no terminal to ask.
int ShowTerminalMessageBox(const char* terminal_path, std::string_view text,
                           std::string_view caption, uint32_t* error);

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_TERMINAL_MESSAGE_BOX_H_
