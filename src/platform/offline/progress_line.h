// The progress line off Windows. A run over a large image or log can take
// minutes; once a command has run for two seconds while the event-log
// service reads, one line on standard error says what is read, how far, and
// how many events were selected so far, redrawn in place four times a second:
//   QRV_EventLog_Tools: reading Security: 312.0 of 1024.0 MiB (30%), 45210 events
// It is erased when the reading ends, before the command's output starts on
// a terminal, before another message on standard error, while the
// Acceptance notice waits for the user, and before the
// process ends: at exit, in EndProcess, and on a Ctrl+C or termination
// signal left to its default action. It is drawn only when standard error is
// a terminal; otherwise nothing is started and the service counts for no
// one. A timer thread of its own draws, with every signal blocked, so the
// console watcher still receives Ctrl+C; the service reports once per chunk
// (read_progress.h), never per event.
// Entry points: StartProgressLine, StopProgressLine, ProgressLinePause,
// StopProgressLineOnOutput; ProgressLine and FormatProgressLine beneath.
#ifndef QRV_PLATFORM_OFFLINE_PROGRESS_LINE_H_
#define QRV_PLATFORM_OFFLINE_PROGRESS_LINE_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "platform/offline/service/read_progress.h"

namespace qrv {

inline constexpr std::chrono::milliseconds kProgressDelay{2000};
inline constexpr std::chrono::milliseconds kProgressPeriod{250};

// The line for `snapshot`, cut to fit in `columns` character cells less one
// (a line that filled the last cell would wrap, and \r would then redraw
// only its second part).
std::string FormatProgressLine(const offline::ReadSnapshot& snapshot,
                               size_t columns);

// One progress line drawn on the terminal `fd` from `progress`, by a thread
// that wakes every `period` once `delay` has passed. Thread-safe.
class ProgressLine {
 public:
  ProgressLine(int fd, const offline::ReadProgress& progress,
               std::chrono::milliseconds delay = kProgressDelay,
               std::chrono::milliseconds period = kProgressPeriod);
  // Stops (erasing the line) and waits for the thread.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Erases the line if shown; nothing is drawn afterwards.
  void Stop();
  // Erases the line and draws nothing until Resume, which starts `delay`
  // again. Pauses nest.
  void Pause();
  void Resume();
  // Erases the line for a message about to be written to the same
  // terminal, and draws nothing for two periods, so that the message is
  // written whole on a line of its own.
  void MakeWayForMessage();
  // Stop for a signal handler: no lock, async-signal-safe.
  void StopFromSignal();
  // Lets the timer thread go on alone when the line lives until the
  // process ends.
  void Detach() { thread_.detach(); }

 private:
  using Clock = std::chrono::steady_clock;
  void Run();
  // Under lock_.
  void EraseLocked();

  const int fd_;
  const offline::ReadProgress& progress_;
  const std::chrono::milliseconds delay_;
  const std::chrono::milliseconds period_;
  std::mutex lock_;  // guards the members below and every write to fd_
  Clock::time_point start_;
  int pauses_ = 0;
  Clock::time_point quiet_until_;  // drawn again from then on
  std::string drawn_;  // the text on screen, empty when none
  // Atomic for the signal handler, which takes no lock.
  std::atomic<bool> stopped_{false};
  std::atomic<bool> shown_{false};
  std::atomic<bool> drawing_{false};  // set by Run around each draw
  std::thread thread_;  // last: started once the rest exists
};

// Starts the program's line on `fd` for `progress` when `fd` is a terminal
// and none is started yet; false otherwise. Both live until the process
// ends. Erases the line at exit, and on SIGINT, SIGQUIT and SIGTERM while
// they keep their default action. On standard error, what the program
// writes to std::cerr makes way for (MakeWayForMessage).
bool StartProgressLine(int fd, const offline::ReadProgress& progress);
// Erases the program's line for good, if one was started. Any thread.
void StopProgressLine();

// Pauses the program's line, if started, while it lives.
class ProgressLinePause {
 public:
  ProgressLinePause();
  ~ProgressLinePause();
  ProgressLinePause(const ProgressLinePause&) = delete;
  ProgressLinePause& operator=(const ProgressLinePause&) = delete;
};

// A stream that writes to `out` and stops the program's line before its
// first byte: the output of a command that goes to the terminal the line is
// drawn on. Lives until the process ends.
std::ostream* StopProgressLineOnOutput(std::ostream& out);

}  // namespace qrv

#endif  // QRV_PLATFORM_OFFLINE_PROGRESS_LINE_H_
