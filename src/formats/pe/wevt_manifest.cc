// WEVT_TEMPLATE (CRIM) reader.
#include "formats/pe/wevt_manifest.h"

#include <cstdio>

#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

constexpr uint32_t Sig(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

constexpr uint32_t kCrim = Sig("CRIM");
constexpr uint32_t kWevt = Sig("WEVT");
constexpr uint32_t kChan = Sig("CHAN");
constexpr uint32_t kLevl = Sig("LEVL");
constexpr uint32_t kOpco = Sig("OPCO");
constexpr uint32_t kTask = Sig("TASK");
constexpr uint32_t kKeyw = Sig("KEYW");
constexpr uint32_t kEvnt = Sig("EVNT");
constexpr uint32_t kTtbl = Sig("TTBL");
constexpr uint32_t kTemp = Sig("TEMP");

constexpr uint32_t kCrimHeaderSize = 16;
constexpr uint32_t kProviderDescriptorSize = 20;
constexpr uint32_t kWevtHeaderSize = 20;
constexpr uint32_t kElementDescriptorSize = 8;
constexpr uint32_t kTableHeaderSize = 12;  // signature, size, count
constexpr uint32_t kEventTableHeaderSize = 16;
constexpr uint32_t kEventSize = 48;
constexpr uint32_t kTempHeaderSize = 40;
constexpr uint32_t kTemplateItemSize = 20;

// Tables of a sound manifest never share bytes, so the bytes all tables claim
// add up to at most the block size. Tables aimed at the same bytes (several
// providers naming one WEVT, say) would multiply what a small block yields;
// the budget refuses them before the output grows past the block's size.
class Budget {
 public:
  explicit Budget(uint64_t bytes) : left_(bytes) {}
  bool Claim(uint64_t bytes) {
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
  }

 private:
  uint64_t left_;
};

bool ReadGuid(ByteView view, uint64_t at, Guid* out) {
  const ByteView g = view.Sub(at, 16);
  if (g.size() != 16) return false;
  for (size_t i = 0; i < 16; ++i) out->bytes[i] = g.bytes()[i];
  return true;
}

// {u32 size including itself, UTF-16 text, NUL}; offset 0 means no name.
bool ReadName(ByteView crim, uint32_t offset, std::string* out) {
  out->clear();
  if (offset == 0) return true;
  uint32_t size = 0;
  if (!crim.U32(offset, &size) || size < 4) return false;
  const ByteView text = crim.Sub(offset + 4ull, size - 4ull);
  if (text.size() != size - 4ull) return false;
  *out = Utf16LeToUtf8(text.bytes(), true);
  return true;
}

// Table with a header of `header_size` bytes (count at 8) and `count`
// fixed-size entries; *first receives the offset of the first entry.
PeError TableEntries(Budget* budget, ByteView crim, uint32_t at,
                     uint32_t header_size, uint32_t entry_size, uint32_t* count,
                     uint64_t* first) {
  if (!crim.U32(at + 8ull, count)) return PeError::kBadOffset;
  *first = static_cast<uint64_t>(at) + header_size;
  const uint64_t bytes = static_cast<uint64_t>(*count) * entry_size;
  if (!crim.Has(*first, bytes)) return PeError::kBadOffset;
  if (!budget->Claim(bytes)) return PeError::kTooLarge;
  return PeError::kOk;
}

// Reads a table of `entry_size`-byte entries, each into one element of `out`
// through `read_entry(entry_offset, element, name_offset)`; every entry names
// itself through a name offset, read the same way for all tables.
template <typename Entry, typename ReadEntry>
PeError ReadTable(Budget* budget, ByteView crim, uint32_t at,
                  uint32_t entry_size, std::vector<Entry>* out,
                  ReadEntry read_entry) {
  uint32_t count = 0;
  uint64_t first = 0;
  const PeError error = TableEntries(budget, crim, at, kTableHeaderSize,
                                     entry_size, &count, &first);
  if (error != PeError::kOk) return error;
  for (uint32_t i = 0; i < count; ++i) {
    Entry entry;
    uint32_t name = 0;
    read_entry(first + static_cast<uint64_t>(entry_size) * i, &entry, &name);
    if (!ReadName(crim, name, &entry.name)) return PeError::kBadOffset;
    out->push_back(std::move(entry));
  }
  return PeError::kOk;
}

// CHAN: value, name offset, unknown, message id.
PeError ReadChannels(Budget* budget, ByteView crim, uint32_t at,
                     WevtProvider* p) {
  return ReadTable(budget, crim, at, 16, &p->channels,
                   [&](uint64_t e, WevtChannel* c, uint32_t* name) {
                     crim.U32(e, &c->value);
                     crim.U32(e + 4, name);
                     crim.U32(e + 12, &c->message_id);
                   });
}

// LEVL and OPCO: value, message id, name offset.
PeError ReadValues(Budget* budget, ByteView crim, uint32_t at,
                   std::vector<WevtValue>* out) {
  return ReadTable(budget, crim, at, 12, out,
                   [&](uint64_t e, WevtValue* v, uint32_t* name) {
                     crim.U32(e, &v->value);
                     crim.U32(e + 4, &v->message_id);
                     crim.U32(e + 8, name);
                   });
}

// TASK: value, message id, GUID, name offset.
PeError ReadTasks(Budget* budget, ByteView crim, uint32_t at, WevtProvider* p) {
  return ReadTable(budget, crim, at, 28, &p->tasks,
                   [&](uint64_t e, WevtTask* t, uint32_t* name) {
                     crim.U32(e, &t->value);
                     crim.U32(e + 4, &t->message_id);
                     ReadGuid(crim, e + 8, &t->guid);
                     crim.U32(e + 24, name);
                   });
}

// KEYW: 64-bit mask, message id, name offset.
PeError ReadKeywords(Budget* budget, ByteView crim, uint32_t at,
                     WevtProvider* p) {
  return ReadTable(budget, crim, at, 16, &p->keywords,
                   [&](uint64_t e, WevtKeyword* k, uint32_t* name) {
                     crim.U64(e, &k->mask);
                     crim.U32(e + 8, &k->message_id);
                     crim.U32(e + 12, name);
                   });
}

PeError ReadEvents(Budget* budget, ByteView crim, uint32_t at,
                   WevtProvider* p) {
  uint32_t count = 0;
  uint64_t first = 0;
  const PeError error = TableEntries(budget, crim, at, kEventTableHeaderSize,
                                     kEventSize, &count, &first);
  if (error != PeError::kOk) return error;
  p->events.reserve(p->events.size() + count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t e = first + static_cast<uint64_t>(kEventSize) * i;
    WevtEvent ev;
    crim.U16(e, &ev.id);
    crim.U8(e + 2, &ev.version);
    crim.U8(e + 3, &ev.channel);
    crim.U8(e + 4, &ev.level);
    crim.U8(e + 5, &ev.opcode);
    crim.U16(e + 6, &ev.task);
    crim.U64(e + 8, &ev.keywords);
    crim.U32(e + 16, &ev.message_id);
    crim.U32(e + 20, &ev.template_offset);
    crim.U32(e + 44, &ev.flags);
    p->events.push_back(ev);
  }
  return PeError::kOk;
}

PeError ReadTemplate(Budget* budget, ByteView crim, uint32_t at, uint32_t size,
                     WevtTemplate* t) {
  uint32_t item_count = 0;
  uint32_t items_at = 0;
  crim.U32(at + 8ull, &item_count);
  crim.U32(at + 16ull, &items_at);
  t->offset = at;
  ReadGuid(crim, at + 24ull, &t->guid);
  // The fragment runs to the item descriptors when they sit inside the
  // record, else to the record's end (templates without items store 0 or
  // the record size there).
  const uint64_t end = static_cast<uint64_t>(at) + size;
  uint64_t fragment_end = end;
  if (item_count != 0) {
    if (items_at < at + static_cast<uint64_t>(kTempHeaderSize) ||
        !crim.Has(items_at,
                  static_cast<uint64_t>(item_count) * kTemplateItemSize)) {
      return PeError::kBadOffset;
    }
    if (items_at < end) {
      fragment_end = items_at;
    } else if (!budget->Claim(static_cast<uint64_t>(item_count) *
                              kTemplateItemSize)) {
      return PeError::kTooLarge;
    }
  }
  t->binxml =
      crim.Sub(at + kTempHeaderSize, fragment_end - at - kTempHeaderSize)
          .bytes();
  for (uint32_t i = 0; i < item_count; ++i) {
    const uint64_t e = items_at + static_cast<uint64_t>(kTemplateItemSize) * i;
    WevtTemplateItem item;
    uint32_t name = 0;
    crim.U8(e + 4, &item.in_type);
    crim.U8(e + 5, &item.out_type);
    crim.U16(e + 12, &item.count);
    crim.U16(e + 14, &item.length);
    crim.U32(e + 16, &name);
    if (!ReadName(crim, name, &item.name)) return PeError::kBadOffset;
    t->items.push_back(std::move(item));
  }
  return PeError::kOk;
}

PeError ReadTemplates(Budget* budget, ByteView crim, uint32_t at,
                      WevtProvider* p) {
  uint32_t count = 0;
  if (!crim.U32(at + 8ull, &count)) return PeError::kBadOffset;
  uint64_t next = static_cast<uint64_t>(at) + kTableHeaderSize;
  // Each TEMP is at least its header long, so the block bounds the count.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t sig = 0;
    uint32_t size = 0;
    if (!crim.U32(next, &sig) || !crim.U32(next + 4, &size)) {
      return PeError::kBadOffset;
    }
    if (sig != kTemp) return PeError::kBadSignature;
    if (size < kTempHeaderSize || !crim.Has(next, size) ||
        !budget->Claim(size)) {
      return PeError::kBadOffset;
    }
    WevtTemplate t;
    const PeError error =
        ReadTemplate(budget, crim, static_cast<uint32_t>(next), size, &t);
    if (error != PeError::kOk) return error;
    p->templates.push_back(std::move(t));
    next += size;
  }
  return PeError::kOk;
}

