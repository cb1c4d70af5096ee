// GETEVENTSQUERY and POLLEVENTSQUERY: run a user's QueryList document once
// (RunGetEventsQuery) or every five seconds until a console control event
// ends the process (RunPollEventsQuery, OnConsoleControl).
#include <cstdint>
#include <ostream>
#include <string>

#include "app/handlers.h"
#include "platform/metadata_cache.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "query/event_text.h"
#include "query/print_events.h"
#include "query/query_events.h"
#include "query/record_list.h"

namespace qrv {

namespace {

constexpr char kQueryFailure[] = "Failed to Get Events by Query:\t";
constexpr char kTerminating[] = "Application terminating";

// Between two poll cycles: five one-second waits rather than one of five
// seconds.
constexpr int kPollWaits = 5;
constexpr uint32_t kPollWaitMs = 1000;

}  // namespace

bool RunGetEventsQuery(const ArgumentList& args) {
  const ScopedMetadataCache metadata_cache;
  if (args.size() < 3) return false;
  const std::string query = Trim(args[2]);
  if (query.empty()) return false;

  RecordListPtr<EventList> events = NewRecordList<EventList>();
  uint32_t error_code = 0;
  // No cap: every matching event is printed.
  if (QueryEvents(*events, query, error_code, false)) {
    PrintEventList(*events);
  } else {
    // Records appended before the failure are dropped unprinted. The system
    // text ends in CR LF of its own, written as it comes.
    WriteLine("");
    WriteLine(kQueryFailure + GetErrorText(error_code));
  }
  return true;
}

bool RunPollEventsQuery(const ArgumentList& args) {
  if (args.size() < 3 || Trim(args[2]).empty()) return false;
  // A tool started in a new process group inherits "ignore Ctrl+C", and the
  // handler would never be called; clear it first.
  SetConsoleCtrlHandler(nullptr, false);
  SetConsoleCtrlHandler(OnConsoleControl, true);
  for (;;) {
    // Each cycle starts from the argument list again, with a fresh list; a
    // failed query prints its block and the polling goes on.
    if (!RunGetEventsQuery(args)) return true;
    WriteLine("");
    WriteLine("");
    for (int i = 0; i < kPollWaits; ++i) Sleep(kPollWaitMs);
  }
}

bool OnConsoleControl(uint32_t /*ctrl_type*/) {
  // Runs on a thread of the system's while the main thread may be halfway
  // through a line: taking the output lock lets that line finish first, and
  // keeping it means nothing more is written before the process ends. The
  // line is written here rather than through WriteLine, which would wait for
  // the lock held here.
  OutputLock().lock();
  std::ostream& out = *CurrentPlatform().out;
  out << kTerminating << '\n';
  out.flush();
  EndProcess(0);
  return true;  // not reached: EndProcess does not return
}

}  // namespace qrv
