// ToolProcess and RunTool; see run_tool.h.
#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace qrv::test_support {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// In the child, between fork and exec: only async-signal-safe calls.
// An `err_fd` of -1 sends standard error to the terminal.
[[noreturn]] void ExecChild(const char* program, char* const* argv,
                            const char* terminal_path, int out_fd, int err_fd) {
  setsid();
  if (terminal_path != nullptr) {
    // A session leader without a terminal acquires the first one it opens.
    const int tty = open(terminal_path, O_RDWR);
    if (tty >= 0) {
      ioctl(tty, TIOCSCTTY, 0);
      if (err_fd < 0) err_fd = dup(tty);
      close(tty);
    }
  }
  const int null_fd = open("/dev/null", O_RDONLY);
  dup2(null_fd, STDIN_FILENO);
  dup2(out_fd, STDOUT_FILENO);
  dup2(err_fd, STDERR_FILENO);
  // A test runner may have blocked or ignored the console signals; the
  // program starts with their defaults, as from a shell.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE}) signal(s, SIG_DFL);
  execv(program, argv);
  const char message[] = "exec failed\n";
  (void)!write(STDERR_FILENO, message, sizeof message - 1);
  _exit(127);
}

}  // namespace

ToolProcess::ToolProcess(const std::string& program,
                         const std::vector<std::string>& args,
                         ToolOptions options) {
  std::vector<std::string> words;
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  if (options.with_terminal) {
    terminal_ = std::make_unique<PseudoTerminal>();
    if (!terminal_->ok()) {
      result_.err = "no pseudo-terminal";
      return;
    }
  }
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    result_.err = std::strerror(errno);
    return;
  }
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    result_.err = std::strerror(errno);
    close(out_pipe[0]);
    close(out_pipe[1]);
    return;
  }
  const char* terminal_path =
      terminal_ ? terminal_->slave_path().c_str() : nullptr;
  pid_ = fork();
  if (pid_ == 0) {
    ExecChild(program.c_str(), argv.data(), terminal_path, out_pipe[1],
              terminal_path != nullptr && options.errors_to_terminal
                  ? -1
                  : err_pipe[1]);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (terminal_ && options.errors_to_terminal) {
    close(err_pipe[0]);
    err_pipe[0] = -1;
  }
  if (pid_ < 0) {
    result_.err = std::strerror(errno);
    close(out_pipe[0]);
    close(err_pipe[0]);
    return;
  }
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

bool ToolProcess::Pump(std::chrono::milliseconds timeout) {
  pollfd fds[2];
  int* owners[2];
  nfds_t count = 0;
  for (int* fd : {&out_fd_, &err_fd_}) {
    if (*fd < 0) continue;
    fds[count] = pollfd{*fd, POLLIN, 0};
    owners[count] = fd;
    ++count;
  }
  if (count == 0) return false;
  if (poll(fds, count, static_cast<int>(timeout.count())) <= 0) return true;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      std::string& sink = owners[i] == &out_fd_ ? result_.out : result_.err;
      sink.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close(*owners[i]);
      *owners[i] = -1;
    }
  }
  return true;
}

bool ToolProcess::WaitForOutput(std::string_view needle,
                                std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (result_.out.find(needle) == std::string::npos) {
    const auto left = Left(deadline);
    if (left.count() == 0 || !Pump(left)) {
      return result_.out.find(needle) != std::string::npos;
    }
  }
  return true;
}

bool ToolProcess::Signal(int signal_number) {
  return pid_ > 0 && !reaped_ && kill(pid_, signal_number) == 0;
}

const ToolResult& ToolProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0 || reaped_) return result_;
  const auto deadline = Clock::now() + timeout;
  // The pipes close when the program and everything it started have ended.
  while (Left(deadline).count() > 0 && Pump(Left(deadline))) {
  }
  int status = 0;
  // The streams may close a moment before the program can be reaped, or
  // long before it ends if it closes them itself.
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Left(deadline).count() == 0) {
      result_.timed_out = true;
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    usleep(1000);
  }
  reaped_ = true;
  if (WIFEXITED(status)) result_.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.term_signal = WTERMSIG(status);
  return result_;
}

ToolResult RunTool(const std::string& program,
                   const std::vector<std::string>& args) {
  ToolProcess process(program, args);
  return process.Wait();
}

std::vector<std::string> SplitOutput(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace qrv::test_support
