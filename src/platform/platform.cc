// The process-wide installed platform; see platform.h.
#include "platform/platform.h"

#include <cstdio>
#include <iostream>

#if defined(__GLIBC__)
#include <stdio_ext.h>

#include <string>

#include "platform/write_all.h"
#endif

namespace qrv {

namespace {
Platform& Installed() {
  static Platform platform;
  return platform;
}
#if defined(__GLIBC__)
// Writes `line` and a newline to standard output's descriptor in one
// call. False when nothing of it was written, so the caller may hand the
// line to stdio, which records the error.
bool WriteToStdout(std::string_view line) {
  static std::string buffer;  // under the output lock
  buffer.assign(line);
  buffer.push_back('\n');
  return WriteAll(fileno(stdout), buffer) > 0;
}
#endif
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
#if defined(__GLIBC__)
    // Every line leaves stdio empty behind it, so a line that finds
    // nothing pending goes to the descriptor in one call, without stdio's
    // copy and flush (a quarter of a short line's cost).
    if (__fpending(stdout) == 0 && WriteToStdout(line)) return;
#endif
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
