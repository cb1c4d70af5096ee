// ShowTerminalMessageBox; see terminal_message_box.h.
#include "platform/offline/terminal_message_box.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/offline/system_error_texts.h"
#include "platform/write_all.h"

namespace qrv {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads until a line ends or the input does; false on a read error.
bool WaitForEnter(int fd) {
  char c = 0;
  for (;;) {
    const ssize_t n = read(fd, &c, 1);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (c == '\n' || c == '\r') return true;
  }
}

std::string Draw(std::string_view text, std::string_view caption) {
  std::string box = "\r\n";
  box += caption;
  box += "\r\n";
  box.append(caption.size(), '=');
  box += "\r\n";
  if (!text.empty()) {
    box += text;
    box += "\r\n";
  }
  box += "\r\n[ OK ]  (press Enter)\r\n";
  return box;
}

}  // namespace

int ShowTerminalMessageBox(const char* terminal_path, std::string_view text,
                           std::string_view caption, uint32_t* error) {
  const FileDescriptor terminal(
      open(terminal_path, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (terminal.get() < 0) {
    *error = kErrorRequiresInteractiveWindowStation;
    return 0;
  }
  // Keys pressed before the box appeared are not an answer to it. A device
  // that is not a terminal has nothing to discard; the call then fails
  // harmlessly.
  tcflush(terminal.get(), TCIFLUSH);
  const std::string box = Draw(text, caption);
  if (WriteAll(terminal.get(), box) != box.size() ||
      !WaitForEnter(terminal.get())) {
    *error = kErrorRequiresInteractiveWindowStation;
    return 0;
  }
  return kIdOk;
}

}  // namespace qrv
