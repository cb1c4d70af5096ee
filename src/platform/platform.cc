// The process-wide installed platform; see platform.h.
#include "platform/platform.h"

#include <cstdio>
#include <iostream>

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
  if (&out == &std::cout) {
    // The standard stream is synchronised with stdio: it hands each byte
    // to stdout as it comes, so the line goes there directly, without the
    // stream's layers (half the time of a line, the write itself aside).
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return;
  }
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
  out.flush();
}

}  // namespace qrv
