// The process-wide installed platform; see platform.h.
#include "platform/platform.h"

namespace qrv {

namespace {
Platform& Installed() {
  static Platform platform;
  return platform;
}
}  // namespace

Platform& CurrentPlatform() { return Installed(); }
void InstallPlatform(const Platform& platform) { Installed() = platform; }

}  // namespace qrv
