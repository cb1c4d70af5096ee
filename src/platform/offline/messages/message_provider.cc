// Message lookup and formatting for one provider; see message_provider.h.
#include "platform/offline/messages/message_provider.h"

#include <algorithm>

#include "formats/pe/message_format.h"
#include "platform/offline/messages/name_match.h"
#include "platform/win32_types.h"

namespace qrv::offline {
namespace {

// Appends the resolved files of `paths` not already in `list`.
void AddFiles(MessageFileCache& cache, const std::vector<std::string>& paths,
              std::vector<std::shared_ptr<const ResolvedFile>>* list) {
  for (const std::string& path : paths) {
    std::shared_ptr<const ResolvedFile> file = cache.Get(path);
    if (std::find(list->begin(), list->end(), file) == list->end()) {
      list->push_back(std::move(file));
    }
  }
}

void AddAll(const std::vector<std::shared_ptr<const ResolvedFile>>& from,
            std::vector<std::shared_ptr<const ResolvedFile>>* list) {
  for (const auto& file : from) {
    if (std::find(list->begin(), list->end(), file) == list->end()) {
      list->push_back(file);
    }
  }
}

const std::vector<pe::WevtEvent> kNoEvents;

// Both the message and the inserts come from files (a message table entry
// holds up to 64 KiB, an event's data items are the event's own), and one
// insert may be referenced many times, so the expanded text is bounded:
// real messages run to a few KiB.
constexpr size_t kMaxMessageBytes = 1 << 20;

// True when some insert must be cut so that every '%' of `raw` standing for
// the longest of them still fits under the cap; *per_insert is then the
// bytes each may keep.
bool InsertsNeedBound(const std::string& raw,
                      std::span<const std::string> inserts,
                      size_t* per_insert) {
  const size_t references =
      static_cast<size_t>(std::count(raw.begin(), raw.end(), '%'));
  if (references == 0 || raw.size() >= kMaxMessageBytes) return false;
  *per_insert = (kMaxMessageBytes - raw.size()) / references;
  return std::any_of(inserts.begin(), inserts.end(),
                     [&](const std::string& insert) {
                       return insert.size() > *per_insert;
                     });
}

// The inserts, each cut at a UTF-8 character boundary to `per_insert` bytes.
std::vector<std::string> BoundInserts(std::span<const std::string> inserts,
                                      size_t per_insert) {
  std::vector<std::string> bounded(inserts.begin(), inserts.end());
  for (std::string& insert : bounded) {
    if (insert.size() <= per_insert) continue;
    size_t cut = per_insert;
    while (cut > 0 && (static_cast<unsigned char>(insert[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    insert.resize(cut);
  }
  return bounded;
}

// `text` cut to at most `limit` bytes at a UTF-8 character boundary.
void CutText(std::string* text, size_t limit) {
  if (text->size() <= limit) return;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>((*text)[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  text->resize(cut);
}

bool AnyFileRead(const std::vector<std::shared_ptr<const ResolvedFile>>& list) {
  return std::any_of(list.begin(), list.end(), [](const auto& resolved) {
    return resolved->file != nullptr || resolved->language != nullptr ||
           resolved->resources != nullptr;
  });
}

}  // namespace

MessageProvider::MessageProvider(const ProviderRegistration& registration,
                                 MessageFileCache& cache,
                                 std::shared_ptr<const ProviderTemplates> templates)
    : name_(registration.name), templates_(std::move(templates)) {
  AddFiles(cache, registration.message_files, &manifest_tables_);
  AddFiles(cache, registration.resource_files, &manifest_tables_);
  AddFiles(cache, registration.event_message_files, &classic_tables_);
  AddAll(manifest_tables_, &classic_tables_);
  id_tables_ = manifest_tables_;
  AddFiles(cache, registration.event_message_files, &id_tables_);
  AddFiles(cache, registration.parameter_files, &parameter_files_);
  AddFiles(cache, registration.parameter_message_files, &parameter_files_);

  if (!registration.guid.empty()) FindManifest(registration, cache);
  ListMessageTableEvents(registration, cache);
  ListTemplateEvents();
}

void MessageProvider::FindManifest(const ProviderRegistration& registration,
                                   MessageFileCache& cache) {
  // Definitions come from ResourceFileName; MessageFileName is the fallback
  // for registrations that name only one file.
  std::vector<std::string> manifest_paths = registration.resource_files;
  manifest_paths.insert(manifest_paths.end(),
                        registration.message_files.begin(),
                        registration.message_files.end());
  for (const std::string& path : manifest_paths) {
    std::shared_ptr<const ResolvedFile> file = cache.Get(path);
    if (const ManifestProvider* found = file->FindProvider(registration.guid)) {
      manifest_file_ = std::move(file);
      manifest_ = found;
      break;
    }
  }
}

void MessageProvider::ListTemplateEvents() {
  if (templates_ == nullptr || manifest_ != nullptr ||
      AnyFileRead(id_tables_) || AnyFileRead(parameter_files_)) {
    return;
  }
  for (const TemplateEvent& entry : templates_->Events()) {
    pe::WevtEvent event;
    event.id = entry.event_id;
    event.message_id = entry.message_id;
    template_events_.push_back(event);
  }
}

void MessageProvider::ListMessageTableEvents(
    const ProviderRegistration& registration, MessageFileCache& cache) {
  if (!registration.message_table_events || manifest_ != nullptr) return;
  // A source whose categories live in its event message file numbers them
  // 1..CategoryCount in the same table; those ids name categories, not
  // events. Files are compared parsed, so two spellings of one path match.
  std::vector<const MessageFile*> category_files;
  const uint32_t categories = registration.category_count.value_or(0);
  if (categories > 0) {
    for (const std::string& path : registration.category_message_files) {
      if (const auto& file = cache.Get(path)->file) {
        category_files.push_back(file.get());
      }
    }
  }
  std::vector<uint32_t> ids;
  // As ClassicMessageIds: the event message files, not the manifest's.
  for (const auto& resolved : classic_tables_) {
    if (std::find(manifest_tables_.begin(), manifest_tables_.end(),
                  resolved) != manifest_tables_.end()) {
      continue;
    }
    const bool holds_categories =
        resolved->file != nullptr &&
        std::find(category_files.begin(), category_files.end(),
                  resolved->file.get()) != category_files.end();
    for (const uint32_t id : resolved->MessageIds()) {
      if (holds_categories && id >= 1 && id <= categories) continue;
      ids.push_back(id);
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  table_events_.reserve(ids.size());
  for (const uint32_t id : ids) {
    pe::WevtEvent event;
    event.id = static_cast<uint16_t>(id & 0xFFFF);
    event.message_id = id;
    table_events_.push_back(event);
  }
}

const std::vector<pe::WevtEvent>& MessageProvider::events() const {
  if (manifest_ != nullptr) return manifest_->events;
  if (!table_events_.empty()) return table_events_;
  return template_events_.empty() ? kNoEvents : template_events_;
}

std::optional<std::string> MessageProvider::RawParameter(uint32_t id) const {
  for (const auto& file : parameter_files_) {
    if (std::optional<std::string> text = file->FindMessage(id)) return text;
  }
  if (templates_ == nullptr) return std::nullopt;
  for (const MessageTemplate& row :
       templates_->Templates(kParameterKeyBase + id)) {
    if (!row.text.empty()) {
      std::string text = row.text;
      CutText(&text, kMaxTemplateBytes);
      return text;
    }
  }
  return std::nullopt;
}

std::vector<uint32_t> MessageProvider::ParameterIds() const {
  std::vector<uint32_t> ids;
  for (const auto& file : parameter_files_) {
    const std::vector<uint32_t> more = file->MessageIds();
    ids.insert(ids.end(), more.begin(), more.end());
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::optional<std::string> MessageProvider::Parameter(uint32_t id) const {
  std::optional<std::string> text = RawParameter(id);
  if (text) {
    // Parameter strings are inserted inside a line: the line end the
    // message compiler gives every message is dropped.
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) {
      text->pop_back();
    }
    return text;
  }
  return std::nullopt;
}

uint32_t MessageProvider::Expand(const FileList& tables, uint32_t message_id,
                                 std::span<const std::string> inserts,
                                 std::string* text) const {
  for (const auto& file : tables) {
    const std::optional<std::string> raw = file->FindMessage(message_id);
    if (!raw) continue;
    return ExpandText(*raw, inserts, text);
  }
  return kErrorEvtMessageNotFound;
}

uint32_t MessageProvider::ExpandText(const std::string& raw,
                                     std::span<const std::string> inserts,
                                     std::string* text) const {
  // Real inserts are far under the cap: they are only copied to be cut.
  std::vector<std::string> cut_inserts;
  std::span<const std::string> bounded = inserts;
  size_t per_insert = 0;
  if (InsertsNeedBound(raw, inserts, &per_insert)) {
    cut_inserts = BoundInserts(inserts, per_insert);
    bounded = cut_inserts;
  }
  // Parameter texts stop being inserted once they add up to the cap; the
  // %%n left over stay as written.
  size_t parameter_bytes = 0;
  bool unresolved = false;
  *text = pe::FormatMessageText(
      raw, bounded,
      [this, &parameter_bytes](uint32_t id) -> std::optional<std::string> {
        if (parameter_bytes > kMaxMessageBytes) return std::nullopt;
        std::optional<std::string> found = Parameter(id);
        if (!found) return found;
        parameter_bytes += found->size();
        if (parameter_bytes > kMaxMessageBytes) return std::nullopt;
        return found;
      },
      &unresolved);
  // As on Windows: the text, with 15029 for the inserts it lacks.
  return unresolved ? kErrorEvtUnresolvedValueInsert : kErrorSuccess;
}

std::optional<std::string> MessageProvider::RawMessage(uint32_t message_id,
                                                       bool classic) const {
  for (const auto& file : classic ? classic_tables_ : manifest_tables_) {
    if (std::optional<std::string> raw = file->FindMessage(message_id)) {
      return raw;
    }
  }
  return std::nullopt;
}

std::vector<uint32_t> MessageProvider::ClassicMessageIds() const {
  std::vector<uint32_t> ids;
  // classic_tables_ starts with the event message files; the manifest's
  // tables follow, and their messages are not a source's events.
  for (const auto& file : classic_tables_) {
    if (std::find(manifest_tables_.begin(), manifest_tables_.end(), file) !=
        manifest_tables_.end()) {
      continue;
    }
    const std::vector<uint32_t> more = file->MessageIds();
    ids.insert(ids.end(), more.begin(), more.end());
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

uint32_t MessageProvider::FormatMessageId(uint32_t message_id,
                                          std::span<const std::string> inserts,
                                          std::string* text) const {
  // Listed database events carry the database's message ids, which mean
  // nothing to message tables (and there are none to ask).
  if (!template_events_.empty()) {
    std::optional<std::string> raw = templates_->Text(message_id);
    if (!raw) return kErrorEvtMessageNotFound;
    CutText(&*raw, kMaxTemplateBytes);
    return ExpandText(*raw, inserts, text);
  }
  return Expand(id_tables_, message_id, inserts, text);
}

const pe::WevtEvent* MessageProvider::MatchEvent(
    const EventMessageRequest& request) const {
  if (manifest_ == nullptr) return nullptr;
  // Ids repeat across versions (and, rarely, across channels or tasks), each
  // with its own message. The version decides first; then the definition
  // agreeing on most of channel, level, opcode, task and keywords wins;
  // equal scores keep manifest order.
  constexpr int kVersionWeight = 16;  // more than the other five together
  const pe::WevtEvent* best = nullptr;
  int best_score = -1;
  for (const pe::WevtEvent& event : manifest_->events) {
    if (event.id != request.event_id) continue;
    int score = 0;
    if (event.version == request.version) score += kVersionWeight;
    if (event.level == request.level) ++score;
    if (event.opcode == request.opcode) ++score;
    if (event.task == request.task) ++score;
    if (event.keywords == request.keywords) ++score;
    for (const pe::WevtChannel& channel : manifest_->channels) {
      if (channel.value == event.channel &&
          SameName(channel.name, request.channel)) {
        ++score;
        break;
      }
    }
    if (score > best_score) {
      best = &event;
      best_score = score;
    }
  }
  return best;
}

uint32_t MessageProvider::FormatFromTemplates(
    const EventMessageRequest& request, std::string* text) const {
  const uint64_t classic_key =
      kClassicKeyBase +
      ((static_cast<uint32_t>(request.qualifiers.value_or(0)) << 16) |
       request.event_id);
  const uint64_t first = request.qualifiers ? classic_key : request.event_id;
  const uint64_t second = request.qualifiers ? request.event_id : classic_key;
  const std::vector<MessageTemplate>* rows = &templates_->Templates(first);
  if (rows->empty()) rows = &templates_->Templates(second);
  const MessageTemplate* chosen =
      ChooseTemplate(*rows, request.inserts.size());
  if (chosen == nullptr) return kErrorEvtMessageNotFound;
  if (chosen->text.size() <= kMaxTemplateBytes) {
    return ExpandText(chosen->text, request.inserts, text);
  }
  std::string raw = chosen->text;
  CutText(&raw, kMaxTemplateBytes);
  return ExpandText(raw, request.inserts, text);
}

uint32_t MessageProvider::FormatEvent(const EventMessageRequest& request,
                                      std::string* text) const {
  const uint32_t error = FormatFromFiles(request, text);
  if (error != kErrorEvtMessageNotFound || templates_ == nullptr) return error;
  return FormatFromTemplates(request, text);
}

uint32_t MessageProvider::FormatFromFiles(const EventMessageRequest& request,
                                          std::string* text) const {
  if (!request.qualifiers) {
    if (const pe::WevtEvent* event = MatchEvent(request)) {
      if (event->message_id == pe::kNoMessageId) {
        return kErrorEvtMessageIdNotFound;
      }
      return Expand(manifest_tables_, event->message_id, request.inserts,
                    text);
    }
    // A manifest that does not define the event has no message for it; an
    // event of a source without a manifest is looked up as classic with
    // qualifiers 0.
    if (manifest_ != nullptr) return kErrorEvtMessageNotFound;
  }
  const uint32_t full_id =
      (static_cast<uint32_t>(request.qualifiers.value_or(0)) << 16) |
      request.event_id;
  return Expand(classic_tables_, full_id, request.inserts, text);
}

}  // namespace qrv::offline
