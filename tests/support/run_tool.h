// Runs a built program the way end-to-end tests need it: in a session of its
// own with no controlling terminal (or with a pseudo-terminal as that
// terminal), standard input from /dev/null, standard output and standard
// error captured apart, and a deadline after which it is killed.
// Entry points: RunTool for a whole run, ToolProcess to act while it runs
// (wait for a line, send a signal, answer at the terminal).
#ifndef QRV_TESTS_SUPPORT_RUN_TOOL_H_
#define QRV_TESTS_SUPPORT_RUN_TOOL_H_

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/pseudo_terminal.h"

namespace qrv::test_support {

inline constexpr std::chrono::milliseconds kToolDeadline{30'000};

struct ToolResult {
  int exit_status = -1;  // the status it exited with, -1 if it did not exit
  int term_signal = 0;   // the signal that ended it, 0 if none did
  bool timed_out = false;  // killed at the deadline
  std::string out;       // standard output, byte for byte
  std::string err;       // standard error, byte for byte
};

struct ToolOptions {
  // Give the program a pseudo-terminal as its controlling terminal, reached
  // through ToolProcess::terminal(). Its standard streams stay as above.
  bool with_terminal = false;
  // With a terminal: standard error goes to it rather than to a pipe, and
  // is read through terminal() (result().err stays empty).
  bool errors_to_terminal = false;
};

class ToolProcess {
 public:
  // Starts `program` with argument 0 = `program` and then `args`. started()
  // is false (and the reason is in result().err) when it could not start.
  ToolProcess(const std::string& program, const std::vector<std::string>& args,
              ToolOptions options = {});
  // Kills and reaps the program if it still runs.
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Null unless started with_terminal.
  PseudoTerminal* terminal() { return terminal_.get(); }

  // Reads standard output until it holds `needle` or `timeout` passes; true
  // when seen.
  bool WaitForOutput(std::string_view needle,
                     std::chrono::milliseconds timeout);
  // Standard output read so far.
  const std::string& output() const { return result_.out; }
  bool Signal(int signal_number);
  // Reads both streams to their end and reaps the program, killing it if it
  // has not ended by `timeout`.
  const ToolResult& Wait(std::chrono::milliseconds timeout = kToolDeadline);
  const ToolResult& result() const { return result_; }

 private:
  // Polls both pipes once; false when both are closed.
  bool Pump(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  bool reaped_ = false;
  std::unique_ptr<PseudoTerminal> terminal_;
  ToolResult result_;
};

// Runs `program` with `args` to its end (no terminal).
ToolResult RunTool(const std::string& program,
                   const std::vector<std::string>& args);

// What the tool writes on standard error on every run over its built-in
// sample image (QRV_EVENTLOG_ROOT not set).
inline constexpr char kSampleImageNotice[] =
    "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT is not set; answering from the "
    "built-in sample image, whose events are made up\n";

// Splits a program's output at `separator`: lines at '\n', fields at '\t'.
// A trailing separator ends the last part rather than starting an empty one.
std::vector<std::string> SplitOutput(const std::string& text, char separator);

}  // namespace qrv::test_support

#endif  // QRV_TESTS_SUPPORT_RUN_TOOL_H_
