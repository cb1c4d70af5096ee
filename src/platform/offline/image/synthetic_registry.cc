// Registry keys made up for a folder of logs; see synthetic_registry.h.
#include "platform/offline/image/synthetic_registry.h"

#include <algorithm>
#include <map>

#include "formats/event_names.h"
#include "formats/regf/name_text.h"
#include "platform/registry_layout.h"

namespace qrv::offline {

namespace {

constexpr std::string_view kServiceLogsPath = "ControlSet001\\Services\\EventLog";
constexpr std::string_view kWinevtPath = "Microsoft\\Windows\\CurrentVersion\\WINEVT";
// Windows's limit on a key name, in UTF-16 units.
constexpr size_t kMaxKeyNameUnits = 255;

bool UsableKeyName(std::string_view name) {
  return !name.empty() && name.find('\\') == std::string_view::npos &&
         regf::Utf8ToUtf16(name).size() <= kMaxKeyNameUnits;
}

// The provider with the most events; on a tie the first in the list.
const ProviderCount* BusiestProvider(const std::vector<ProviderCount>& providers) {
  const ProviderCount* best = nullptr;
  for (const ProviderCount& p : providers) {
    if (best == nullptr || p.events > best->events) best = &p;
  }
  return best;
}

}  // namespace

void AddClassicLogs(std::vector<FolderChannel>* channels) {
  for (const char* log : {"Application", "System", "Security"}) {
    auto at = std::find_if(channels->begin(), channels->end(), [log](const FolderChannel& c) {
      return regf::CompareNamesIgnoreCase(c.channel.name, log) >= 0;
    });
    if (at != channels->end() && event_names::Same(at->channel.name, log)) continue;
    FolderChannel added;
    added.channel.name = log;
    channels->insert(at, std::move(added));
  }
}

void SynthesizeRegistry(const std::vector<FolderChannel>& channels, MemoryKey* system,
                        MemoryKey* software) {
  system->AddKey("Select").SetDword("Current", 1);
  MemoryKey& service_logs = system->AddPath(kServiceLogsPath);
  MemoryKey& winevt = software->AddPath(kWinevtPath);
  MemoryKey& channel_keys = winevt.AddKey("Channels");
  MemoryKey& publisher_keys = winevt.AddKey("Publishers");

  // Events per provider name for each GUID, over all channels: the publisher
  // key of a GUID carries the name that used it most.
  std::map<std::string, std::vector<ProviderCount>> publishers;

  for (const FolderChannel& c : channels) {
    const std::string& name = c.channel.name;
    if (!UsableKeyName(name)) continue;
    MemoryKey& channel_key = channel_keys.AddKey(name);
    const ProviderCount* owner = BusiestProvider(c.providers);
    if (owner != nullptr && !owner->guid.empty()) channel_key.SetString(kOwningPublisherValue, owner->guid);
    const bool classic = name.find('/') == std::string::npos;
    MemoryKey* log_key = classic ? &service_logs.AddKey(name) : nullptr;
    for (const ProviderCount& p : c.providers) {
      if (!UsableKeyName(p.name)) continue;
      if (log_key != nullptr) log_key->AddKey(p.name);
      if (p.guid.empty()) continue;
      std::vector<ProviderCount>& names = publishers[p.guid];
      auto it = std::find_if(names.begin(), names.end(),
                             [&p](const ProviderCount& q) { return q.name == p.name; });
      if (it == names.end()) {
        names.push_back(p);
      } else {
        it->events += p.events;
      }
    }
  }
  for (const auto& [guid, names] : publishers) {
    if (UsableKeyName(guid)) publisher_keys.AddKey(guid).SetString("", BusiestProvider(names)->name);
  }
}

}  // namespace qrv::offline
