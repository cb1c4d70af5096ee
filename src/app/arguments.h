// The argument list: the process's command-line words in order, every word
// equal to NOWARN (any letter case) removed. Index 0 is the program path,
// index 1 the command word, index 2 onwards the command's arguments.
// CaptureArguments builds it once at start and shows the Acceptance of Use
// notice unless a NOWARN word was given.
#ifndef QRV_APP_ARGUMENTS_H_
#define QRV_APP_ARGUMENTS_H_

#include <string>
#include <vector>

namespace qrv {

using ArgumentList = std::vector<std::string>;

// Caption of the Acceptance of Use notice. Its text is empty.
inline constexpr char kNoticeCaption[] = "Acceptance of Use";

// Copies argv[0..argc) without the NOWARN words, then, when none was met,
// shows the notice (MessageBoxA, no owner, MB_OK) and waits for it to be
// dismissed; a notice that cannot be shown is passed over. A count of 0 or
// less gives the empty list.
ArgumentList CaptureArguments(int argc, const char* const* argv);

}  // namespace qrv

#endif  // QRV_APP_ARGUMENTS_H_