PeError ReadProvider(Budget* budget, ByteView crim, uint32_t at,
                     WevtProvider* p) {
  uint32_t sig = 0;
  uint32_t element_count = 0;
  if (!crim.U32(at, &sig)) return PeError::kBadOffset;
  if (sig != kWevt) return PeError::kBadSignature;
  if (!crim.U32(at + 8ull, &p->message_id) ||
      !crim.U32(at + 12ull, &element_count)) {
    return PeError::kTruncated;
  }
  const uint64_t first = static_cast<uint64_t>(at) + kWevtHeaderSize;
  const uint64_t descriptors =
      static_cast<uint64_t>(element_count) * kElementDescriptorSize;
  if (!crim.Has(first, descriptors)) return PeError::kBadOffset;
  if (!budget->Claim(descriptors)) return PeError::kTooLarge;
  for (uint32_t i = 0; i < element_count; ++i) {
    uint32_t element = 0;
    crim.U32(first + static_cast<uint64_t>(kElementDescriptorSize) * i,
             &element);
    uint32_t type = 0;
    if (!crim.U32(element, &type)) return PeError::kBadOffset;
    PeError error = PeError::kOk;
    switch (type) {
      case kChan:
        error = ReadChannels(budget, crim, element, p);
        break;
      case kLevl:
        error = ReadValues(budget, crim, element, &p->levels);
        break;
      case kOpco:
        error = ReadValues(budget, crim, element, &p->opcodes);
        break;
      case kTask:
        error = ReadTasks(budget, crim, element, p);
        break;
      case kKeyw:
        error = ReadKeywords(budget, crim, element, p);
        break;
      case kEvnt:
        error = ReadEvents(budget, crim, element, p);
        break;
      case kTtbl:
        error = ReadTemplates(budget, crim, element, p);
        break;
      default:
        break;  // MAPS, PRVA and unknown elements are not needed here
    }
    if (error != PeError::kOk) return error;
  }
  return PeError::kOk;
}

}  // namespace

