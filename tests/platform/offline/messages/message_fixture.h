// Test fixtures for the offline message catalogue: an in-memory image (files
// by Windows path, resolved without regard to case, reads counted), PE
// message files built with the project's writers, and registry helpers for
// publisher and event-source registrations on the fake registry.
#ifndef QRV_TESTS_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FIXTURE_H_
#define QRV_TESTS_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FIXTURE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "formats/pe/pe_writer.h"
#include "formats/pe/resource_writer.h"
#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/name_match.h"
#include "tests/support/fake_platform.h"

namespace qrv::offline::test {

// Files of a pretend image. Windows paths are stored with %SystemRoot%
// already standing for C:\Windows; the resolver expands that one variable
// and ignores case, as the image's resolver does. Host paths keep the
// spelling the file was added with.
class MemoryImage : public FileLoader {
 public:
  void Add(std::string windows_path, std::vector<uint8_t> bytes) {
    const std::string host = "/image/" + windows_path;
    hosts_[FoldName(windows_path)] = host;
    files_[host] = std::move(bytes);
  }

  FileResolver Resolver() {
    return [this](std::string_view path) -> std::optional<std::string> {
      std::string folded = FoldName(path);
      const std::string kRoot = "%systemroot%";
      if (folded.rfind(kRoot, 0) == 0) {
        folded = "c:\\windows" + folded.substr(kRoot.size());
      }
      ++resolves_;
      const auto file = hosts_.find(folded);
      if (file != hosts_.end()) return file->second;
      // A directory exists when some file lies below it.
      for (const auto& [key, host] : hosts_) {
        if (key.rfind(folded + "\\", 0) == 0) {
          return host.substr(0, 7 + folded.size());
        }
      }
      return std::nullopt;
    };
  }

  std::optional<std::vector<uint8_t>> Read(
      const std::string& host_path) override {
    ++reads_[host_path];
    const auto it = files_.find(host_path);
    if (it == files_.end()) return std::nullopt;
    return it->second;
  }

  std::vector<std::string> Subdirectories(const std::string& host_dir) override {
    std::set<std::string> names;
    const std::string prefix = FoldName(host_dir) + "\\";
    for (const auto& [host, bytes] : files_) {
      if (FoldName(host).rfind(prefix, 0) != 0) continue;
      const std::string rest = host.substr(prefix.size());
      const size_t slash = rest.find('\\');
      if (slash != std::string::npos) names.insert(rest.substr(0, slash));
    }
    return {names.begin(), names.end()};
  }

  int reads(const std::string& windows_path) const {
    const auto it = reads_.find("/image/" + windows_path);
    return it == reads_.end() ? 0 : it->second;
  }
  int total_reads() const {
    int total = 0;
    for (const auto& [path, count] : reads_) total += count;
    return total;
  }
  int resolves() const { return resolves_; }

 private:
  std::map<std::string, std::string> hosts_;  // folded Windows path -> host
  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<std::string, int> reads_;
  int resolves_ = 0;
};

inline pe::WrittenResource TableResource(
    std::vector<pe::WrittenMessage> messages,
    uint16_t language = pe::kLangEnUs) {
  return {pe::ResourceId::Id(pe::kRtMessageTable), pe::ResourceId::Id(1),
          language, pe::BuildMessageTable(std::move(messages))};
}

inline pe::WrittenResource ManifestResource(const pe::WevtManifest& manifest) {
  return {pe::ResourceId::Name(pe::kTypeWevtTemplate), pe::ResourceId::Id(1),
          pe::kLangNeutral, pe::BuildWevtManifest(manifest)};
}

inline pe::WrittenResource MuiResource(uint32_t file_type,
                                       std::vector<uint32_t> mui_types,
                                       std::string language) {
  pe::MuiResource mui;
  mui.version = 0x10000;
  mui.file_type = file_type;
  mui.mui_id_types = std::move(mui_types);
  mui.language = std::move(language);
  mui.fallback_language = "en-US";
  return {pe::ResourceId::Name(pe::kTypeMui), pe::ResourceId::Id(1),
          pe::kLangNeutral, pe::BuildMuiResource(mui)};
}

// A DLL holding one message table.
inline std::vector<uint8_t> MessageDll(std::vector<pe::WrittenMessage> messages) {
  return pe::BuildPeImage({TableResource(std::move(messages))});
}

// A language-neutral DLL whose messages live in its .mui files.
inline std::vector<uint8_t> NeutralDll() {
  return pe::BuildPeImage(
      {MuiResource(pe::kMuiFileTypeNeutral, {pe::kRtMessageTable}, "")});
}

inline std::vector<uint8_t> MuiFile(std::vector<pe::WrittenMessage> messages,
                                    const std::string& language,
                                    uint16_t langid) {
  return pe::BuildPeImage(
      {TableResource(std::move(messages), langid),
       MuiResource(pe::kMuiFileTypeLanguage, {}, language)});
}

inline pe::Guid MakeGuid(uint8_t seed) {
  pe::Guid guid;
  for (size_t i = 0; i < guid.bytes.size(); ++i) {
    guid.bytes[i] = static_cast<uint8_t>(seed + i);
  }
  return guid;
}

inline pe::WevtEvent Event(uint16_t id, uint8_t version, uint32_t message_id) {
  pe::WevtEvent event;
  event.id = id;
  event.version = version;
  event.message_id = message_id;
  return event;
}

inline pe::WevtManifest OneProvider(const pe::Guid& guid,
                                    std::vector<pe::WevtEvent> events,
                                    std::vector<pe::WevtChannel> channels = {}) {
  pe::WevtProvider provider;
  provider.guid = guid;
  provider.events = std::move(events);
  provider.channels = std::move(channels);
  pe::WevtManifest manifest;
  manifest.major_version = 3;
  manifest.minor_version = 1;
  manifest.providers.push_back(std::move(provider));
  return manifest;
}

inline constexpr char kPublishers[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers\\";
inline constexpr char kEventLog[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";

struct PublisherFiles {
  std::string resource;
  std::string message;
  std::string parameter;
};

inline void RegisterPublisher(fake::FakeRegistry& registry,
                              const std::string& guid, const std::string& name,
                              const PublisherFiles& files) {
  const std::string key = kPublishers + guid;
  registry.SetString(key, "", name);
  if (!files.resource.empty()) {
    registry.SetValue(key, "ResourceFileName", files.resource + '\0',
                      kRegExpandSz);
  }
  if (!files.message.empty()) {
    registry.SetValue(key, "MessageFileName", files.message + '\0',
                      kRegExpandSz);
  }
  if (!files.parameter.empty()) {
    registry.SetValue(key, "ParameterFileName", files.parameter + '\0',
                      kRegExpandSz);
  }
}

struct SourceFiles {
  std::string event_message;
  std::string parameter_message;
  std::string provider_guid;
};

inline void RegisterSource(fake::FakeRegistry& registry, const std::string& log,
                           const std::string& source, const SourceFiles& files) {
  const std::string key = kEventLog + log + "\\" + source;
  registry.AddKey(key);
  if (!files.event_message.empty()) {
    registry.SetValue(key, "EventMessageFile", files.event_message + '\0',
                      kRegExpandSz);
  }
  if (!files.parameter_message.empty()) {
    registry.SetValue(key, "ParameterMessageFile",
                      files.parameter_message + '\0', kRegExpandSz);
  }
  if (!files.provider_guid.empty()) {
    registry.SetString(key, "ProviderGuid", files.provider_guid);
  }
}

}  // namespace qrv::offline::test

#endif  // QRV_TESTS_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FIXTURE_H_
