// Parsing of one message file into its table and manifest; see
// message_file.h.
#include "platform/offline/messages/message_file.h"

#include "formats/pe/message_resources.h"
#include "formats/pe/mui_resource.h"
#include "formats/pe/pe_image.h"
#include "formats/pe/resource_tree.h"
#include "platform/offline/messages/name_match.h"

namespace qrv::offline {
namespace {

// The bytes of the message table LoadMessageTable would choose: among the
// entries of the first name, the en-US one, else neutral, else the first.
bool ChooseTableBytes(const pe::PeImage& image, pe::Bytes* out) {
  const pe::ResourceId type = pe::ResourceId::Id(pe::kRtMessageTable);
  std::vector<pe::Resource> found;
  if (pe::ListResources(image, &type, &found) != pe::PeError::kOk ||
      found.empty()) {
    return false;
  }
  std::vector<const pe::Resource*> candidates;
  std::vector<uint16_t> languages;
  for (const pe::Resource& r : found) {
    if (!r.name.Matches(found.front().name)) continue;
    candidates.push_back(&r);
    languages.push_back(r.language);
  }
  const pe::Resource& chosen =
      *candidates[pe::PickLanguage(languages, pe::kLangEnUs)];
  if (!chosen.in_file) return false;
  *out = chosen.data;
  return true;
}

}  // namespace

std::shared_ptr<const MessageFile> MessageFile::Parse(pe::Bytes file) {
  std::shared_ptr<MessageFile> parsed(new MessageFile());
  pe::PeImage image;
  if (pe::PeImage::Parse(file, &image) != pe::PeError::kOk) return parsed;

  pe::Bytes table;
  if (ChooseTableBytes(image, &table)) {
    parsed->table_bytes_.assign(table.begin(), table.end());
    parsed->has_table_ =
        pe::MessageTable::Parse(parsed->table_bytes_, &parsed->table_) ==
        pe::PeError::kOk;
  } else if (pe::MessagesInMuiFile(image)) {
    parsed->messages_in_mui_ = true;
    pe::MuiResource mui;
    if (pe::LoadMuiResource(image, &mui) == pe::PeError::kOk) {
      parsed->mui_fallback_ = mui.fallback_language;
    }
  }

  pe::WevtManifest manifest;
  if (pe::LoadWevtManifest(image, &manifest) == pe::PeError::kOk) {
    parsed->has_manifest_ = true;
    // Templates are left out: they are views into the file bytes, which are
    // not kept.
    for (pe::WevtProvider& provider : manifest.providers) {
      parsed->providers_.push_back({provider.guid.ToString(),
                                    std::move(provider.events),
                                    std::move(provider.channels)});
    }
  }
  return parsed;
}

std::optional<std::string> MessageFile::Find(uint32_t id) const {
  if (!has_table_) return std::nullopt;
  std::string text;
  if (table_.Find(id, &text) != pe::PeError::kOk) return std::nullopt;
  return text;
}

const ManifestProvider* MessageFile::FindProvider(std::string_view guid) const {
  for (const ManifestProvider& provider : providers_) {
    if (SameName(provider.guid, guid)) return &provider;
  }
  return nullptr;
}

}  // namespace qrv::offline
