// MakeDefaultPlatform on Windows: the real event-log service behind the
// metadata cache, the registry, the system calls, and standard output.
#include <iostream>

#include "platform/default_platform.h"
#include "platform/metadata_cache.h"
#include "platform/windows/windows_event_log.h"
#include "platform/windows/windows_registry.h"
#include "platform/windows/windows_system.h"

namespace qrv {

Platform MakeDefaultPlatform() {
  // Never destroyed: the console control thread calls EndProcess through it
  // and may do so while the main thread runs the static destructors of a
  // normal exit.
  static WindowsSystem* const system = new WindowsSystem();
  // Only the main thread reaches these. Destroyed at a normal exit, cache
  // first, so every real metadata handle and the render context are closed
  // while wevtapi is still loaded; after EndProcess the system releases them.
  static WindowsEventLog service;
  static MetadataCache event_log(service, *system);
  static WindowsRegistry registry;
  return Platform{&event_log, &registry, system, &std::cout};
}

}  // namespace qrv
