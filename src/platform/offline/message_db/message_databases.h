// The message databases of a run, as a TemplateLibrary: the files named by
// one PATH-style list (':' between paths, empty parts ignored), earlier
// files winning. A file that cannot serve is skipped with a warning naming
// it and the reason; the caller decides where warnings go.
//
// Per provider, each database's row list is read once, on first use, and
// every text fetched is kept; all of it under one mutex per provider, so the
// library may be used from several threads.
//
// Entry points: MessageDatabases::Open, MessageDatabases::Find.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASES_H_
#define QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASES_H_

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/offline/message_db/message_database.h"
#include "platform/offline/messages/template_library.h"

namespace qrv::offline {

class MessageDatabases : public TemplateLibrary {
 public:
  // Opens every file of `path_list`; one line per skipped file goes to
  // *warnings ("<path>: <reason>").
  static std::unique_ptr<MessageDatabases> Open(
      std::string_view path_list, std::vector<std::string>* warnings);

  size_t size() const { return databases_.size(); }
  std::shared_ptr<const ProviderTemplates> Find(
      std::string_view provider) const override;

 private:
  std::vector<std::unique_ptr<MessageDatabase>> databases_;
  mutable std::mutex mutex_;
  // Folded name -> the provider, or null for a name no database holds.
  mutable std::unordered_map<std::string,
                             std::shared_ptr<const ProviderTemplates>>
      providers_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGE_DB_MESSAGE_DATABASES_H_
