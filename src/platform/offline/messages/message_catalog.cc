// Provider lookup with shared parses; see message_catalog.h.
#include "platform/offline/messages/message_catalog.h"

#include <utility>

#include "platform/offline/messages/name_match.h"
#include "platform/win32_types.h"

namespace qrv::offline {

MessageCatalog::MessageCatalog(RegistryApi& registry, FileResolver resolver,
                               FileLoader& loader,
                               const TemplateLibrary* templates)
    : index_(registry),
      templates_(templates),
      files_(std::move(resolver), loader) {}

std::shared_ptr<const MessageProvider> MessageCatalog::Open(
    std::string_view name, uint32_t* error) {
  const std::string key = FoldName(name);
  auto it = providers_.find(key);
  if (it == providers_.end()) {
    std::shared_ptr<const MessageProvider> provider;
    std::shared_ptr<const ProviderTemplates> templates;
    if (templates_ != nullptr && !name.empty()) templates = templates_->Find(name);
    std::optional<ProviderRegistration> registration = index_.Find(name);
    if (!registration && templates != nullptr) {
      registration.emplace();
      registration->name = std::string(name);
    }
    if (registration) {
      provider = std::make_shared<const MessageProvider>(
          *registration, files_, std::move(templates));
    }
    it = providers_.emplace(key, std::move(provider)).first;
  }
  *error = it->second != nullptr ? kErrorSuccess : kErrorFileNotFound;
  return it->second;
}

}  // namespace qrv::offline
