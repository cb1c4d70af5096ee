// The message catalogue of one offline image: providers by name, each with
// its messages and event definitions, over the image's registry and files.
// Providers and files are looked up and parsed once and then shared, while
// callers keep the open-use-close life cycle of publisher metadata handles;
// keep one catalogue for the life of the process so that every event's
// open finds its provider ready.
//
// Not thread-safe. The offline event-log service (OfflineEventLog) makes
// every call into the catalogue, and into the providers it hands out, while
// holding its one catalogue lock, so the caller's thread and a query's
// worker thread (which formats messages ahead) may share it; whatever sits
// behind a provider's lookups must therefore work from either thread.
//
// Entry points: MessageCatalog::Open.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_CATALOG_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_CATALOG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_file_cache.h"
#include "platform/offline/messages/message_provider.h"
#include "platform/offline/messages/provider_index.h"
#include "platform/offline/messages/template_library.h"
#include "platform/registry_api.h"

namespace qrv::offline {

class MessageCatalog {
 public:
  // `registry` and `loader` must outlive the catalogue; the registry is read
  // through that object only (HKEY_LOCAL_MACHINE\SOFTWARE and \SYSTEM).
  // `templates` (may be null; must outlive the catalogue) holds the message
  // databases asked for what the image's files leave open.
  MessageCatalog(RegistryApi& registry, FileResolver resolver,
                 FileLoader& loader, const TemplateLibrary* templates = nullptr);

  // The provider registered under `name` (UTF-8, any letter case), or null
  // with *error = kErrorFileNotFound when neither WINEVT\Publishers nor an
  // EventLog source nor a message database knows the name (an empty name
  // included). A provider whose files are missing or damaged still opens;
  // it has no events and no messages but what a database gives it.
  std::shared_ptr<const MessageProvider> Open(std::string_view name,
                                              uint32_t* error);
  // The names of every provider the image's registry knows.
  std::vector<std::string> RegisteredNames() { return index_.Names(); }

 private:
  ProviderIndex index_;
  const TemplateLibrary* templates_;
  MessageFileCache files_;
  // Folded name -> provider; null remembers a name nobody registered.
  std::unordered_map<std::string, std::shared_ptr<const MessageProvider>>
      providers_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_CATALOG_H_
