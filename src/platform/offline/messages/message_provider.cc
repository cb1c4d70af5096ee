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

// The inserts, each cut (at a UTF-8 character boundary) so that every '%'
// of `raw` standing for the longest of them still fits under the cap.
std::vector<std::string> BoundInserts(const std::string& raw,
                                      std::span<const std::string> inserts) {
  std::vector<std::string> bounded(inserts.begin(), inserts.end());
  const size_t references =
      static_cast<size_t>(std::count(raw.begin(), raw.end(), '%'));
  if (references == 0 || raw.size() >= kMaxMessageBytes) return bounded;
  const size_t per_insert = (kMaxMessageBytes - raw.size()) / references;
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

}  // namespace

MessageProvider::MessageProvider(const ProviderRegistration& registration,
                                 MessageFileCache& cache)
    : name_(registration.name) {
  AddFiles(cache, registration.message_files, &manifest_tables_);
  AddFiles(cache, registration.resource_files, &manifest_tables_);
  AddFiles(cache, registration.event_message_files, &classic_tables_);
  AddAll(manifest_tables_, &classic_tables_);
  id_tables_ = manifest_tables_;
  AddFiles(cache, registration.event_message_files, &id_tables_);
  AddFiles(cache, registration.parameter_files, &parameter_files_);
  AddFiles(cache, registration.parameter_message_files, &parameter_files_);

  if (registration.guid.empty()) return;
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

const std::vector<pe::WevtEvent>& MessageProvider::events() const {
  return manifest_ != nullptr ? manifest_->events : kNoEvents;
}

std::optional<std::string> MessageProvider::Parameter(uint32_t id) const {
  for (const auto& file : parameter_files_) {
    std::optional<std::string> text = file->FindMessage(id);
    if (!text) continue;
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
    const std::vector<std::string> bounded = BoundInserts(*raw, inserts);
    // Parameter texts stop being inserted once they add up to the cap; the
    // %%n left over stay as written.
    size_t parameter_bytes = 0;
    bool unresolved = false;
    *text = pe::FormatMessageText(
        *raw, bounded,
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
  return kErrorEvtMessageNotFound;
}

uint32_t MessageProvider::FormatMessageId(uint32_t message_id,
                                          std::span<const std::string> inserts,
                                          std::string* text) const {
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

uint32_t MessageProvider::FormatEvent(const EventMessageRequest& request,
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
