// The usage text: 36 fixed lines, printed when no command word was given, the
// word is not a command, or a command's arguments were insufficient.
#ifndef QRV_APP_USAGE_H_
#define QRV_APP_USAGE_H_

namespace qrv {

// The name the usage text shows for the program, whatever argument 0 says.
inline constexpr char kProgramName[] = "QRV_EventLog_Tools";

// Writes the usage text through WriteLine, one flush per line.
void PrintUsage();

}  // namespace qrv

#endif  // QRV_APP_USAGE_H_
