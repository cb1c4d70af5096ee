// The command table: the command words in their fixed lookup order, each with
// the handler it runs (two words share the severity handler). Dispatch reads
// these rows; tests may pass a table of their own to RunEntry.
#ifndef QRV_APP_COMMAND_TABLE_H_
#define QRV_APP_COMMAND_TABLE_H_

#include <span>
#include <string_view>

#include "app/arguments.h"

namespace qrv {

// True when the command ran (whatever its outcome), false when its arguments
// were insufficient and it printed nothing; see handlers.h.
using CommandHandler = bool (*)(const ArgumentList& args);

struct Command {
  std::string_view word;
  CommandHandler handler;
};

// The tool's nine rows.
std::span<const Command> CommandTable();

// The first row whose word equals `word`, ASCII letters compared without
// regard to case and nothing trimmed; null when none does.
const Command* FindCommand(std::span<const Command> table,
                           std::string_view word);

}  // namespace qrv

#endif  // QRV_APP_COMMAND_TABLE_H_
