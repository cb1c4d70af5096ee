// Catalogue rows for a message database; see catalogue_export.h.
#include "message_db/catalogue_export.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "platform/offline/messages/name_match.h"

namespace qrv::message_db {

std::vector<ExportRow> ExportCatalogue(offline::MessageCatalog& catalog) {
  std::vector<std::string> names = catalog.RegisteredNames();
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) {
              return offline::FoldName(a) < offline::FoldName(b);
            });
  std::vector<ExportRow> rows;
  for (const std::string& name : names) {
    uint32_t error = 0;
    const std::shared_ptr<const offline::MessageProvider> provider =
        catalog.Open(name, &error);
    if (provider == nullptr) continue;
    // Manifest order kept per id; a text repeated across versions once.
    std::set<std::pair<uint32_t, std::string>> seen;
    std::vector<ExportRow> mine;
    for (const pe::WevtEvent& event : provider->events()) {
      if (event.message_id == pe::kNoMessageId) continue;
      std::optional<std::string> text =
          provider->RawMessage(event.message_id, false);
      if (!text) continue;  // the files lack it: nothing to pass on
      if (!seen.emplace(event.id, *text).second) continue;
      mine.push_back(ExportRow{name, event.id, std::move(*text)});
    }
    for (const uint32_t id : provider->ClassicMessageIds()) {
      std::optional<std::string> text = provider->RawMessage(id, true);
      if (text) {
        mine.push_back(
            ExportRow{name, offline::kClassicKeyBase + id, std::move(*text)});
      }
    }
    for (const uint32_t id : provider->ParameterIds()) {
      std::optional<std::string> text = provider->RawParameter(id);
      if (text) {
        mine.push_back(
            ExportRow{name, offline::kParameterKeyBase + id, std::move(*text)});
      }
    }
    std::stable_sort(
        mine.begin(), mine.end(),
        [](const ExportRow& a, const ExportRow& b) { return a.key < b.key; });
    rows.insert(rows.end(), std::make_move_iterator(mine.begin()),
                std::make_move_iterator(mine.end()));
  }
  return rows;
}

}  // namespace qrv::message_db
