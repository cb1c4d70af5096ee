// The platform the program runs on. Each backend library (windows/ on
// Windows, offline/ elsewhere) defines MakeDefaultPlatform once and the build
// links exactly one of them, so the entry point never names a backend.
#ifndef QRV_PLATFORM_DEFAULT_PLATFORM_H_
#define QRV_PLATFORM_DEFAULT_PLATFORM_H_

#include "platform/platform.h"

namespace qrv {

// The backend's services, with standard output as the tool's output. They
// are created on the first call and live until the process ends (the console
// control thread may still use them while the process exits).
Platform MakeDefaultPlatform();

}  // namespace qrv

#endif  // QRV_PLATFORM_DEFAULT_PLATFORM_H_
