// Writes EVTX files from a list of events: file header, 64 KiB chunks with
// their string and template tables and checksums, records whose System part
// is a Windows-style template instance and whose EventData is a nested
// template instance (UserData a bare BinXml tree). Serves tests, the sample
// image and benchmarks, and the offline service, which writes the records
// of legacy .evt logs into chunks with it.
// Entry points: EvtxWriter (streaming, chunk by chunk) and WriteEvtx().
#ifndef QRV_FORMATS_EVTX_EVTX_WRITER_H_
#define QRV_FORMATS_EVTX_EVTX_WRITER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/evtx/event_tree.h"
#include "formats/evtx/system_properties.h"

namespace evtx {

// One substitution value in its on-disk encoding.
struct WriterValue {
  uint8_t type = 0;  // ValueType code, | 0x80 for arrays
  std::vector<uint8_t> bytes;

  static WriterValue Null();
  static WriterValue String(std::string_view utf8);
  static WriterValue Ansi(std::string_view bytes);
  // Integer-shaped types: Int8..UInt64, Bool (4 bytes), HexInt32/64, SizeT
  // (8 bytes), FileTime.
  static WriterValue Number(ValueType type, uint64_t value);
  static WriterValue Real32(float value);
  static WriterValue Real64(double value);
  static WriterValue Guid(const GuidBytes& guid);
  static WriterValue Sid(std::string_view text);  // "S-1-5-18"
  static WriterValue Binary(std::vector<uint8_t> bytes);
  static WriterValue SysTime(uint16_t year, uint16_t month, uint16_t day,
                             uint16_t hour, uint16_t minute, uint16_t second,
                             uint16_t ms);
  static WriterValue StringArray(const std::vector<std::string>& items);
  static WriterValue NumberArray(ValueType base,
                                 const std::vector<uint64_t>& items);
  static WriterValue Raw(uint8_t type, std::vector<uint8_t> bytes);
};

// Bytes an integer-shaped value of `type` (as WriterValue::Number takes)
// occupies on disk.
size_t NumberWidth(ValueType type);

// One <Data> item of EventData. An empty name writes <Data> without a Name
// attribute (classic events). Optional items vanish when their value is Null.
struct WriterData {
  std::string name;
  WriterValue value;
  bool optional = false;
};

// A literal XML tree, written as bare BinXml without a template (UserData).
struct WriterNode {
  enum class Kind : uint8_t { kElement, kText, kCharRef, kEntityRef, kCData };
  Kind kind = Kind::kElement;
  std::string name;  // element or entity name
  std::string text;  // text or CDATA
  uint16_t char_ref = 0;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<WriterNode> children;
};

struct WriterEvent {
  std::string provider_name;
  std::optional<GuidBytes> provider_guid;
  uint16_t event_id = 0;
  std::optional<uint16_t> qualifiers;
  uint8_t version = 0;
  uint8_t level = 0;
  uint16_t task = 0;
  uint8_t opcode = 0;
  uint64_t keywords = 0;
  uint64_t time_created = 0;          // FILETIME ticks
  std::optional<uint64_t> record_id;  // default: one more than the last
  std::optional<GuidBytes> activity_id;
  std::optional<GuidBytes> related_activity_id;
  uint32_t process_id = 0;
  uint32_t thread_id = 0;
  std::string channel;
  std::string computer;
  std::string user_sid;  // text form; empty: no UserID
  std::vector<WriterData> event_data;
  // A classic event's binary data: <Binary> after the Data items, in hex.
  std::optional<std::vector<uint8_t>> binary;
  // Writes <EventData> even with no items and no binary data, as classic
  // events have it. (Without a payload the System template's last,
  // optional substitution is null, and a null optional substitution drops
  // the element holding it: the whole event.)
  bool always_event_data = false;
  std::optional<WriterNode> user_data;  // replaces EventData when set
};

struct WriterOptions {
  // Rotates the System template's substitution indexes (0 = Windows' own
  // order), so readers are tested against templates they have not seen.
  uint32_t system_index_rotation = 0;
  // Windows writes Computer as literal template text; true makes it a
  // substitution instead.
  bool computer_as_substitution = false;
  // Chunks read back in the same process by a decoder that does not check
  // the records' checksum may go without it (it is then 0).
  bool data_checksum = true;
};

class EvtxWriter {
 public:
  using ChunkSink = std::function<void(const uint8_t* chunk, size_t size)>;

  explicit EvtxWriter(ChunkSink sink, WriterOptions options = {});
  ~EvtxWriter();
  EvtxWriter(const EvtxWriter&) = delete;
  EvtxWriter& operator=(const EvtxWriter&) = delete;

  // False when the event does not fit in an empty chunk.
  bool Add(const WriterEvent& event);
  // Hands over the last chunk and returns the 4096-byte header block that
  // belongs at the start of the file.
  std::vector<uint8_t> Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The whole file in memory.
std::vector<uint8_t> WriteEvtx(const std::vector<WriterEvent>& events,
                               WriterOptions options = {});

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_EVTX_WRITER_H_
