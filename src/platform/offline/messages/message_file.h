// One message file (DLL, EXE, SYS, .mui or .mun) reduced to what the message
// catalogue needs once the file bytes are gone: a private copy of its message
// table in the language chosen (en-US first), the providers of its
// WEVT_TEMPLATE manifest with their event definitions and channels, and
// whether its messages live in a separate language (.mui) file.
//
// Entry points: ManifestProvider, MessageFile::Parse, MessageFile::Find,
// MessageFile::FindProvider.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FILE_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/message_table.h"
#include "formats/pe/wevt_manifest.h"

namespace qrv::offline {

struct ManifestProvider {
  std::string guid;  // "{XXXXXXXX-...}", upper case
  std::vector<pe::WevtEvent> events;
  std::vector<pe::WevtChannel> channels;
};

class MessageFile {
 public:
  // Never null. Bytes that are not a PE image, or whose resources are
  // damaged, give a file with no table and no manifest: for the catalogue a
  // damaged file and a file without messages look alike.
  static std::shared_ptr<const MessageFile> Parse(pe::Bytes file);

  MessageFile(const MessageFile&) = delete;
  MessageFile& operator=(const MessageFile&) = delete;

  bool has_table() const { return has_table_; }
  // Text of message `id` as UTF-8, as stored (usually ending in CR LF).
  std::optional<std::string> Find(uint32_t id) const;
  // Every message id of the table, ascending.
  std::vector<uint32_t> Ids() const { return table_.Ids(); }

  // The file has no message table of its own and its MUI resource says the
  // table lives in the language file; mui_fallback_language() is the
  // language the file names as its last resort ("en-US" in practice).
  bool messages_in_mui() const { return messages_in_mui_; }
  const std::string& mui_fallback_language() const { return mui_fallback_; }

  bool has_manifest() const { return has_manifest_; }
  // The manifest provider with this GUID (compared without regard to case,
  // braces included), or null.
  const ManifestProvider* FindProvider(std::string_view guid) const;

 private:
  MessageFile() = default;

  // The table indexes table_bytes_, which never moves after parsing.
  std::vector<uint8_t> table_bytes_;
  pe::MessageTable table_;
  bool has_table_ = false;
  bool messages_in_mui_ = false;
  std::string mui_fallback_;
  bool has_manifest_ = false;
  std::vector<ManifestProvider> providers_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_MESSAGE_FILE_H_
