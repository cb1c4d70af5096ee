// MakeDefaultPlatform off Windows: the POSIX system calls with the offline
// event-log service and registry, writing to standard output.
#include "platform/default_platform.h"

#include <iostream>

#include "platform/offline/empty_event_log.h"
#include "platform/offline/empty_registry.h"
#include "platform/offline/posix_system.h"

namespace qrv {

Platform MakeDefaultPlatform() {
  // Never destroyed: the console control thread may use them while the
  // main thread runs the static destructors of a normal exit.
  static PosixSystem* const system = new PosixSystem();
  static EmptyEventLog* const event_log = new EmptyEventLog(*system);
  static EmptyRegistry* const registry = new EmptyRegistry();
  return Platform{event_log, registry, system, &std::cout};
}

}  // namespace qrv
