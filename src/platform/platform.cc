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

std::mutex& OutputLock() {
  static std::mutex lock;
  return lock;
}

void WriteLine(std::string_view line) {
  std::lock_guard<std::mutex> guard(OutputLock());
  std::ostream& out = *CurrentPlatform().out;
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
  out.flush();
}

}  // namespace qrv