std::string Guid::ToString() const {
  const auto& b = bytes;
  char text[40];
  std::snprintf(text, sizeof(text),
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-"
                "%02X%02X%02X%02X%02X%02X}",
                b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9],
                b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

PeError ParseWevtManifest(Bytes blob, WevtManifest* out) {
  *out = WevtManifest();
  const ByteView crim(blob);
  uint32_t sig = 0;
  if (!crim.U32(0, &sig)) return PeError::kTruncated;
  if (sig != kCrim) return PeError::kBadSignature;
  WevtManifest manifest;
  uint32_t provider_count = 0;
  if (!crim.U16(8, &manifest.major_version) ||
      !crim.U16(10, &manifest.minor_version) ||
      !crim.U32(12, &provider_count)) {
    return PeError::kTruncated;
  }
  if (!crim.Has(kCrimHeaderSize, static_cast<uint64_t>(provider_count) *
                                     kProviderDescriptorSize)) {
    return PeError::kTruncated;
  }
  manifest.providers.reserve(provider_count);
  Budget budget(blob.size());
  for (uint32_t i = 0; i < provider_count; ++i) {
    const uint64_t d =
        kCrimHeaderSize + static_cast<uint64_t>(kProviderDescriptorSize) * i;
    WevtProvider p;
    uint32_t at = 0;
    ReadGuid(crim, d, &p.guid);
    crim.U32(d + 16, &at);
    const PeError error = ReadProvider(&budget, crim, at, &p);
    if (error != PeError::kOk) return error;
    manifest.providers.push_back(std::move(p));
  }
  *out = std::move(manifest);
  return PeError::kOk;
}

}  // namespace pe
