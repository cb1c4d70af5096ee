// Language choice and loading of message table, manifest and MUI resources.
#include "formats/pe/message_resources.h"

#include <algorithm>

namespace pe {
namespace {

// The data of the first resource of `type`, or kNotFound.
PeError FirstResource(const PeImage& image, const ResourceId& type,
                      Bytes* data) {
  std::vector<Resource> found;
  const PeError error = ListResources(image, &type, &found);
  if (error != PeError::kOk) return error;
  if (found.empty()) return PeError::kNotFound;
  if (!found.front().in_file) return PeError::kBadOffset;
  *data = found.front().data;
  return PeError::kOk;
}

}  // namespace

size_t PickLanguage(const std::vector<uint16_t>& languages, uint16_t wanted) {
  for (const uint16_t choice : {wanted, kLangEnUs, kLangNeutral}) {
    const auto it = std::find(languages.begin(), languages.end(), choice);
    if (it != languages.end()) return it - languages.begin();
  }
  return 0;
}

PeError LoadMessageTable(const PeImage& image, uint16_t wanted,
                         MessageTable* out, uint16_t* language) {
  const ResourceId type = ResourceId::Id(kRtMessageTable);
  std::vector<Resource> found;
  PeError error = ListResources(image, &type, &found);
  if (error != PeError::kOk) return error;
  if (found.empty()) return PeError::kNotFound;
  std::vector<const Resource*> candidates;
  std::vector<uint16_t> languages;
  for (const Resource& r : found) {
    if (!r.name.Matches(found.front().name)) continue;
    candidates.push_back(&r);
    languages.push_back(r.language);
  }
  const Resource& chosen = *candidates[PickLanguage(languages, wanted)];
  if (!chosen.in_file) return PeError::kBadOffset;
  error = MessageTable::Parse(chosen.data, out);
  if (error == PeError::kOk && language != nullptr) {
    *language = chosen.language;
  }
  return error;
}

PeError LoadWevtManifest(const PeImage& image, WevtManifest* out) {
  Bytes data;
  const PeError error =
      FirstResource(image, ResourceId::Name(kTypeWevtTemplate), &data);
  if (error != PeError::kOk) return error;
  return ParseWevtManifest(data, out);
}

PeError LoadMuiResource(const PeImage& image, MuiResource* out) {
  Bytes data;
  const PeError error = FirstResource(image, ResourceId::Name(kTypeMui), &data);
  if (error != PeError::kOk) return error;
  return ParseMuiResource(data, out);
}

bool MessagesInMuiFile(const PeImage& image) {
  const ResourceId table = ResourceId::Id(kRtMessageTable);
  std::vector<Resource> own;
  if (ListResources(image, &table, &own) == PeError::kOk && !own.empty()) {
    return false;
  }
  MuiResource mui;
  if (LoadMuiResource(image, &mui) != PeError::kOk) return false;
  return std::find(mui.mui_id_types.begin(), mui.mui_id_types.end(),
                   kRtMessageTable) != mui.mui_id_types.end();
}

}  // namespace pe
