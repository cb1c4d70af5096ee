// Registry lookups of provider files; see provider_index.h.
#include "platform/offline/messages/provider_index.h"

#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/name_match.h"
#include "platform/offline/messages/registry_values.h"
#include "platform/registry_layout.h"
#include "platform/win32_types.h"

namespace qrv::offline {
namespace {

std::string Join(std::string_view a, std::string_view b) {
  std::string joined(a);
  joined += '\\';
  joined += b;
  return joined;
}

std::vector<std::string> FileList(RegistryApi& registry, const RegKeyOwner& key,
                                  const std::string& name) {
  const std::optional<std::string> value = RegistryString(registry, key, name);
  return value ? SplitFileList(*value) : std::vector<std::string>{};
}

}  // namespace

void ProviderIndex::BuildIndexes() {
  indexed_ = true;
  {
    int32_t status = 0;
    const RegKeyOwner publishers =
        OpenRegistryKey(registry_, std::string(kPublisherKey), &status);
    no_publishers_key_ = status == static_cast<int32_t>(kErrorFileNotFound);
    for (const std::string& key_name : RegistrySubkeys(registry_, publishers)) {
      const RegKeyOwner key =
          OpenRegistryKey(registry_, Join(kPublisherKey, key_name));
      const std::optional<std::string> name = RegistryString(registry_, key, "");
      // A publisher key without a name cannot be opened by name; skipped.
      if (!name || name->empty()) continue;
      publishers_.emplace(FoldName(*name), PublisherEntry{key_name, *name});
    }
  }
  const RegKeyOwner event_log =
      OpenRegistryKey(registry_, std::string(kServiceLogKey));
  for (const std::string& log : RegistrySubkeys(registry_, event_log)) {
    if (IsServiceSettingsKey(log)) continue;
    const RegKeyOwner log_key =
        OpenRegistryKey(registry_, Join(kServiceLogKey, log));
    for (const std::string& source : RegistrySubkeys(registry_, log_key)) {
      sources_.emplace(FoldName(source), Join(log, source));
    }
  }
}

bool ProviderIndex::ReadPublisher(const std::string& key_name,
                                  ProviderRegistration* out) {
  const RegKeyOwner key =
      OpenRegistryKey(registry_, Join(kPublisherKey, key_name));
  if (!key) return false;
  out->guid = key_name;
  out->resource_files = FileList(registry_, key, kResourceFileValue);
  out->message_files = FileList(registry_, key, kMessageFileValue);
  out->parameter_files = FileList(registry_, key, kParameterFileValue);
  return true;
}

void ProviderIndex::ReadSource(const std::string& path,
                               ProviderRegistration* out) {
  const RegKeyOwner key = OpenRegistryKey(registry_, Join(kServiceLogKey, path));
  out->classic_source = true;
  out->event_message_files = FileList(registry_, key, kEventMessageFileValue);
  out->parameter_message_files =
      FileList(registry_, key, kParameterMessageFileValue);
  if (no_publishers_key_) {
    out->message_table_events = true;
    out->category_message_files =
        FileList(registry_, key, kCategoryMessageFileValue);
    out->category_count = RegistryDword(registry_, key, kCategoryCountValue);
  }
  if (out->guid.empty()) {
    // A source that names its component's manifest publisher gets that
    // publisher's files too.
    const std::optional<std::string> guid =
        RegistryString(registry_, key, kProviderGuidValue);
    if (guid && !guid->empty()) ReadPublisher(*guid, out);
  }
}

std::vector<std::string> ProviderIndex::Names() {
  if (!indexed_) BuildIndexes();
  std::vector<std::string> names;
  for (const auto& [folded, entry] : publishers_) names.push_back(entry.name);
  for (const auto& [folded, path] : sources_) {
    if (publishers_.count(folded) == 0) {
      names.push_back(path.substr(path.find('\\') + 1));
    }
  }
  return names;
}

std::optional<ProviderRegistration> ProviderIndex::Find(std::string_view name) {
  if (name.empty()) return std::nullopt;
  if (!indexed_) BuildIndexes();
  const std::string folded = FoldName(name);
  const auto publisher = publishers_.find(folded);
  const auto source = sources_.find(folded);
  if (publisher == publishers_.end() && source == sources_.end()) {
    return std::nullopt;
  }
  ProviderRegistration registration;
  if (publisher != publishers_.end()) {
    ReadPublisher(publisher->second.key_name, &registration);
    registration.name = publisher->second.name;
  }
  if (source != sources_.end()) {
    ReadSource(source->second, &registration);
    if (registration.name.empty()) {
      registration.name = source->second.substr(source->second.find('\\') + 1);
    }
  }
  return registration;
}

}  // namespace qrv::offline

