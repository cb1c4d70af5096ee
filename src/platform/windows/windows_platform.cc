// MakeDefaultPlatform on Windows: the real event-log service, the registry,
// the system calls, and standard output (written in UTF-16 to a console).
#include "platform/default_platform.h"
#include "platform/windows/windows_console.h"
#include "platform/windows/windows_event_log.h"
#include "platform/windows/windows_registry.h"
#include "platform/windows/windows_system.h"

namespace qrv {

Platform MakeDefaultPlatform() {
  // Never destroyed: the console control thread calls EndProcess through it
  // and may do so while the main thread runs the static destructors of a
  // normal exit.
  static WindowsSystem* const system = new WindowsSystem();
  // Only the main thread reaches these. The metadata cache in front of the
  // service belongs to each command (ScopedMetadataCache) and is gone before
  // these are destroyed; after EndProcess the system releases the handles.
  static WindowsEventLog service;
  static WindowsRegistry registry;
  return Platform{&service, &registry, system, &StandardOutput()};
}

}  // namespace qrv
