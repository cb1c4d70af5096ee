// Reader of one RT_MESSAGETABLE resource (MESSAGE_RESOURCE_DATA): message id
// to text, as FormatMessage(FORMAT_MESSAGE_FROM_HMODULE) finds it.
//
// Layout: u32 block count, then 12-byte blocks {low id, high id, offset of the
// first entry from the resource start}; the entries of a block follow each
// other, one per id: {u16 length (header and padding included), u16 flags,
// text}. Flags: 0 ANSI, 1 UTF-16LE, 2 UTF-8. Text is NUL-terminated and
// padded; everything from the first NUL on is dropped. Texts are returned as
// stored, usually ending in CR LF; trimming is the caller's business.
//
// ANSI entries are decoded as Windows-1252: message compilers write them in
// the build machine's code page, the resource data entry's code page field is
// 0 in practice, and 1252 is what US/Western Windows uses.
//
// Entry points: MessageTable::Parse, MessageTable::Find.
#ifndef QRV_FORMATS_PE_MESSAGE_TABLE_H_
#define QRV_FORMATS_PE_MESSAGE_TABLE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "formats/pe/byte_view.h"
#include "formats/pe/pe_error.h"

namespace pe {

enum class MessageEncoding : uint16_t { kAnsi = 0, kUtf16 = 1, kUtf8 = 2 };

struct MessageBlock {
  uint32_t low_id = 0;
  uint32_t high_id = 0;
  uint32_t offset = 0;
};

class MessageTable {
 public:
  // Indexes every entry of `blob`, which must outlive the table. The whole
  // table is refused when a block's entries run off the end, an entry's length
  // is under 4, or the entries together claim more than the blob can hold
  // (blocks aimed at the same bytes).
  static PeError Parse(Bytes blob, MessageTable* out);

  // Text of message `id` as UTF-8. kNotFound when no block covers the id;
  // kBadEntry when its flags are not one of the three encodings.
  PeError Find(uint32_t id, std::string* text) const;

  const std::vector<MessageBlock>& blocks() const { return blocks_; }
  size_t size() const { return entries_.size(); }

  // Message ids in ascending order (each once), for listing a table.
  std::vector<uint32_t> Ids() const;

 private:
  struct Entry {
    uint32_t id;
    uint32_t offset;  // of the entry header in blob_
    uint16_t length;
    uint16_t flags;
  };

  ByteView blob_;
  std::vector<MessageBlock> blocks_;
  std::vector<Entry> entries_;  // sorted by id; first block wins on repeats
};

}  // namespace pe

#endif  // QRV_FORMATS_PE_MESSAGE_TABLE_H_
