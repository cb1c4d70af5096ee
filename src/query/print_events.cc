// One tab-separated line per event record; see print_events.h.
#include "query/print_events.h"

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "query/output_field.h"

namespace qrv {

void PrintEventList(const EventList& events) {
  std::string line;
  for (size_t i = 0; i < events.GetCount(); ++i) {
    const CZK_EL_EVT& e = events[i];
    line.clear();
    AppendNameField(line, e.Channel);
    line += '\t';
    AppendNameField(line, e.Provider);
    line += '\t';
    // The other fields are the tool's own texts; the message is cleaned.
    for (std::string_view field : {e.TimeCreated, e.EventId, e.Severity}) {
      line += field;
      line += '\t';
    }
    line += e.Message;
    WriteLine(line);
  }
}

}  // namespace qrv
