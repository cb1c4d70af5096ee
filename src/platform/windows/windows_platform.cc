// The Windows platform's backends; see windows_platform.h.
#include "platform/windows/windows_platform.h"

#include <iostream>

#include "platform/metadata_cache.h"
#include "platform/windows/windows_event_log.h"
#include "platform/windows/windows_registry.h"
#include "platform/windows/windows_system.h"

namespace qrv {

Platform MakeDefaultPlatform() {
  // Destroyed in reverse order at a normal exit: the cache closes its real
  // handles while the service wrapper (and wevtapi) are still there. The
  // console control path ends the process without destroying them; the
  // system releases the handles then.
  static WindowsSystem system;
  static WindowsEventLog service;
  static MetadataCache event_log(service, system);
  static WindowsRegistry registry;
  return Platform{&event_log, &registry, &system, &std::cout};
}

}  // namespace qrv
