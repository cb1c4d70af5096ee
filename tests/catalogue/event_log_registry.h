// Builders for the event-log configuration in a fake registry, shared by the
// catalogue and command tests: service logs with their event sources,
// registered channels with their owning publishers, publisher keys.
#ifndef QRV_TESTS_CATALOGUE_EVENT_LOG_REGISTRY_H_
#define QRV_TESTS_CATALOGUE_EVENT_LOG_REGISTRY_H_

#include <string>
#include <vector>

#include "catalogue/channel_sources.h"
#include "tests/support/fake_platform.h"

namespace qrv::test {

inline std::string ServiceLogPath(const std::string& log) {
  return std::string(kServiceLogKey) + "\\" + log;
}
inline std::string ChannelPath(const std::string& channel) {
  return std::string(kRegisteredChannelKey) + "\\" + channel;
}
inline std::string PublisherPath(const std::string& key) {
  return std::string(kPublisherKey) + "\\" + key;
}

// A service log and the event sources registered under it, in that order.
inline void AddServiceLog(fake::FakeRegistry& registry, const std::string& log,
                          const std::vector<std::string>& sources = {}) {
  registry.AddKey(ServiceLogPath(log));
  for (const std::string& source : sources) {
    registry.AddKey(ServiceLogPath(log) + "\\" + source);
  }
}

// A registered channel with no OwningPublisher value.
inline void AddChannel(fake::FakeRegistry& registry,
                       const std::string& channel) {
  registry.AddKey(ChannelPath(channel));
}

// A registered channel whose OwningPublisher names publisher key `key`,
// and that key with `name` as its default value.
inline void AddOwnedChannel(fake::FakeRegistry& registry,
                            const std::string& channel, const std::string& key,
                            const std::string& name) {
  registry.SetString(ChannelPath(channel), "OwningPublisher", key);
  registry.SetString(PublisherPath(key), "", name);
}

}  // namespace qrv::test

#endif  // QRV_TESTS_CATALOGUE_EVENT_LOG_REGISTRY_H_
