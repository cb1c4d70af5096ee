// The console control watcher thread; see posix_console_control.h.
#include "platform/offline/posix_console_control.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <exception>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/win32_types.h"

namespace qrv {

namespace {

constexpr int kControlSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

sigset_t ControlSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kControlSignals) sigaddset(&set, s);
  return set;
}

struct Watcher {
  std::mutex lock;
  std::vector<ConsoleCtrlHandler> handlers;  // in registration order
  bool started = false;
};

// Never destroyed: the watcher thread reads it until the process ends,
// including while static destructors run at a normal exit.
Watcher& TheWatcher() {
  static Watcher* watcher = new Watcher;
  return *watcher;
}

[[noreturn]] void TakeDefaultAction(int signal_number) {
  // The signal is blocked in every thread; give it back its default action
  // and unblock it here, where raise() delivers it.
  signal(signal_number, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(signal_number);
  // Reached only for a signal whose default action does not end the
  // process, which none of the four is.
  std::terminate();
}

void WatchSignals() {
  const sigset_t set = ControlSignalSet();
  Watcher& watcher = TheWatcher();
  for (;;) {
    int signal_number = 0;
    if (sigwait(&set, &signal_number) != 0) continue;
    std::vector<ConsoleCtrlHandler> handlers;
    {
      std::lock_guard<std::mutex> guard(watcher.lock);
      handlers = watcher.handlers;
    }
    const uint32_t event = CtrlEventForSignal(signal_number);
    const bool taken = std::any_of(
        handlers.rbegin(), handlers.rend(),
        [event](ConsoleCtrlHandler handler) { return handler(event); });
    if (!taken) TakeDefaultAction(signal_number);
  }
}

}  // namespace

uint32_t CtrlEventForSignal(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return kCtrlCEvent;
    case SIGQUIT:
      return kCtrlBreakEvent;
    case SIGHUP:
      return kCtrlCloseEvent;
    default:
      return kCtrlShutdownEvent;
  }
}

uint32_t AddConsoleCtrlHandler(ConsoleCtrlHandler handler) {
  // A null handler asks Windows to ignore Ctrl+C, which the tool never does.
  if (handler == nullptr) return kErrorNotSupported;
  Watcher& watcher = TheWatcher();
  std::lock_guard<std::mutex> guard(watcher.lock);
  if (!watcher.started) {
    const sigset_t set = ControlSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    try {
      std::thread(WatchSignals).detach();
    } catch (const std::system_error&) {
      // No thread to be had: leave the default handling in place.
      pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
      return kErrorNotEnoughMemory;
    }
    watcher.started = true;
  }
  watcher.handlers.push_back(handler);
  return kErrorSuccess;
}

uint32_t RemoveConsoleCtrlHandler(ConsoleCtrlHandler handler) {
  Watcher& watcher = TheWatcher();
  std::lock_guard<std::mutex> guard(watcher.lock);
  auto found = std::find(watcher.handlers.rbegin(), watcher.handlers.rend(),
                         handler);
  if (found == watcher.handlers.rend()) return kErrorInvalidParameter;
  watcher.handlers.erase(std::next(found).base());
  return kErrorSuccess;
}

}  // namespace qrv
