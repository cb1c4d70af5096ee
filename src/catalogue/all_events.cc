// The all-channel sweep; see all_events.h.
#include "catalogue/all_events.h"

#include <vector>

#include "catalogue/channel_sources.h"
#include "platform/win32_types.h"
#include "query/query_events.h"

namespace qrv {

namespace {

// Queries each channel whole. False at the first query that fails; its
// error code goes no further, the caller only reports that the sweep failed.
// The service refuses to query an enabled Analytic or Debug channel at all
// (15022); such a channel holds nothing the sweep could read, so it is passed
// over like an empty one.
bool SweepChannels(const std::vector<std::string>& channels,
                   EventList& events) {
  for (const std::string& channel : channels) {
    uint32_t error_code = 0;
    if (!QueryWholeChannel(channel, events, error_code, /*capped=*/false) &&
        error_code != kErrorEvtEnabledDirectChannel) {
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

// Appends `text` as the value of a single-quoted XML attribute. Channel
// names come from the registry, offline from another machine's files: a
// quote, '<' or '&' in one would end the attribute or break the query (or
// smuggle in a query of its own), and a tab, CR or LF would be read back as
// a space. Real channel names hold none of them and are appended unchanged.
void AppendAttributeText(std::string& out, const std::string& text) {
  for (const char c : text) {
    switch (c) {
      case '\'': out += "&apos;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

}  // namespace

bool QueryWholeChannel(const std::string& channel, EventList& events,
                       uint32_t& error_code, bool capped) {
  std::string query = "<QueryList><Query Path='";
  AppendAttributeText(query, channel);
  query += "'><Select>*</Select></Query></QueryList>";
  return QueryEvents(events, query, error_code, capped);
}

bool GetAllEvents(EventList& events) {
  if (!SweepServiceLogs(events)) return false;
  if (!SweepRegisteredChannels(events)) return false;
  // Every query ran; a sweep that found nothing anywhere still fails.
  return !events.IsEmpty();
}

}  // namespace qrv
