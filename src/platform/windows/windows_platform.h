// The Windows platform: the real event-log service behind the metadata cache,
// the registry, the system calls, and standard output for the tool's lines.
// Entry point: MakeDefaultPlatform(), which the program installs at start.
#ifndef QRV_PLATFORM_WINDOWS_WINDOWS_PLATFORM_H_
#define QRV_PLATFORM_WINDOWS_WINDOWS_PLATFORM_H_

#include "platform/platform.h"

namespace qrv {

// The same backends on every call; they live until the process ends.
Platform MakeDefaultPlatform();

}  // namespace qrv

#endif  // QRV_PLATFORM_WINDOWS_WINDOWS_PLATFORM_H_
