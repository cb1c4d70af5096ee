// Chunk loading, the record walk with torn-record recovery, template
// definitions (compiled once per chunk) and template instance values.
// System properties live in system_read.cc, XML and trees in template_walk.cc.
#include "formats/evtx/chunk_decoder.h"

#include <cstring>

#include "formats/evtx/bytes.h"
#include "formats/evtx/crc32.h"

namespace evtx {
namespace {

constexpr uint8_t kChunkSignature[8] = {'E', 'l', 'f', 'C', 'h', 'n', 'k', 0};
constexpr uint8_t kRecordSignature[4] = {0x2A, 0x2A, 0x00, 0x00};
constexpr uint32_t kChunkFlagNoChecksum = 0x4;
// A template definition is at least its 24-byte head, so a chunk cannot hold
// more than 65536 / 24 of them; real chunks hold fewer than a hundred. The cap
// bounds the compile work a crafted chunk can ask for.
constexpr size_t kMaxTemplatesPerChunk = 2048;
// Template instance head: token, unknown u8, template id u32, offset u32.
constexpr uint32_t kInstanceHeadSize = 10;
constexpr uint32_t kTemplateHeadSize = 24;  // next u32, GUID, data size u32
constexpr uint8_t kFragmentHeaderToken = 0x0F;
constexpr uint32_t kFragmentHeaderSize = 4;  // token, major, minor, flags
constexpr uint8_t kTemplateInstanceToken = 0x0C;

// Moves `*pos` past the fragment headers a BinXml fragment opens with.
bool SkipFragmentHeaders(const uint8_t* chunk, uint32_t end, uint32_t* pos) {
  while (*pos < end && chunk[*pos] == kFragmentHeaderToken) {
    if (end - *pos < kFragmentHeaderSize) return false;
    *pos += kFragmentHeaderSize;
  }
  return true;
}

}  // namespace

bool RecordTemplateOffset(const uint8_t* chunk, uint32_t chunk_size,
                          const RecordRef& record, uint32_t* definition) {
  if (record.offset > chunk_size || record.size > chunk_size - record.offset)
    return false;
  uint32_t pos = record.offset + kRecordHeaderSize;
  const uint32_t end = record.offset + record.size;
  if (!SkipFragmentHeaders(chunk, end, &pos)) return false;
  if (pos >= end || end - pos < kInstanceHeadSize ||
      chunk[pos] != kTemplateInstanceToken)
    return false;
  *definition = LoadU32(chunk + pos + 6);
  return true;
}

bool ChunkDecoder::Load(const uint8_t* chunk, uint32_t size,
                        ReaderStats* stats) {
  chunk_ = chunk;
  size_ = size < kChunkSize ? size : kChunkSize;
  stats_ = stats;
  names_.Reset(chunk_, size_);
  ops_.clear();
  conds_.clear();
  templates_.clear();
  planned_items_.clear();
  template_by_offset_.Reset();
  next_ = data_end_ = size_;
  header_checksum_ok_ = data_checksum_ok_ = false;
  if (size_ < kChunkHeaderSize ||
      std::memcmp(chunk_, kChunkSignature, sizeof(kChunkSignature)) != 0) {
    return false;
  }
  const uint32_t stored_header_crc = LoadU32(chunk_ + 124);
  const uint32_t crc =
      Crc32(chunk_ + 128, kChunkHeaderSize - 128, Crc32(chunk_, 120));
  header_checksum_ok_ = crc == stored_header_crc;
  const uint32_t free_offset = LoadU32(chunk_ + 48);
  if (free_offset >= kChunkHeaderSize && free_offset <= size_) {
    data_end_ = free_offset;
    if (verify_data_checksum_) {
      data_checksum_ok_ =
          Crc32(chunk_ + kChunkHeaderSize, free_offset - kChunkHeaderSize) ==
          LoadU32(chunk_ + 52);
    }
  }
  const bool keeps_checksums =
      (LoadU32(chunk_ + 120) & kChunkFlagNoChecksum) == 0;
  if (stats_ != nullptr && keeps_checksums) {
    if (!header_checksum_ok_) ++stats_->chunks_bad_header_checksum;
    if (verify_data_checksum_ && !data_checksum_ok_) {
      ++stats_->chunks_bad_data_checksum;
    }
  }
  next_ = kChunkHeaderSize;
  return true;
}

bool ChunkDecoder::NextRecord(RecordRef* record) {
  // 0: no record here; 1: signature and size fit but the size copy differs
  // (a torn write: the head and body are often still good); 2: sound.
  auto check_at = [this](uint32_t pos, uint32_t* size) {
    const uint8_t* p = chunk_ + pos;
    if (std::memcmp(p, kRecordSignature, 4) != 0) return 0;
    const uint32_t n = LoadU32(p + 4);
    if (n < kMinRecordSize || n > data_end_ - pos) return 0;
    *size = n;
    return LoadU32(p + n - 4) == n ? 2 : 1;
  };
  while (next_ < data_end_ && data_end_ - next_ >= kMinRecordSize) {
    uint32_t size = 0;
    const int here = check_at(next_, &size);
    if (here == 0) {
      // Overwritten bytes: look for the next sound record. Zero bytes up to
      // the end of the data are slack, not damage.
      const bool zero_start = LoadU32(chunk_ + next_) == 0;
      uint32_t pos = next_ + 1;
      while (data_end_ - pos >= kMinRecordSize && check_at(pos, &size) != 2)
        ++pos;
      if (data_end_ - pos < kMinRecordSize) {
        if (!zero_start && stats_ != nullptr) ++stats_->records_torn;
        next_ = data_end_;
        return false;
      }
      if (stats_ != nullptr) ++stats_->records_torn;
      next_ = pos;
    } else if (here == 1 && stats_ != nullptr) {
      ++stats_->records_bad_size_copy;
    }
    const uint8_t* p = chunk_ + next_;
    record->offset = next_;
    record->size = size;
    record->record_id = LoadU64(p + 8);
    record->written_time = LoadU64(p + 16);
    record->size_copy_ok = here != 1;
    next_ += size;
    if (stats_ != nullptr) ++stats_->records;
    return true;
  }
  return false;
}

DecodeStatus ChunkDecoder::GetTemplate(uint32_t def_offset, uint32_t* index) {
  if (template_by_offset_.Find(def_offset, index)) {
    return templates_[*index].status;
  }
  if (templates_.size() >= kMaxTemplatesPerChunk)
    return DecodeStatus::kBadTemplate;
  Template t;
  t.op_begin = static_cast<uint32_t>(ops_.size());
  if (def_offset < kChunkHeaderSize || def_offset > size_ ||
      size_ - def_offset < kTemplateHeadSize) {
    t.status = DecodeStatus::kOutOfBounds;
  } else {
    const uint32_t data_size = LoadU32(chunk_ + def_offset + 20);
    const uint32_t begin = def_offset + kTemplateHeadSize;
    if (data_size > size_ - begin) {
      t.status = DecodeStatus::kOutOfBounds;
    } else {
      uint32_t stop = 0;
      t.status = CompileBinXml(chunk_, begin, begin + data_size, true, &names_,
                               &ops_, &conds_, &stop);
    }
  }
  t.op_end = static_cast<uint32_t>(ops_.size());
  if (t.status == DecodeStatus::kOk)
    BuildSystemMap(ops_, t.op_begin, t.op_end, &t.map);
  *index = static_cast<uint32_t>(templates_.size());
  templates_.push_back(t);
  template_by_offset_.Insert(def_offset, *index);
  return t.status;
}

DecodeStatus ChunkDecoder::OpenRecord(const RecordRef& record, Fragment* f) {
  values_.clear();
  scratch_ops_.clear();
  scratch_conds_.clear();
  return OpenFragment(record.offset + kRecordHeaderSize,
                      record.offset + record.size - 4, f);
}

DecodeStatus ChunkDecoder::OpenFragment(uint32_t pos, uint32_t end,
                                        Fragment* f) {
  if (!SkipFragmentHeaders(chunk_, end, &pos)) return DecodeStatus::kOutOfBounds;
  if (pos >= end) return DecodeStatus::kNoEvent;
  if (chunk_[pos] != kTemplateInstanceToken) {
    f->is_instance = false;
    f->op_begin = static_cast<uint32_t>(scratch_ops_.size());
    uint32_t stop = 0;
    const DecodeStatus st =
        CompileBinXml(chunk_, pos, end, false, &names_, &scratch_ops_,
                      &scratch_conds_, &stop);
    f->op_end = static_cast<uint32_t>(scratch_ops_.size());
    if (st == DecodeStatus::kOk && f->op_begin == f->op_end) {
      return DecodeStatus::kNoEvent;
    }
    return st;
  }
  if (end - pos < kInstanceHeadSize) return DecodeStatus::kOutOfBounds;
  const uint32_t def_offset = LoadU32(chunk_ + pos + 6);
  pos += kInstanceHeadSize;
  f->is_instance = true;
  DecodeStatus st = GetTemplate(def_offset, &f->template_index);
  if (st != DecodeStatus::kOk) return st;
  if (def_offset == pos) {  // definition stored inline: skip it
    if (end - pos < kTemplateHeadSize) return DecodeStatus::kOutOfBounds;
    const uint32_t data_size = LoadU32(chunk_ + pos + 20);
    if (data_size > end - pos - kTemplateHeadSize)
      return DecodeStatus::kOutOfBounds;
    pos += kTemplateHeadSize + data_size;
  }
  if (end - pos < 4) return DecodeStatus::kOutOfBounds;
  const uint32_t count = LoadU32(chunk_ + pos);
  pos += 4;
  if (count > (end - pos) / 4) return DecodeStatus::kOutOfBounds;
  uint32_t data = pos + 4 * count;
  f->values_begin = static_cast<uint32_t>(values_.size());
  f->values_count = count;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* d = chunk_ + pos + 4 * i;
    const uint32_t size = LoadU16(d);
    if (size > end - data) {
      values_.resize(f->values_begin);
      return DecodeStatus::kOutOfBounds;
    }
    values_.push_back({data, size, d[2]});
    data += size;
  }
  return DecodeStatus::kOk;
}

}  // namespace evtx
