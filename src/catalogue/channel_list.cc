// Gathering and printing the channel list; see channel_list.h.
#include "catalogue/channel_list.h"

#include "catalogue/channel_sources.h"
#include "platform/platform.h"
#include "query/output_field.h"

namespace qrv {

namespace {

// Appends `names`; true when there was at least one.
bool AppendAll(std::vector<std::string> names, ChannelList& channels) {
  for (std::string& name : names) channels.push_back(std::move(name));
  return !names.empty();
}

bool AddEventLogNames(ChannelList& channels) {
  return AppendAll(ServiceLogNames(), channels);
}

bool AddChannelNames(ChannelList& channels) {
  return AppendAll(RegisteredChannelNames(), channels);
}

}  // namespace

bool GetChannelList(ChannelList& channels) {
  if (!AddEventLogNames(channels)) return false;
  if (HasNoChannelRegistry()) return true;
  return AddChannelNames(channels);
}

void PrintChannelList(const ChannelList& channels) {
  std::string line;
  for (const std::string& name : channels) {
    line.clear();
    AppendNameField(line, name);
    WriteLine(line);
  }
}

}  // namespace qrv
