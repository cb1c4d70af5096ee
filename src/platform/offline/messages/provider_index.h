// Where the registry says a provider's files are. Two registrations count:
// manifest publishers under WINEVT\Publishers\{GUID} (default value = name,
// ResourceFileName, MessageFileName, ParameterFileName) and classic event
// sources under Services\EventLog\<log>\<source> (EventMessageFile,
// ParameterMessageFile, ProviderGuid). Names compare without regard to case.
// A registry without WINEVT\Publishers is a Windows XP or Server 2003
// machine's: its sources are marked to declare their message tables as
// events, with the category values that tell some of those ids apart.
// Finding a publisher by name means reading every Publishers subkey's default
// value, so both name indexes are built once, on the first lookup.
//
// Entry points: ProviderRegistration, ProviderIndex::Find.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_PROVIDER_INDEX_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_PROVIDER_INDEX_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry_api.h"

namespace qrv::offline {

// File lists are registry paths, split at ';' and trimmed, order kept.
struct ProviderRegistration {
  std::string name;  // as the registry spells it
  // Publisher key name ("{guid}") when a manifest publisher is registered
  // under this name, or named by the classic source's ProviderGuid.
  std::string guid;
  std::vector<std::string> resource_files;   // ResourceFileName
  std::vector<std::string> message_files;    // MessageFileName
  std::vector<std::string> parameter_files;  // ParameterFileName
  bool classic_source = false;
  std::vector<std::string> event_message_files;      // EventMessageFile
  std::vector<std::string> parameter_message_files;  // ParameterMessageFile
  // A classic source of a registry without WINEVT\Publishers: its message
  // table is what it declares. The category values are read only then.
  bool message_table_events = false;
  std::vector<std::string> category_message_files;  // CategoryMessageFile
  std::optional<uint32_t> category_count;           // CategoryCount
};

class ProviderIndex {
 public:
  explicit ProviderIndex(RegistryApi& registry) : registry_(registry) {}

  // nullopt when no publisher and no event source has this name. A name
  // registered both ways (a component with a manifest that also reports
  // classic events) gives one registration with both sets of files.
  std::optional<ProviderRegistration> Find(std::string_view name);
  // Every registered name (publishers and sources, once each, as the first
  // registration spells it), in no particular order.
  std::vector<std::string> Names();

 private:
  void BuildIndexes();
  // Fills the publisher fields from WINEVT\Publishers\<key_name>; false when
  // the key cannot be opened.
  bool ReadPublisher(const std::string& key_name, ProviderRegistration* out);
  void ReadSource(const std::string& path, ProviderRegistration* out);

  RegistryApi& registry_;
  bool indexed_ = false;
  // The publishers key is absent (not merely unreadable).
  bool no_publishers_key_ = false;
  struct PublisherEntry {
    std::string key_name;
    std::string name;
  };
  // Folded provider name -> its publisher key; the first key wins.
  std::unordered_map<std::string, PublisherEntry> publishers_;
  // Folded source name -> "<log>\<source>"; the first log wins, as source
  // names are unique across logs on a sound system.
  std::unordered_map<std::string, std::string> sources_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_PROVIDER_INDEX_H_
