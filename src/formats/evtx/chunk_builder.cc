// Chunk assembly for the writer; see chunk_builder.h.
#include "formats/evtx/chunk_builder.h"

#include <cstring>

#include "formats/evtx/bytes.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/crc32.h"
#include "formats/evtx/value_format.h"

namespace evtx {
namespace {

constexpr uint32_t kStringTableOffset = 128;  // 64 buckets of u32
constexpr uint32_t kStringBuckets = 64;
constexpr uint32_t kTemplateTableOffset = 384;  // 32 buckets of u32
constexpr uint32_t kTemplateBuckets = 32;

// Low 16 bits of the name hash Windows stores: h = h * 65599 + unit.
uint16_t NameHash(const std::string& le) {
  uint32_t h = 0;
  for (size_t i = 0; i + 1 < le.size(); i += 2) {
    h = h * 65599u + LoadU16(reinterpret_cast<const uint8_t*>(le.data()) + i);
  }
  return static_cast<uint16_t>(h);
}

}  // namespace

ChunkBuilder::ChunkBuilder() : buf_(kChunkSize) { Reset(); }

void ChunkBuilder::Reset() {
  std::memset(buf_.data(), 0, buf_.size());
  pos_ = kChunkHeaderSize;
  overflow_ = false;
  names_.clear();
  name_log_.clear();
  templates_.clear();
  template_log_.clear();
  template_ids_.clear();
  record_count_ = 0;
}

void ChunkBuilder::PutBytes(const uint8_t* p, size_t n) {
  uint8_t* at = Reserve(n);
  if (at != nullptr && n != 0) std::memcpy(at, p, n);
}
void ChunkBuilder::Patch16(uint32_t at, uint16_t v) {
  if (!overflow_ && at + 2 <= pos_) StoreU16(buf_.data() + at, v);
}
void ChunkBuilder::Patch32(uint32_t at, uint32_t v) {
  if (!overflow_ && at + 4 <= pos_) StoreU32(buf_.data() + at, v);
}

void ChunkBuilder::PutName(std::string_view utf8) {
  const std::string key(utf8);
  auto it = names_.find(key);
  if (it != names_.end()) {
    Put32(it->second);
    return;
  }
  std::string le;
  AppendUtf8AsUtf16Le(utf8, &le);
  const uint32_t offset = pos_ + 4;
  Put32(offset);
  Put32(0);  // next name in the bucket, linked in Finalize
  Put16(NameHash(le));
  Put16(static_cast<uint16_t>(le.size() / 2));
  PutBytes(reinterpret_cast<const uint8_t*>(le.data()), le.size());
  Put16(0);
  if (overflow_) return;
  names_.emplace(key, offset);
  name_log_.emplace_back(key, offset);
}

uint32_t ChunkBuilder::FindTemplate(const std::string& key) const {
  auto it = templates_.find(key);
  return it == templates_.end() ? 0 : it->second;
}

void ChunkBuilder::AddTemplate(const std::string& key, uint32_t offset,
                               uint32_t id) {
  templates_.emplace(key, offset);
  template_log_.emplace_back(key, offset);
  template_ids_.push_back(id);
}

void ChunkBuilder::Restore(const Mark& mark) {
  std::memset(buf_.data() + mark.pos, 0, kChunkSize - mark.pos);
  pos_ = mark.pos;
  overflow_ = false;
  while (name_log_.size() > mark.names) {
    names_.erase(name_log_.back().first);
    name_log_.pop_back();
  }
  while (template_log_.size() > mark.templates) {
    templates_.erase(template_log_.back().first);
    template_log_.pop_back();
    template_ids_.pop_back();
  }
}

void ChunkBuilder::NoteRecord(uint64_t record_id, uint32_t offset) {
  if (record_count_++ == 0) first_record_ = record_id;
  last_record_ = record_id;
  last_record_offset_ = offset;
}

void ChunkBuilder::Finalize(bool data_checksum) {
  uint8_t* b = buf_.data();
  std::memcpy(b, "ElfChnk", 8);
  StoreU64(b + 8, first_record_);
  StoreU64(b + 16, last_record_);
  StoreU64(b + 24, first_record_);
  StoreU64(b + 32, last_record_);
  StoreU32(b + 40, 128);
  StoreU32(b + 44, last_record_offset_);
  StoreU32(b + 48, pos_);
  // Bucket chains: each new entry points at the previous head.
  for (const auto& [name, offset] : name_log_) {
    const uint32_t bucket = LoadU16(b + offset + 4) % kStringBuckets;
    StoreU32(b + offset, LoadU32(b + kStringTableOffset + 4 * bucket));
    StoreU32(b + kStringTableOffset + 4 * bucket, offset);
  }
  for (size_t i = 0; i < template_log_.size(); ++i) {
    const uint32_t offset = template_log_[i].second;
    const uint32_t bucket = template_ids_[i] % kTemplateBuckets;
    StoreU32(b + offset, LoadU32(b + kTemplateTableOffset + 4 * bucket));
    StoreU32(b + kTemplateTableOffset + 4 * bucket, offset);
  }
  if (data_checksum)
    StoreU32(b + 52, Crc32(b + kChunkHeaderSize, pos_ - kChunkHeaderSize));
  StoreU32(b + 120, 1);
  StoreU32(b + 124, Crc32(b + 128, kChunkHeaderSize - 128, Crc32(b, 120)));
}

}  // namespace evtx
