// PseudoTerminal; see pseudo_terminal.h.
#include "tests/support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

namespace qrv::test_support {

PseudoTerminal::PseudoTerminal() {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  const char* name = nullptr;
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || (name = ptsname(fd)) == nullptr) {
    close(fd);
    return;
  }
  // Held open for the terminal's lifetime, so that reading the master side
  // waits for output instead of failing before the program under test has
  // opened the slave side (or after it has closed it).
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    close(fd);
    return;
  }
  master_ = fd;
  slave_ = slave;
  slave_path_ = name;
}

PseudoTerminal::~PseudoTerminal() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

bool PseudoTerminal::ReadSome(std::chrono::milliseconds timeout) {
  pollfd p{master_, POLLIN, 0};
  const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
  if (ready <= 0) return true;
  char buffer[1024];
  const ssize_t n = read(master_, buffer, sizeof buffer);
  if (n > 0) {
    screen_.append(buffer, static_cast<size_t>(n));
    return true;
  }
  return n < 0 && errno == EINTR;
}

bool PseudoTerminal::WaitFor(std::string_view needle,
                             std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (screen_.find(needle) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (!ReadSome(left)) return screen_.find(needle) != std::string::npos;
  }
  return true;
}

void PseudoTerminal::Drain(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadSome(left)) return;
  }
}

bool PseudoTerminal::Type(std::string_view keys) {
  while (!keys.empty()) {
    const ssize_t n = write(master_, keys.data(), keys.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    keys.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace qrv::test_support
