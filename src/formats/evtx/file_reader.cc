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

bool FileReader::Open(const uint8_t* data, size_t size) {
  data_ = data;
  size_ = size;
  chunks_.clear();
  stats_ = ReaderStats();
  header_ = FileHeader();
  if (size < kFileHeaderSize || std::memcmp(data, kFileSignature, 8) != 0)
    return false;
  header_.oldest_chunk = LoadU64(data + 8);
  header_.current_chunk = LoadU64(data + 16);
  header_.next_record_id = LoadU64(data + 24);
  header_.minor_version = LoadU16(data + 36);
  header_.major_version = LoadU16(data + 38);
  header_.chunk_count = LoadU16(data + 42);
  header_.flags = LoadU32(data + 120);
  stats_.header_dirty = (header_.flags & kFileFlagDirty) != 0;
  stats_.header_bad_checksum = (header_.flags & kFileFlagNoChecksum) == 0 &&
                               Crc32(data, 120) != LoadU32(data + 124);
  for (size_t offset = kFileHeaderBlockSize; offset < size;
       offset += kChunkSize) {
    const uint32_t slot =
        static_cast<uint32_t>((offset - kFileHeaderBlockSize) / kChunkSize);
    const size_t avail = std::min<size_t>(kChunkSize, size - offset);
    ++stats_.chunk_slots;
    const uint8_t* p = data + offset;
    if (avail < kChunkHeaderSize || std::memcmp(p, kChunkSignature, 8) != 0) {
      if (AllZero(p, avail)) {
        ++stats_.slots_empty;
      } else {
        ++stats_.slots_garbage;
      }
      continue;
    }
    ChunkInfo info;
    info.offset = offset;
    info.size = static_cast<uint32_t>(avail);
    info.slot = slot;
    info.first_record = LoadU64(p + 8);
    const uint8_t* first = p + kChunkHeaderSize;
    if (avail >= kChunkHeaderSize + kRecordHeaderSize && first[0] == 0x2A &&
        first[1] == 0x2A && first[2] == 0 && first[3] == 0) {
      info.first_record = LoadU64(first + 8);
    }
    ++stats_.chunks;
    if (slot >= header_.chunk_count) ++stats_.chunks_beyond_header_count;
    if (avail < kChunkSize) ++stats_.chunks_truncated;
    chunks_.push_back(info);
  }
  return true;
}

std::vector<uint32_t> FileReader::ChunkOrder(RecordOrder order) const {
  std::vector<uint32_t> idx(chunks_.size());
  for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = i;
  if (order == RecordOrder::kOldestFirst) {
    std::stable_sort(idx.begin(), idx.end(), [this](uint32_t a, uint32_t b) {
      return chunks_[a].first_record < chunks_[b].first_record;
    });
  }
  return idx;
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
