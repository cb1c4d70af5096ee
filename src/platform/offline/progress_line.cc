// The progress line on a terminal; see progress_line.h.
#include "platform/offline/progress_line.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <iostream>
#include <streambuf>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/write_all.h"

namespace qrv {

namespace {

constexpr char kProgramName[] = "QRV_EventLog_Tools";
// Back to the start of the line, then clear to its end.
constexpr char kReturn[] = "\r";
constexpr char kClearToEnd[] = "\x1b[K";
constexpr std::string_view kErase = "\r\x1b[K";
constexpr size_t kDefaultColumns = 80;
constexpr uint64_t kChunkBytes = 64 * 1024;

size_t Columns(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
    return kDefaultColumns;
  return size.ws_col;
}

std::string Mebibytes(uint64_t chunks) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f",
                static_cast<double>(chunks * kChunkBytes) / (1024.0 * 1024.0));
  return text;
}

// The first `cells` characters of UTF-8 `text` (one cell each: names on a
// Windows image are rarely wide).
std::string FirstCharacters(const std::string& text, size_t cells) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts_character =
        (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && count++ == cells) return text.substr(0, i);
  }
  return text;
}

}  // namespace

std::string FormatProgressLine(const offline::ReadSnapshot& snapshot,
                               size_t columns) {
  // A legacy log's total is an estimate, which its reading may pass.
  const uint64_t done = std::min(snapshot.chunks_done, snapshot.chunks_total);
  std::string line = std::string(kProgramName) + ": reading " + snapshot.what +
                     ": " + Mebibytes(done) + " of " +
                     Mebibytes(snapshot.chunks_total) + " MiB";
  if (snapshot.chunks_total != 0) {
    line += " (" + std::to_string(done * 100 / snapshot.chunks_total) + "%)";
  }
  line += ", " + std::to_string(snapshot.events) +
          (snapshot.events == 1 ? " event" : " events");
  return FirstCharacters(line, columns > 0 ? columns - 1 : 0);
}

ProgressLine::ProgressLine(int fd, const offline::ReadProgress& progress,
                           std::chrono::milliseconds delay,
                           std::chrono::milliseconds period)
    : fd_(fd),
      progress_(progress),
      delay_(delay),
      period_(period),
      start_(Clock::now()),
      thread_([this] { Run(); }) {}

ProgressLine::~ProgressLine() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

void ProgressLine::EraseLocked() {
  if (!shown_.load(std::memory_order_relaxed)) return;
  WriteAll(fd_, kErase);  // a terminal that is gone: nothing to tidy
  shown_.store(false, std::memory_order_relaxed);
  drawn_.clear();
}

void ProgressLine::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  stopped_.store(true, std::memory_order_relaxed);
  EraseLocked();
}

void ProgressLine::StopFromSignal() {
  stopped_.store(true);
  // A draw under way finishes first, so the erase comes after it; one that
  // has not begun sees stopped_ and never starts (see Run).
  while (drawing_.load()) {
  }
  if (shown_.exchange(false)) {
    // write() alone: nothing else here may run in a signal handler.
    (void)!write(fd_, kErase.data(), kErase.size());
  }
}

void ProgressLine::Pause() {
  std::lock_guard<std::mutex> hold(lock_);
  ++pauses_;
  EraseLocked();
}

void ProgressLine::Resume() {
  std::lock_guard<std::mutex> hold(lock_);
  if (pauses_ > 0) --pauses_;
  start_ = Clock::now();
}

void ProgressLine::MakeWayForMessage() {
  std::lock_guard<std::mutex> hold(lock_);
  EraseLocked();
  quiet_until_ = Clock::now() + 2 * period_;
}

