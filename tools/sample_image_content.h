// What the built-in sample image holds, as data: its logs and channels, the
// providers with their registrations, message files and declared events, and
// every event record with the insertion strings it carries. The file builders
// (sample_image_files.h) turn this into hives, .evtx files and DLLs; tests
// read the written image back against it.
//
// Entry points: SampleImage, MakeSampleImage, SampleTime.
#ifndef QRV_TOOLS_SAMPLE_IMAGE_CONTENT_H_
#define QRV_TOOLS_SAMPLE_IMAGE_CONTENT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/evtx/civil_time.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/pe/wevt_manifest.h"

namespace qrv::sample {

// Keywords Windows stamps on events. Classic (ReportEvent) events carry the
// "Classic" bit; audits carry exactly one of the two audit values; manifest
// events carry the bit of the channel type they are logged to.
inline constexpr uint64_t kKeywordClassic = 0x0080000000000000;
inline constexpr uint64_t kKeywordAuditSuccess = 0x8020000000000000;
inline constexpr uint64_t kKeywordAuditFailure = 0x8010000000000000;
inline constexpr uint64_t kKeywordAdminChannel = 0x8000000000000000;
inline constexpr uint64_t kKeywordOperationalChannel = 0x4000000000000000;

// WINEVT\Channels Type values.
inline constexpr uint32_t kChannelTypeAdmin = 0;
inline constexpr uint32_t kChannelTypeOperational = 1;
inline constexpr uint32_t kChannelTypeDebug = 3;

// FILETIME ticks of a UTC date and time (no leap seconds, as FILETIME).
inline uint64_t SampleTime(int year, int month, int day, int hour, int minute, int second,
                           int millisecond = 0) {
  const int64_t days =
      evtx::DaysFromCivil(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day));
  const int64_t seconds =
      evtx::kFileTimeToUnixSeconds + days * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<uint64_t>(seconds) * evtx::kTicksPerSecond +
         static_cast<uint64_t>(millisecond) * 10000;
}

// One event a provider declares: for a classic source, the message is the one
// with the full id (Qualifiers << 16 | EventID); for a manifest provider the
// fields form the manifest's event definition.
struct DeclaredEvent {
  uint16_t id = 0;
  std::optional<uint16_t> qualifiers;  // classic sources only
  uint8_t version = 0;
  uint8_t level = 0;
  uint16_t task = 0;
  uint8_t opcode = 0;
  uint64_t keywords = 0;
  uint8_t channel_value = 0;  // manifest: the CHAN value of its channel
  std::string message;        // message compiler text, CR LF at the end
  // EventData item names in order; empty names write unnamed <Data>.
  std::vector<std::string> data_names;
  // System32 file whose table holds the message when it is not the
  // provider's own (a source with several EventMessageFile entries).
  std::string message_file;

  // The message id: the full classic id, or an id of the manifest's range.
  uint32_t MessageId() const;
};

// A channel a manifest provider declares or imports, with its CHAN value
// (imported Windows channels keep their own: System 8, Application 9,
// Security 10; a provider's own channels start at 16).
struct ChannelRef {
  std::string name;
  uint8_t value = 0;
  uint32_t message_id = pe::kNoMessageId;  // its display name in the file
};

struct SampleProvider {
  std::string name;
  // "{xxxxxxxx-...}" lower case: the WINEVT\Publishers key of a manifest
  // provider; empty for a classic event source.
  std::string guid;
  // Its message file in Windows\System32 (manifest providers also keep the
  // WEVT_TEMPLATE there).
  std::string file;
  // The message table sits in en-US\<file>.mui instead of the file itself.
  bool messages_in_mui = false;
  // Classic registration: Services\EventLog\<classic_log>\<name>; empty for
  // a publisher no log registers as a source.
  std::string classic_log;
  // The file also holds the %%n parameter strings (ParameterMessageFile of a
  // source, ParameterFileName of a publisher).
  bool parameter_file = false;
  // Classic categories 1..n, their names in the file as messages 1..n.
  std::vector<std::string> categories;
  // Manifest tables.
  std::vector<ChannelRef> channels;
  std::vector<pe::WevtTask> tasks;
  std::vector<pe::WevtKeyword> keywords;
  uint32_t message_id = pe::kNoMessageId;  // the provider's display name
  std::string display_name;
  // Extra messages of the file: parameter strings, task names, channel names.
  std::vector<std::pair<uint32_t, std::string>> other_messages;
  std::vector<DeclaredEvent> events;

  bool is_manifest() const { return !guid.empty(); }
  const DeclaredEvent* FindEvent(uint16_t id) const;
};

// A key under WINEVT\Channels.
struct RegisteredChannel {
  std::string name;
  std::string owning_publisher;  // publisher GUID; empty for classic logs
  uint32_t type = kChannelTypeAdmin;
  bool enabled = true;
  uint32_t isolation = 0;  // 0 Application, 1 System, 2 Custom
  // False for a channel registered but never written: no .evtx exists.
  bool has_file = true;
};

// One record as written, with its insertion strings (%1 is inserts[0]).
struct SampleEvent {
  evtx::WriterEvent record;
  std::vector<std::string> inserts;
};

struct SampleImage {
  std::string computer_name;              // NetBIOS name, as ComputerName holds it
  uint64_t registry_time = 0;             // last-write time of every key, FILETIME
  std::vector<std::string> classic_logs;  // Services\EventLog, in order
  std::vector<RegisteredChannel> channels;
  std::vector<SampleProvider> providers;
  // Every record of every channel, each channel's in time order.
  std::vector<SampleEvent> events;

  const SampleProvider* FindProvider(const std::string& name) const;
  // The records of one channel in the order they are written.
  std::vector<const SampleEvent*> EventsOf(const std::string& channel) const;
};

// The fixed content: the same on every call and every machine.
SampleImage MakeSampleImage();

}  // namespace qrv::sample

#endif  // QRV_TOOLS_SAMPLE_IMAGE_CONTENT_H_
