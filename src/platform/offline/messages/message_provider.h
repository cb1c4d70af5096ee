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
};

class MessageProvider {
 public:
  // Resolves every file of the registration through `cache` (parsing each
  // at most once per cache). Missing or unreadable files are left out.
  MessageProvider(const ProviderRegistration& registration,
                  MessageFileCache& cache);

  const std::string& name() const { return name_; }
  // The manifest's event definitions in manifest order; empty for a classic
  // source without a manifest, as on Windows.
  const std::vector<pe::WevtEvent>& events() const;

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

  std::string name_;
  FileList manifest_tables_;  // MessageFileName, ResourceFileName
  FileList classic_tables_;   // EventMessageFile, then manifest_tables_
  FileList id_tables_;        // manifest_tables_, then EventMessageFile
  FileList parameter_files_;
  // Keeps the file that holds manifest_ alive.
  std::shared_ptr<const ResolvedFile> manifest_file_;
  const ManifestProvider* manifest_ = nullptr;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_PROVIDER_H_
