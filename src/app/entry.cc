// RunEntry: argument capture, dispatch and exit status; see entry.h.
#include "app/entry.h"

#include "app/arguments.h"
#include "app/usage.h"

namespace qrv {

int RunEntry(int argc, const char* const* argv,
             std::span<const Command> table) {
  const ArgumentList args = CaptureArguments(argc, argv);
  if (args.size() < 2) {
    PrintUsage();
    return kExitUsage;
  }
  const Command* command = FindCommand(table, args[1]);
  if (command == nullptr || !command->handler(args)) {
    PrintUsage();
    return kExitUsage;
  }
  return kExitCommandRan;
}

}  // namespace qrv
