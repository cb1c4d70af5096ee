// The tool's command rows and the lookup by command word; see
// command_table.h.
#include "app/command_table.h"

#include "app/handlers.h"
#include "platform/text.h"

namespace qrv {

namespace {
constexpr Command kCommands[] = {
    {"GETLIST", RunGetList},
    {"GETLISTCHANNELS", RunGetListChannels},
    {"GETEVENTS", RunGetEvents},
    {"GETEVENTSCHANNEL", RunGetEventsChannel},
    {"GETEVENTSID", RunGetEventsId},
    {"GETEVENTSSEVERITY", RunGetEventsSeverity},
    // The day count is optional for both severity words, so they are one
    // command under two names.
    {"GETEVENTSSEVERITYDAYS", RunGetEventsSeverity},
    {"GETEVENTSQUERY", RunGetEventsQuery},
    {"POLLEVENTSQUERY", RunPollEventsQuery},
};
}  // namespace

std::span<const Command> CommandTable() { return kCommands; }

const Command* FindCommand(std::span<const Command> table,
                           std::string_view word) {
  for (const Command& command : table) {
    if (EqualsNoCase(word, command.word)) return &command;
  }
  return nullptr;
}

}  // namespace qrv
