// The message databases of a run, as a TemplateLibrary: the files named by
// one PATH-style list (':' between paths, empty parts ignored), earlier
// files winning. A folder in the list stands for every file in it whose name
// ends in ".db", nearest Windows build to the machine's first (see
// windows_build.h), in its place in the list. A file that cannot serve is
// skipped with a warning naming it and the reason; the caller decides where
// warnings go.
//
// Per provider, each database's row list is read once, on first use, and
// every text fetched is kept; all of it under one mutex per provider, so the
// library may be used from several threads.
//
// Entry points: MessageDatabases::Open, MessageDatabases::Find.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASES_H_
#define QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASES_H_

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/offline/message_db/message_database.h"
#include "platform/offline/message_db/windows_build.h"
#include "platform/offline/messages/template_library.h"

namespace qrv::offline {

class MessageDatabases : public TemplateLibrary {
 public:
  // The machine's build, asked at most once, and only when a folder is
  // named (finding it may read the System log).
  using MachineBuild = std::function<std::optional<WindowsBuild>()>;

  // Opens every file of `path_list`; one line per skipped file goes to
  // *warnings ("<path>: <reason>").
  static std::unique_ptr<MessageDatabases> Open(
      std::string_view path_list, std::vector<std::string>* warnings,
      const MachineBuild& machine_build = nullptr);

  size_t size() const { return databases_.size(); }
  // The databases in the order they are asked, each as "<path> (build N)"
  // or "<path> (build unknown)".
  const std::vector<std::string>& order() const { return order_; }
  std::shared_ptr<const ProviderTemplates> Find(
      std::string_view provider) const override;

 private:
  // Appends a database; `build` only names it in order().
  void Add(std::unique_ptr<MessageDatabase> database, const std::string& path,
           const BuildKey& build);
  void AddFolder(const std::string& folder,
                 const std::optional<WindowsBuild>& machine,
                 std::vector<std::string>* warnings);

  std::vector<std::unique_ptr<MessageDatabase>> databases_;
  std::vector<std::string> order_;
  mutable std::mutex mutex_;
  // Folded name -> the provider, or null for a name no database holds.
  mutable std::unordered_map<std::string,
                             std::shared_ptr<const ProviderTemplates>>
      providers_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASES_H_
