// The service-log and registered-channel sources; see channel_sources.h.
#include "catalogue/channel_sources.h"

#include "catalogue/registry_reader.h"

namespace qrv {

namespace {

// Parent of kRegisteredChannelKey and kPublisherKey.
constexpr char kWinevtKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT";

}  // namespace

std::vector<std::string> ServiceLogNames() {
  // An unreadable key leaves the scratch list empty, which is all the callers
  // need to know about it.
  std::vector<std::string> subkeys;
  GetRegistrySubkeys(kServiceLogKey, subkeys);
  std::vector<std::string> logs;
  logs.reserve(subkeys.size());
  for (std::string& name : subkeys) {
    if (!IsServiceSettingsKey(name)) logs.push_back(std::move(name));
  }
  return logs;
}

std::vector<std::string> RegisteredChannelNames() {
  std::vector<std::string> channels;
  GetRegistrySubkeys(kRegisteredChannelKey, channels);
  return channels;
}

bool HasNoChannelRegistry() { return !RegistryKeyExists(kWinevtKey); }

}  // namespace qrv
