// The entry point's work, apart from choosing the platform: capture the
// arguments (and show the notice), look the command word up in a command
// table, run its handler, and turn the outcome into the exit status.
#ifndef QRV_APP_ENTRY_H_
#define QRV_APP_ENTRY_H_

#include <span>

#include "app/command_table.h"

namespace qrv {

inline constexpr int kExitCommandRan = 0;
inline constexpr int kExitUsage = 1;

// kExitCommandRan when a handler ran and returned true; otherwise the usage
// text has been printed (no command word, an unknown one, or the handler's
// false) and the result is kExitUsage.
int RunEntry(int argc, const char* const* argv,
             std::span<const Command> table = CommandTable());

}  // namespace qrv

#endif  // QRV_APP_ENTRY_H_
