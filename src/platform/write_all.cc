// Writing a whole byte string to a POSIX descriptor; see write_all.h.
#include "platform/write_all.h"

#include <errno.h>
#include <unistd.h>

namespace qrv {

size_t WriteAll(int fd, std::string_view bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  return written;
}

}  // namespace qrv
