// Reader of a WEVT_TEMPLATE resource: the compiled instrumentation manifest
// ("CRIM") that holds, per provider, its event definitions and the channels,
// levels, tasks, opcodes and keywords they refer to, each with the message id
// of its display text, and the event templates (inline-name BinXml).
//
// Layout (every offset counts from the start of the CRIM block):
//   CRIM: "CRIM", size, major u16, minor u16, provider count, then per
//         provider {GUID, offset of its WEVT}.
//   WEVT: "WEVT", size, message id, element count, unknown count, then per
//         element {offset, unknown}; the element's type is its signature.
//   CHAN entries 16 bytes {value, name offset, unknown, message id};
//   LEVL/OPCO 12 {value, message id, name offset};
//   TASK 28 {value, message id, GUID, name offset};
//   KEYW 16 {mask u64, message id, name offset};
//   EVNT: count, unknown, then 48-byte event definitions;
//   TTBL: count, then TEMP records {"TEMP", size, item count, name count,
//         items offset, event type, GUID, BinXml...}, items 20 bytes each.
//   Names: {u32 size including itself, UTF-16 text, NUL}.
// Element sizes are not trusted (empty LEVL/OPCO tables store size 0): every
// table is bounded by the CRIM block instead. Other element types (MAPS, and
// PRVA in some newer compilers' output) are passed over. The resource holds no
// provider name; the registry's publisher key supplies it.
//
// Entry points: Guid, WevtManifest, ParseWevtManifest.
#ifndef QRV_FORMATS_PE_WEVT_MANIFEST_H_
#define QRV_FORMATS_PE_WEVT_MANIFEST_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/pe_error.h"

namespace pe {

// Message id stored when an item has no message.
constexpr uint32_t kNoMessageId = 0xFFFFFFFF;

// GUID in its on-disk byte order (Data1..Data3 little-endian).
struct Guid {
  std::array<uint8_t, 16> bytes{};

  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case as event XML shows.
  std::string ToString() const;
  bool operator==(const Guid&) const = default;
};

struct WevtEvent {
  uint16_t id = 0;  // low 16 bits of the event id
  uint8_t version = 0;
  uint8_t channel = 0;  // a channel value as in WevtChannel::value
  uint8_t level = 0;
  uint8_t opcode = 0;
  uint16_t task = 0;
  uint64_t keywords = 0;
  uint32_t message_id = kNoMessageId;
  uint32_t template_offset = 0;  // CRIM offset of the TEMP; 0 = no template
  uint32_t flags = 0;
};

struct WevtChannel {
  uint32_t value = 0;
  std::string name;
  uint32_t message_id = kNoMessageId;
};

// Levels and opcodes.
struct WevtValue {
  uint32_t value = 0;
  std::string name;
  uint32_t message_id = kNoMessageId;
};

struct WevtTask {
  uint32_t value = 0;
  std::string name;
  uint32_t message_id = kNoMessageId;
  Guid guid;
};

struct WevtKeyword {
  uint64_t mask = 0;
  std::string name;
  uint32_t message_id = kNoMessageId;
};

struct WevtTemplateItem {
  uint8_t in_type = 0;
  uint8_t out_type = 0;
  uint16_t count = 0;
  uint16_t length = 0;
  std::string name;
};

struct WevtTemplate {
  uint32_t offset = 0;  // CRIM offset of the TEMP, as WevtEvent refers to it
  Guid guid;
  Bytes binxml;  // the fragment, names inline; a view into the blob
  std::vector<WevtTemplateItem> items;
};

struct WevtProvider {
  Guid guid;
  uint32_t message_id = kNoMessageId;
  std::vector<WevtEvent> events;
  std::vector<WevtChannel> channels;
  std::vector<WevtValue> levels;
  std::vector<WevtValue> opcodes;
  std::vector<WevtTask> tasks;
  std::vector<WevtKeyword> keywords;
  std::vector<WevtTemplate> templates;
};

struct WevtManifest {
  uint16_t major_version = 0;
  uint16_t minor_version = 0;
  std::vector<WevtProvider> providers;
};

// Parses a whole CRIM block (the WEVT_TEMPLATE resource data); template
// views point into `blob`. Errors: kTruncated, kBadSignature, kBadOffset
// (an offset or count leading outside the block); nothing is returned then.
PeError ParseWevtManifest(Bytes blob, WevtManifest* out);

}  // namespace pe

#endif  // QRV_FORMATS_PE_WEVT_MANIFEST_H_
