// Placeholder until the handler lands; removed at merge. Every handler
// declared in handlers.h reports insufficient arguments, so the program links
// and prints its usage text for every command.
#include "app/handlers.h"

namespace qrv {

bool RunGetList(const ArgumentList&) { return false; }
bool RunGetListChannels(const ArgumentList&) { return false; }
bool RunGetEvents(const ArgumentList&) { return false; }
bool RunGetEventsChannel(const ArgumentList&) { return false; }
bool RunGetEventsId(const ArgumentList&) { return false; }
bool RunGetEventsSeverity(const ArgumentList&) { return false; }
bool RunGetEventsQuery(const ArgumentList&) { return false; }
bool RunPollEventsQuery(const ArgumentList&) { return false; }
bool OnConsoleControl(uint32_t) { return false; }

}  // namespace qrv
