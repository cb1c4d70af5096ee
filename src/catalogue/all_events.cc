// The all-channel sweep; see all_events.h.
#include "catalogue/all_events.h"

#include <vector>

#include "catalogue/channel_sources.h"
#include "query/query_events.h"

namespace qrv {

namespace {

// Queries each channel whole. False at the first query that fails; its
// error code goes no further, the caller only reports that the sweep failed.
bool SweepChannels(const std::vector<std::string>& channels,
                   EventList& events) {
  for (const std::string& channel : channels) {
    uint32_t error_code = 0;
    if (!QueryWholeChannel(channel, events, error_code, /*capped=*/false)) {
      return false;
    }
  }
  return true;
}

// Success does not depend on the service logs holding events: after the
// classic logs are cleared, the registered channels may hold all there is.
bool SweepServiceLogs(EventList& events) {
  return SweepChannels(ServiceLogNames(), events);
}

bool SweepRegisteredChannels(EventList& events) {
  return SweepChannels(RegisteredChannelNames(), events);
}

}  // namespace

bool QueryWholeChannel(const std::string& channel, EventList& events,
                       uint32_t& error_code, bool capped) {
  const std::string query = "<QueryList><Query Path='" + channel +
                            "'><Select>*</Select></Query></QueryList>";
  return QueryEvents(events, query, error_code, capped);
}

bool GetAllEvents(EventList& events) {
  if (!SweepServiceLogs(events)) return false;
  if (!SweepRegisteredChannels(events)) return false;
  // Every query ran; a sweep that found nothing anywhere still fails.
  return !events.IsEmpty();
}

}  // namespace qrv
