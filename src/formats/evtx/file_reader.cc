// File header, chunk slot index and the record cursor; see file_reader.h.
#include "formats/evtx/file_reader.h"

#include <algorithm>
#include <cstring>

#include "formats/evtx/bytes.h"
#include "formats/evtx/crc32.h"

namespace evtx {
namespace {

constexpr uint8_t kFileSignature[8] = {'E', 'l', 'f', 'F', 'i', 'l', 'e', 0};
constexpr uint8_t kChunkSignature[8] = {'E', 'l', 'f', 'C', 'h', 'n', 'k', 0};
constexpr uint32_t kFileHeaderSize = 128;
constexpr uint32_t kFileFlagDirty = 0x1;
constexpr uint32_t kFileFlagNoChecksum = 0x4;

bool AllZero(const uint8_t* p, size_t n) {
  static constexpr uint8_t kZeros[4096] = {};
  for (size_t done = 0; done < n; done += sizeof(kZeros)) {
    const size_t len = std::min(sizeof(kZeros), n - done);
    if (std::memcmp(p + done, kZeros, len) != 0) return false;
  }
  return true;
}

}  // namespace

bool ReadFileHeader(const uint8_t* data, size_t size, FileHeader* header,
                    ReaderStats* stats) {
  *header = FileHeader();
  if (size < kFileHeaderSize || std::memcmp(data, kFileSignature, 8) != 0)
    return false;
  header->oldest_chunk = LoadU64(data + 8);
  header->current_chunk = LoadU64(data + 16);
  header->next_record_id = LoadU64(data + 24);
  header->minor_version = LoadU16(data + 36);
  header->major_version = LoadU16(data + 38);
  header->chunk_count = LoadU16(data + 42);
  header->flags = LoadU32(data + 120);
  stats->header_dirty = (header->flags & kFileFlagDirty) != 0;
  stats->header_bad_checksum = (header->flags & kFileFlagNoChecksum) == 0 &&
                               Crc32(data, 120) != LoadU32(data + 124);
  return true;
}

bool ReadChunkSlotHead(const uint8_t* head, uint64_t offset, uint32_t avail,
                       ChunkInfo* info) {
  if (avail < kChunkHeaderSize || std::memcmp(head, kChunkSignature, 8) != 0)
    return false;
  *info = ChunkInfo();
  info->offset = offset;
  info->size = avail;
  info->first_record = LoadU64(head + 8);
  const uint8_t* first = head + kChunkHeaderSize;
  if (avail >= kSlotHeadSize && first[0] == 0x2A && first[1] == 0x2A &&
      first[2] == 0 && first[3] == 0) {
    info->first_record = LoadU64(first + 8);
  }
  return true;
}

bool FileReader::Open(const uint8_t* data, size_t size) {
  data_ = data;
  size_ = size;
  chunks_.clear();
  stats_ = ReaderStats();
  if (!ReadFileHeader(data, size, &header_, &stats_)) return false;
  for (size_t offset = kFileHeaderBlockSize; offset < size;
       offset += kChunkSize) {
    const uint32_t slot =
        static_cast<uint32_t>((offset - kFileHeaderBlockSize) / kChunkSize);
    const uint32_t avail =
        static_cast<uint32_t>(std::min<size_t>(kChunkSize, size - offset));
    ++stats_.chunk_slots;
    const uint8_t* p = data + offset;
    ChunkInfo info;
    if (!ReadChunkSlotHead(p, offset, avail, &info)) {
      if (AllZero(p, avail)) {
        ++stats_.slots_empty;
      } else {
        ++stats_.slots_garbage;
      }
      continue;
    }
    info.slot = slot;
    ++stats_.chunks;
    if (slot >= header_.chunk_count) ++stats_.chunks_beyond_header_count;
    if (avail < kChunkSize) ++stats_.chunks_truncated;
    chunks_.push_back(info);
  }
  return true;
}

std::vector<uint32_t> ChunkOrder(const std::vector<ChunkInfo>& chunks,
                                 RecordOrder order) {
  std::vector<uint32_t> idx(chunks.size());
  for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = i;
  if (order == RecordOrder::kOldestFirst) {
    std::stable_sort(idx.begin(), idx.end(), [&chunks](uint32_t a, uint32_t b) {
      return chunks[a].first_record < chunks[b].first_record;
    });
  }
  return idx;
}

std::vector<uint32_t> FileReader::ChunkOrder(RecordOrder order) const {
  return evtx::ChunkOrder(chunks_, order);
}

RecordCursor::RecordCursor(const FileReader& file, RecordOrder order)
    : file_(file), order_(file.ChunkOrder(order)), stats_(file.stats()) {}

bool RecordCursor::Next() {
  for (;;) {
    if (loaded_ && decoder_.NextRecord(&record_)) return true;
    loaded_ = false;
    if (next_chunk_ >= order_.size()) return false;
    const ChunkInfo& c = file_.chunks()[order_[next_chunk_++]];
    loaded_ = decoder_.Load(file_.ChunkData(c), c.size, &stats_);
  }
}

}  // namespace evtx
