// Console control events off Windows. The signals that stand for them reach
// the registered handlers on a watcher thread of their own, never inside an
// asynchronous signal handler: SIGINT is Ctrl+C, SIGQUIT Ctrl+Break, SIGHUP
// the closing of the terminal, SIGTERM log-off or shut-down.
// Entry points: AddConsoleCtrlHandler, RemoveConsoleCtrlHandler.
#ifndef QRV_PLATFORM_OFFLINE_POSIX_CONSOLE_CONTROL_H_
#define QRV_PLATFORM_OFFLINE_POSIX_CONSOLE_CONTROL_H_

#include <cstdint>

#include "platform/system_api.h"

namespace qrv {

// The console control event a signal stands for.
uint32_t CtrlEventForSignal(int signal_number);

// Registers `handler`; returns a Win32 code (kErrorSuccess on success).
// Until the first registration nothing changes: the four signals keep their
// default handling. The first one blocks them in the calling thread, which
// must be the process's only thread so far (the tool's main thread), so that
// every later thread inherits the mask, and starts the watcher. The watcher
// calls the handlers, the last registered first, until one returns true; when
// none does, the signal's own default action ends the process, as Windows
// ends the process when no handler takes the event. Unlike Windows, a close
// or shut-down event taken by a handler does not end the process afterwards
// (the tool's handler ends it itself).
uint32_t AddConsoleCtrlHandler(ConsoleCtrlHandler handler);
// kErrorInvalidParameter when `handler` is not registered. The signals stay
// with the watcher even after the last handler is removed.
uint32_t RemoveConsoleCtrlHandler(ConsoleCtrlHandler handler);

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_POSIX_CONSOLE_CONTROL_H_
