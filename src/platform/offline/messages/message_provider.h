// One provider's messages and event definitions, over the files its
// registration names: the lookups EvtFormatMessage and the event-metadata
// enumeration make, with Win32 codes as results.
//
// Which table answers which question:
//   manifest event  -> the event definition (WEVT_TEMPLATE of ResourceFileName,
//                      else of MessageFileName; the provider chosen by GUID)
//                      gives the message id, looked up in MessageFileName's
//                      table, then ResourceFileName's;
//   classic event   -> message id (Qualifiers << 16) | EventID, looked up in
//                      each EventMessageFile in order, then as above;
//   bare message id -> MessageFileName, ResourceFileName, EventMessageFile;
//   %%n parameters  -> ParameterFileName, then ParameterMessageFile; an id
//                      none of them holds stays "%%n" in the text.
// The image's files are exact for that machine, so templates from message
// databases (TemplateLibrary) answer only what they leave open: an event they
// do not define or have no text for (kErrorEvtMessageNotFound), and, for a
// provider with no message file at all, the event enumeration and its
// message ids. A database template is cut to kMaxTemplateBytes and expanded
// like a message-table string.
// Insertion strings %1..%99 come from the caller in order. An insert with no
// value stays visible as written ("%3"), as Event Viewer shows it, and the
// call still succeeds: a partly filled message beats none. The expanded text
// is held to a few MiB (1 MiB of text and inserts, as much again of parameter
// strings): inserts are shortened and parameter strings left unexpanded
// rather than let one message grow without bound.
//
// Entry points: EventMessageRequest, MessageProvider.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_PROVIDER_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_PROVIDER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/pe/wevt_manifest.h"
#include "platform/offline/messages/message_file_cache.h"
#include "platform/offline/messages/provider_index.h"
#include "platform/offline/messages/template_library.h"

namespace qrv::offline {

// What EvtFormatMessage(EvtFormatMessageEvent) needs to know of an event; the
// query service fills it from its event object. Texts are UTF-8.
struct EventMessageRequest {
  std::string provider;  // Provider/@Name; opens the provider when no
                         // publisher metadata handle is given
  uint16_t event_id = 0;
  std::optional<uint16_t> qualifiers;  // EventID/@Qualifiers, classic events
  uint8_t version = 0;
  uint8_t level = 0;
  uint16_t task = 0;
  uint8_t opcode = 0;
  uint64_t keywords = 0;
  std::string channel;
  // The event's data items in order (EventData/Data, or UserData leaves):
  // inserts[0] is %1.
  std::vector<std::string> inserts;

  bool operator==(const EventMessageRequest&) const = default;
};

// Longest database template used, as long as a message-table entry can be;
// longer texts are cut at a character boundary.
inline constexpr size_t kMaxTemplateBytes = 64 * 1024;

class MessageProvider {
 public:
  // Resolves every file of the registration through `cache` (parsing each
  // at most once per cache). Missing or unreadable files are left out.
  // `templates` (may be null) answers what the files leave open.
  MessageProvider(const ProviderRegistration& registration,
                  MessageFileCache& cache,
                  std::shared_ptr<const ProviderTemplates> templates = nullptr);

  const std::string& name() const { return name_; }
  // The manifest's event definitions in manifest order; empty for a classic
  // source without a manifest, as on Windows. A provider without message
  // files lists its database events instead (ascending ids).
  // On a Windows XP / Server 2003 image (registration.message_table_events)
  // there is no event metadata at all, and a classic source lists its
  // message table: one definition per message id of its event message
  // files, ascending, id = the low 16 bits (the Event ID its events carry),
  // message id = the full id, everything else 0. Category ids
  // 1..CategoryCount are left out of a file that is also the
  // CategoryMessageFile; parameter strings sharing the file cannot be told
  // apart and stay in.
  const std::vector<pe::WevtEvent>& events() const;

  // Message `message_id` as the files store it, unexpanded, looked up as an
  // event's message is: a manifest message id in the manifest's tables, a
  // classic one in the event message files first.
  std::optional<std::string> RawMessage(uint32_t message_id,
                                        bool classic) const;
  // Every message id of the event message files (a classic source's full
  // ids), ascending, each once.
  std::vector<uint32_t> ClassicMessageIds() const;

  // Parameter string `id` as stored (files first, then the databases).
  std::optional<std::string> RawParameter(uint32_t id) const;
  // Every id of the parameter files, ascending, each once.
  std::vector<uint32_t> ParameterIds() const;

  // kErrorSuccess with the expanded text, kErrorEvtUnresolvedValueInsert
  // with the text when an insert had no value (left as %n, as Windows
  // leaves it), or kErrorEvtMessageNotFound.
  uint32_t FormatMessageId(uint32_t message_id,
                           std::span<const std::string> inserts,
                           std::string* text) const;
  // kErrorSuccess or kErrorEvtUnresolvedValueInsert with the text (as
  // FormatMessageId), kErrorEvtMessageNotFound (no definition or no text), or
  // kErrorEvtMessageIdNotFound (the definition has no message).
  uint32_t FormatEvent(const EventMessageRequest& request,
                       std::string* text) const;

 private:
  using FileList = std::vector<std::shared_ptr<const ResolvedFile>>;

  // The definition that best fits the request among those with its id; null
  // when the manifest has none.
  const pe::WevtEvent* MatchEvent(const EventMessageRequest& request) const;
  uint32_t Expand(const FileList& tables, uint32_t message_id,
                  std::span<const std::string> inserts,
                  std::string* text) const;
  std::optional<std::string> Parameter(uint32_t id) const;
  // Expands `raw` with the bounded inserts and the parameter strings into
  // `text`: kErrorSuccess, or kErrorEvtUnresolvedValueInsert when an insert
  // had no value (left as %n, as Windows leaves it).
  uint32_t ExpandText(const std::string& raw,
                      std::span<const std::string> inserts,
                      std::string* text) const;
  void FindManifest(const ProviderRegistration& registration,
                    MessageFileCache& cache);
  void ListTemplateEvents();
  void ListMessageTableEvents(const ProviderRegistration& registration,
                              MessageFileCache& cache);
  uint32_t FormatFromFiles(const EventMessageRequest& request,
                           std::string* text) const;
  uint32_t FormatFromTemplates(const EventMessageRequest& request,
                               std::string* text) const;

  std::string name_;
  FileList manifest_tables_;  // MessageFileName, ResourceFileName
  FileList classic_tables_;   // EventMessageFile, then manifest_tables_
  FileList id_tables_;        // manifest_tables_, then EventMessageFile
  FileList parameter_files_;
  // Keeps the file that holds manifest_ alive.
  std::shared_ptr<const ResolvedFile> manifest_file_;
  const ManifestProvider* manifest_ = nullptr;
  std::shared_ptr<const ProviderTemplates> templates_;
  // Set only for a provider without message files that a database holds:
  // its events, message ids being those of templates_->Text.
  std::vector<pe::WevtEvent> template_events_;
  // Set only for a classic source of an XP-era image: its message table as
  // event definitions.
  std::vector<pe::WevtEvent> table_events_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_PROVIDER_H_
