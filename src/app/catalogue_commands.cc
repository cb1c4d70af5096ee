// The catalogue commands GETLIST, GETLISTCHANNELS and GETEVENTS: each fills
// one list, prints it, or prints a fixed failure block. Entry points:
// RunGetList, RunGetListChannels, RunGetEvents.
#include "app/handlers.h"
#include "catalogue/all_events.h"
#include "catalogue/channel_list.h"
#include "catalogue/publisher_list.h"
#include "platform/metadata_cache.h"
#include "platform/platform.h"
#include "query/print_events.h"
#include "query/record_list.h"

namespace qrv {

namespace {

// An empty line, then the fixed failure line; no cause is given.
void WriteFailure(const char* line) {
  WriteLine("");
  WriteLine(line);
}

}  // namespace

// No argument word is read by these three: words after the command are
// ignored, and they always count as run.

bool RunGetList(const ArgumentList& /*args*/) {
  const ScopedMetadataCache metadata_cache;
  const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
  if (GetPublisherList(*list)) {
    PrintPublisherList(*list);
  } else {
    WriteFailure("Failed to Get List.");
  }
  return true;
}

bool RunGetListChannels(const ArgumentList& /*args*/) {
  const ScopedMetadataCache metadata_cache;
  ChannelList channels;
  if (GetChannelList(channels)) {
    PrintChannelList(channels);
  } else {
    WriteFailure("Failed to Get List.");
  }
  return true;
}

bool RunGetEvents(const ArgumentList& /*args*/) {
  const ScopedMetadataCache metadata_cache;
  const RecordListPtr<EventList> events = NewRecordList<EventList>();
  if (GetAllEvents(*events)) {
    // The sweep is uncapped: every event is held before the first line.
    PrintEventList(*events);
  } else {
    // Events gathered before the failing query are not shown.
    WriteFailure("Failed to Get Events");
  }
  return true;
}

}  // namespace qrv
