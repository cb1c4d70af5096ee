// The message files of one image, each read and parsed at most once for the
// life of the cache and then shared by every provider that names it. A
// registered path is resolved to a host path (so two spellings of one file
// share one parse), and completed with the files Windows would consult
// beside it: the language file <dir>\<language>\<name>.mui when the messages
// live there (en-US preferred), and %SystemRoot%\SystemResources\<name>.mun
// when the file carries no WEVT_TEMPLATE of its own (recent Windows builds
// move manifests there).
//
// Not thread-safe: the tool formats messages on its one working thread.
//
// Entry points: ResolvedFile, MessageFileCache::Get.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FILE_CACHE_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FILE_CACHE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_file.h"

namespace qrv::offline {

// A message file as reached through one registered path. Each part is null
// when it could not be found or read.
struct ResolvedFile {
  std::shared_ptr<const MessageFile> file;
  std::shared_ptr<const MessageFile> language;   // its .mui
  std::shared_ptr<const MessageFile> resources;  // its .mun

  // Message text from the file's own table, else from its language file.
  std::optional<std::string> FindMessage(uint32_t id) const;
  // The ids FindMessage answers, ascending.
  std::vector<uint32_t> MessageIds() const;
  // The manifest provider from the file, else from its .mun.
  const ManifestProvider* FindProvider(std::string_view guid) const;
};

class MessageFileCache {
 public:
  // Language folders tried for one file's .mui, at most: System32 has about
  // a hundred subdirectories, most of them not languages.
  static constexpr size_t kMaxLanguageFolders = 256;

  MessageFileCache(FileResolver resolver, FileLoader& loader);

  // Never null. Repeated calls with the same path (in any letter case) give
  // the same object without touching the resolver or the loader again.
  std::shared_ptr<const ResolvedFile> Get(std::string_view windows_path);

 private:
  // Parsed file at `host_path`, null when unreadable; read once.
  std::shared_ptr<const MessageFile> Load(const std::string& host_path);
  std::shared_ptr<const MessageFile> LoadWindowsPath(std::string_view path);
  std::shared_ptr<const MessageFile> FindLanguageFile(
      std::string_view directory, std::string_view name,
      const std::string& fallback_language);

  FileResolver resolver_;
  FileLoader& loader_;
  std::unordered_map<std::string, std::shared_ptr<const ResolvedFile>>
      by_path_;  // key: folded registered path
  std::unordered_map<std::string, std::shared_ptr<const MessageFile>>
      by_host_path_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FILE_CACHE_H_
