// A pseudo-terminal for tests that need a user at a terminal: the test holds
// the master side (reads what was drawn, types keys), the code under test
// opens the slave by its path or has it as its controlling terminal.
#ifndef QRV_TESTS_SUPPORT_PSEUDO_TERMINAL_H_
#define QRV_TESTS_SUPPORT_PSEUDO_TERMINAL_H_

#include <chrono>
#include <string>
#include <string_view>

namespace qrv::test_support {

class PseudoTerminal {
 public:
  // Opens a new master/slave pair; ok() is false when the system has none.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0; }
  int master_fd() const { return master_; }
  // The slave device's path, e.g. /dev/pts/3.
  const std::string& slave_path() const { return slave_path_; }

  // Reads what was written to the terminal until it holds `needle` or
  // `timeout` passes; true when seen. Everything read is kept in screen().
  bool WaitFor(std::string_view needle, std::chrono::milliseconds timeout);
  // Reads whatever is there within `timeout` (used to see that nothing is).
  void Drain(std::chrono::milliseconds timeout);
  // Types `keys` at the terminal.
  bool Type(std::string_view keys);
  const std::string& screen() const { return screen_; }

 private:
  // One poll-and-read step; false when the terminal cannot be read.
  bool ReadSome(std::chrono::milliseconds timeout);

  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
  std::string screen_;
};

}  // namespace qrv::test_support

#endif  // QRV_TESTS_SUPPORT_PSEUDO_TERMINAL_H_
