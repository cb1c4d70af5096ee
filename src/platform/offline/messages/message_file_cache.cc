// Shared parse of message files and their .mui/.mun companions; see
// message_file_cache.h.
#include "platform/offline/messages/message_file_cache.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "formats/pe/mui_resource.h"
#include "platform/offline/messages/name_match.h"

namespace qrv::offline {
namespace {

// Where Windows looks for a file registered by its bare name.
constexpr std::string_view kBareNameDirectory = "%SystemRoot%\\System32";
constexpr std::string_view kSystemResources = "%SystemRoot%\\SystemResources";
constexpr std::string_view kEnUs = "en-US";

// Splits a registered path at its last separator (both '\' and '/' occur).
// A bare file name is a system file: its directory is System32.
void SplitPath(std::string_view path, std::string_view* directory,
               std::string_view* name) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) {
    *directory = kBareNameDirectory;
    *name = path;
  } else {
    *directory = path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

std::string Join(std::string_view a, std::string_view b) {
  std::string joined(a);
  joined += '\\';
  joined += b;
  return joined;
}

}  // namespace

std::optional<std::string> ResolvedFile::FindMessage(uint32_t id) const {
  if (file != nullptr && file->has_table()) return file->Find(id);
  if (language != nullptr) return language->Find(id);
  return std::nullopt;
}

std::vector<uint32_t> ResolvedFile::MessageIds() const {
  if (file != nullptr && file->has_table()) return file->Ids();
  if (language != nullptr) return language->Ids();
  return {};
}

const ManifestProvider* ResolvedFile::FindProvider(
    std::string_view guid) const {
  if (file != nullptr && file->has_manifest()) return file->FindProvider(guid);
  if (resources != nullptr) return resources->FindProvider(guid);
  return nullptr;
}

MessageFileCache::MessageFileCache(FileResolver resolver, FileLoader& loader)
    : resolver_(std::move(resolver)), loader_(loader) {}

std::shared_ptr<const MessageFile> MessageFileCache::Load(
    const std::string& host_path) {
  const auto it = by_host_path_.find(host_path);
  if (it != by_host_path_.end()) return it->second;
  std::shared_ptr<const MessageFile> parsed;
  if (std::optional<std::vector<uint8_t>> bytes = loader_.Read(host_path)) {
    parsed = MessageFile::Parse(*bytes);
  }
  by_host_path_.emplace(host_path, parsed);
  return parsed;
}

std::shared_ptr<const MessageFile> MessageFileCache::LoadWindowsPath(
    std::string_view path) {
  const std::optional<std::string> host = resolver_(path);
  if (!host) return nullptr;
  return Load(*host);
}

std::shared_ptr<const MessageFile> MessageFileCache::FindLanguageFile(
    std::string_view directory, std::string_view name,
    const std::string& fallback_language) {
  std::vector<std::string> languages;
  if (const std::optional<std::string> host_dir = resolver_(directory)) {
    languages = loader_.Subdirectories(*host_dir);
  }
  // en-US and the file's own fallback are tried even when the directory
  // cannot be listed.
  for (const std::string_view wanted :
       {kEnUs, std::string_view(fallback_language)}) {
    if (wanted.empty()) continue;
    const bool listed =
        std::any_of(languages.begin(), languages.end(),
                    [&](const std::string& l) { return SameName(l, wanted); });
    if (!listed) languages.emplace_back(wanted);
  }
  const std::string mui_name = std::string(name) + ".mui";
  for (size_t tries = 0; tries < kMaxLanguageFolders && !languages.empty();
       ++tries) {
    const std::optional<std::string> pick =
        pe::PickMuiLanguage(languages, kEnUs, fallback_language);
    const auto it = std::find_if(
        languages.begin(), languages.end(),
        [&](const std::string& l) { return SameName(l, *pick); });
    languages.erase(it);
    std::shared_ptr<const MessageFile> mui =
        LoadWindowsPath(Join(Join(directory, *pick), mui_name));
    if (mui != nullptr && mui->has_table()) return mui;
  }
  // Some installers put the .mui beside the file.
  std::shared_ptr<const MessageFile> beside =
      LoadWindowsPath(Join(directory, mui_name));
  if (beside != nullptr && beside->has_table()) return beside;
  return nullptr;
}

std::shared_ptr<const ResolvedFile> MessageFileCache::Get(
    std::string_view windows_path) {
  const std::string key = FoldName(windows_path);
  const auto it = by_path_.find(key);
  if (it != by_path_.end()) return it->second;

  std::string_view directory;
  std::string_view name;
  SplitPath(windows_path, &directory, &name);
  auto resolved = std::make_shared<ResolvedFile>();
  resolved->file = LoadWindowsPath(Join(directory, name));
  if (resolved->file != nullptr) {
    if (resolved->file->messages_in_mui()) {
      resolved->language = FindLanguageFile(
          directory, name, resolved->file->mui_fallback_language());
    }
    if (!resolved->file->has_manifest()) {
      resolved->resources =
          LoadWindowsPath(Join(kSystemResources, std::string(name) + ".mun"));
    }
  }
  by_path_.emplace(key, resolved);
  return resolved;
}

}  // namespace qrv::offline