void ProgressLine::Run() {
  // Sleeps rather than waits on a condition: Stop never waits for the
  // thread (it may be called at the very end of the process), and a run
  // under libfaketime scales sleeps as it scales the clock.
  for (;;) {
    std::this_thread::sleep_for(period_);
    std::lock_guard<std::mutex> hold(lock_);
    if (stopped_.load(std::memory_order_relaxed)) return;
    const Clock::time_point now = Clock::now();
    if (pauses_ > 0 || now - start_ < delay_ || now < quiet_until_) continue;
    const offline::ReadSnapshot snapshot = progress_.Snapshot();
    if (!snapshot.reading) {
      EraseLocked();
      continue;
    }
    std::string text = FormatProgressLine(snapshot, Columns(fd_));
    if (text == drawn_) continue;
    // The signal handler takes no lock: it waits while drawing_ is set and
    // then erases, so the stop is looked at again once drawing_ is.
    drawing_.store(true);
    if (stopped_.load()) {
      drawing_.store(false);
      return;
    }
    WriteAll(fd_, kReturn + text + kClearToEnd);
    drawn_ = std::move(text);
    shown_.store(true);
    drawing_.store(false);
  }
}

namespace {

// The program's line; never destroyed, so the atexit handler and signal
// handlers can reach it until the process ends.
std::atomic<ProgressLine*> program_line{nullptr};

// SA_RESETHAND has given the signal back its default action; raised again
// while it is blocked in this handler, it ends the process on return.
void EraseOnEndingSignal(int signal_number) {
  if (ProgressLine* line = program_line.load()) line->StopFromSignal();
  raise(signal_number);
}

void EraseAtSignals() {
  for (int signal_number : {SIGINT, SIGQUIT, SIGTERM}) {
    struct sigaction current {};
    // An ignored signal stays ignored, a caught one stays with its handler.
    if (sigaction(signal_number, nullptr, &current) != 0 ||
        (current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL)
      continue;
    struct sigaction erase {};
    erase.sa_handler = EraseOnEndingSignal;
    sigemptyset(&erase.sa_mask);
    erase.sa_flags = SA_RESETHAND;
    sigaction(signal_number, &erase, nullptr);
  }
}

// A stream buffer that writes to `target`, calling `before` ahead of each
// write. Without a buffer of its own, so nothing waits in it.
class CallBeforeWrites : public std::streambuf {
 public:
  CallBeforeWrites(std::streambuf* target, std::function<void()> before)
      : target_(target), before_(std::move(before)) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    before_();
    return target_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    before_();
    return target_->sputn(s, n);
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  std::function<void()> before_;
};

}  // namespace

bool StartProgressLine(int fd, const offline::ReadProgress& progress) {
  if (isatty(fd) != 1 || program_line.load() != nullptr) return false;
  // The timer thread inherits a mask with every signal blocked: Ctrl+C goes
  // to the threads that expect it, never to this one.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  ProgressLine* line = nullptr;
  try {
    line = new ProgressLine(fd, progress);
  } catch (const std::system_error&) {
    // No thread to be had: no line.
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (line == nullptr) return false;
  line->Detach();
  program_line.store(line);
  // Every message on standard error (std::cerr is unbuffered, so each
  // piece comes through) makes way first.
  if (fd == STDERR_FILENO) {
    std::cerr.rdbuf(new CallBeforeWrites(
        std::cerr.rdbuf(), [line] { line->MakeWayForMessage(); }));
  }
  std::atexit(StopProgressLine);
  EraseAtSignals();
  return true;
}

void StopProgressLine() {
  if (ProgressLine* line = program_line.load()) line->Stop();
}

ProgressLinePause::ProgressLinePause() {
  if (ProgressLine* line = program_line.load()) line->Pause();
}

ProgressLinePause::~ProgressLinePause() {
  if (ProgressLine* line = program_line.load()) line->Resume();
}

std::ostream* StopProgressLineOnOutput(std::ostream& out) {
  // Atomic: the console watcher may write the last line while the main
  // thread writes; either one stops the line, once.
  auto stopped = std::make_shared<std::atomic<bool>>(false);
  return new std::ostream(new CallBeforeWrites(out.rdbuf(), [stopped] {
    if (!stopped->load(std::memory_order_relaxed) &&
        !stopped->exchange(true, std::memory_order_relaxed))
      StopProgressLine();
  }));
}

}  // namespace qrv
