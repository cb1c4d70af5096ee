// MESSAGETABLE resource reader.
#include "formats/pe/message_table.h"

#include <algorithm>

#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

constexpr uint32_t kBlockSize = 12;
constexpr uint32_t kEntryHeaderSize = 4;

}  // namespace

PeError MessageTable::Parse(Bytes blob, MessageTable* out) {
  *out = MessageTable();
  const ByteView view(blob);
  uint32_t block_count = 0;
  if (!view.U32(0, &block_count)) return PeError::kTruncated;
  if (!view.Has(4, static_cast<uint64_t>(block_count) * kBlockSize)) {
    return PeError::kTooLarge;
  }
  MessageTable table;
  table.blob_ = view;
  table.blocks_.reserve(block_count);
  // Entries never share bytes in a sound table and each takes at least 4, so
  // more entries than blob bytes / 4 means blocks overlap: refused before the
  // index can grow without bound.
  const size_t max_entries = blob.size() / kEntryHeaderSize;
  for (uint32_t b = 0; b < block_count; ++b) {
    MessageBlock block;
    const uint64_t at = 4 + static_cast<uint64_t>(b) * kBlockSize;
    view.U32(at, &block.low_id);
    view.U32(at + 4, &block.high_id);
    view.U32(at + 8, &block.offset);
    if (block.high_id < block.low_id) return PeError::kBadEntry;
    table.blocks_.push_back(block);
    uint64_t offset = block.offset;
    for (uint64_t id = block.low_id; id <= block.high_id; ++id) {
      Entry e;
      if (!view.U16(offset, &e.length) || !view.U16(offset + 2, &e.flags)) {
        return PeError::kTruncated;
      }
      if (e.length < kEntryHeaderSize) return PeError::kBadEntry;
      if (!view.Has(offset, e.length)) return PeError::kTruncated;
      if (table.entries_.size() >= max_entries) return PeError::kTooLarge;
      e.id = static_cast<uint32_t>(id);
      e.offset = static_cast<uint32_t>(offset);
      table.entries_.push_back(e);
      offset += e.length;
    }
  }
  std::stable_sort(table.entries_.begin(), table.entries_.end(),
                   [](const Entry& a, const Entry& b) { return a.id < b.id; });
  // FormatMessage searches the blocks in order, so the first block holding
  // an id decides; stable sorting keeps that entry first among equals.
  table.entries_.erase(
      std::unique(table.entries_.begin(), table.entries_.end(),
                  [](const Entry& a, const Entry& b) { return a.id == b.id; }),
      table.entries_.end());
  *out = std::move(table);
  return PeError::kOk;
}

PeError MessageTable::Find(uint32_t id, std::string* text) const {
  text->clear();
  const auto it = std::lower_bound(
      entries_.begin(), entries_.end(), id,
      [](const Entry& e, uint32_t value) { return e.id < value; });
  if (it == entries_.end() || it->id != id) return PeError::kNotFound;
  const Bytes raw =
      blob_
          .Sub(it->offset + static_cast<uint64_t>(kEntryHeaderSize),
               it->length - kEntryHeaderSize)
          .bytes();
  switch (static_cast<MessageEncoding>(it->flags)) {
    case MessageEncoding::kAnsi:
      *text = Windows1252ToUtf8(raw);
      return PeError::kOk;
    case MessageEncoding::kUtf16:
      *text = Utf16LeToUtf8(raw, true);
      return PeError::kOk;
    case MessageEncoding::kUtf8:
      *text = SanitizeUtf8(raw);
      return PeError::kOk;
  }
  return PeError::kBadEntry;
}

std::vector<uint32_t> MessageTable::Ids() const {
  std::vector<uint32_t> ids;
  ids.reserve(entries_.size());
  for (const Entry& e : entries_) ids.push_back(e.id);
  return ids;
}

}  // namespace pe
