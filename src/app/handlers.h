// The command handlers. Each reads only the argument list and returns true
// when the command ran (whatever its outcome: an empty result or a printed
// failure block still count), false when the arguments were insufficient (then
// it has printed nothing and the usage text follows). Each holds a
// ScopedMetadataCache for its run; POLLEVENTSQUERY gets one per cycle, through
// RunGetEventsQuery.
#ifndef QRV_APP_HANDLERS_H_
#define QRV_APP_HANDLERS_H_

#include <cstdint>

#include "app/arguments.h"

namespace qrv {

// Catalogue commands.
bool RunGetList(const ArgumentList& args);
bool RunGetListChannels(const ArgumentList& args);
bool RunGetEvents(const ArgumentList& args);
// Windowed event commands.
bool RunGetEventsChannel(const ArgumentList& args);
bool RunGetEventsId(const ArgumentList& args);
bool RunGetEventsSeverity(const ArgumentList& args);
// Query and poll commands.
bool RunGetEventsQuery(const ArgumentList& args);
bool RunPollEventsQuery(const ArgumentList& args);

// Console control handler of the poll command: writes "Application
// terminating" and ends the process with status 0. Never returns.
bool OnConsoleControl(uint32_t ctrl_type);

}  // namespace qrv

#endif  // QRV_APP_HANDLERS_H_
