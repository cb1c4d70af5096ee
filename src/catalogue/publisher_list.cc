// Building and printing the publisher catalogue from the registry; see
// publisher_list.h. The per-publisher walk is in publisher_events.cc.
#include "catalogue/publisher_list.h"

#include <string>
#include <vector>

#include "catalogue/channel_sources.h"
#include "catalogue/publisher_events.h"
#include "catalogue/registry_reader.h"
#include "platform/platform.h"
#include "query/output_field.h"
#include "platform/text.h"

namespace qrv {

namespace {

// Every event source registered under a service log (the subkeys of the
// log's key). Each log counts, whether or not a record came of it.
bool AddEventLogPublishers(PublisherList& list) {
  int logs = 0;
  for (const std::string& log : ServiceLogNames()) {
    // A log key that cannot be read has no sources.
    std::vector<std::string> sources;
    GetRegistrySubkeys(JoinRegistryPath(kServiceLogKey, log), sources);
    for (const std::string& source : sources) {
      AddPublisherEvents(list, log, source);
    }
    ++logs;
  }
  return logs > 0;
}

// The publisher name behind a registered channel: its OwningPublisher value
// names a key under the publishers key, whose default value is the name the
// event-log service knows. Empty when any link of that chain is missing or
// blank.
std::string OwningPublisherName(const std::string& channel) {
  std::string owner;
  GetRegistryValue(JoinRegistryPath(kRegisteredChannelKey, channel),
                   kOwningPublisherValue, owner);
  owner = Trim(owner);
  if (owner.empty()) return owner;
  const std::string publisher_key = JoinRegistryPath(kPublisherKey, owner);
  if (!RegistryKeyExists(publisher_key)) return std::string();
  std::string name;
  GetRegistryDefaultValue(publisher_key, name);
  return Trim(name);
}

// The owning publisher of every registered channel; channels whose publisher
// cannot be resolved are passed over and do not count.
bool AddChannelPublishers(PublisherList& list) {
  int channels = 0;
  for (const std::string& channel : RegisteredChannelNames()) {
    const std::string publisher = OwningPublisherName(channel);
    if (publisher.empty()) continue;
    AddPublisherEvents(list, channel, publisher);
    ++channels;
  }
  return channels > 0;
}

}  // namespace

bool GetPublisherList(PublisherList& list) {
  if (!AddEventLogPublishers(list)) return false;
  if (HasNoChannelRegistry()) return true;
  return AddChannelPublishers(list);
}

void PrintPublisherList(const PublisherList& list) {
  for (size_t i = 0; i < list.GetCount(); ++i) {
    const CZK_EL_PUB& record = list[i];
    std::string line;
    line.reserve(record.Channel.size() + record.Publisher.size() +
                 record.EventId.size() + record.Message.size() + 3);
    AppendNameField(line, record.Channel);
    line.append(1, '\t');
    AppendNameField(line, record.Publisher);
    line.append(1, '\t');
    line.append(record.EventId).append(1, '\t');
    line.append(record.Message);
    WriteLine(line);
  }
}

}  // namespace qrv
