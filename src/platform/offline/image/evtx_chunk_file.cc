// Indexing and reading an .evtx file chunk by chunk; see evtx_chunk_file.h.
#include "platform/offline/image/evtx_chunk_file.h"

#include <cerrno>

namespace qrv::offline {

EvtxOpenStatus EvtxChunkFile::Open(const std::filesystem::path& path) {
  chunks_.clear();
  stats_ = evtx::ReaderStats();
  int error_number = 0;
  if (!file_.Open(path, &error_number)) {
    return (error_number == ENOENT || error_number == ENOTDIR ||
            error_number == EISDIR)
               ? EvtxOpenStatus::kMissing
               : EvtxOpenStatus::kUnreadable;
  }
  uint8_t head[evtx::kFileHeaderBlockSize];
  const size_t got = file_.ReadAt(0, head, sizeof head);
  if (!evtx::ReadFileHeader(head, got, &header_, &stats_))
    return EvtxOpenStatus::kNotEvtx;
  // The size taken at open bounds the index; a file that grows later is
  // read as it was, one that shrinks gives short reads below.
  const uint64_t size = file_.size();
  uint8_t slot_head[evtx::kSlotHeadSize];
  for (uint64_t offset = evtx::kFileHeaderBlockSize; offset < size;
       offset += evtx::kChunkSize) {
    const uint64_t left = size - offset;
    const auto expected = static_cast<uint32_t>(
        left < evtx::kChunkSize ? left : evtx::kChunkSize);
    ++stats_.chunk_slots;
    const size_t read =
        file_.ReadAt(offset, slot_head,
                     expected < sizeof slot_head ? expected : sizeof slot_head);
    // A slot whose head cannot be read now is past a shrunken end.
    const uint32_t avail = read < sizeof slot_head && read < expected
                               ? static_cast<uint32_t>(read)
                               : expected;
    evtx::ChunkInfo info;
    if (!evtx::ReadChunkSlotHead(slot_head, offset, avail, &info)) continue;
    info.slot = static_cast<uint32_t>((offset - evtx::kFileHeaderBlockSize) /
                                      evtx::kChunkSize);
    ++stats_.chunks;
    if (info.slot >= header_.chunk_count) ++stats_.chunks_beyond_header_count;
    if (avail < evtx::kChunkSize) ++stats_.chunks_truncated;
    chunks_.push_back(info);
  }
  return EvtxOpenStatus::kOk;
}

uint32_t EvtxChunkFile::ReadChunk(const evtx::ChunkInfo& chunk,
                                  uint8_t* buffer) const {
  return static_cast<uint32_t>(file_.ReadAt(chunk.offset, buffer, chunk.size));
}

EvtxRecordCursor::EvtxRecordCursor(const EvtxChunkFile& file,
                                   evtx::RecordOrder order)
    : file_(file),
      order_(evtx::ChunkOrder(file.chunks(), order)),
      buffer_(new uint8_t[evtx::kChunkSize]),
      stats_(file.stats()) {}

bool EvtxRecordCursor::Next() {
  for (;;) {
    if (loaded_ && decoder_.NextRecord(&record_)) return true;
    loaded_ = false;
    if (next_chunk_ >= order_.size()) return false;
    const evtx::ChunkInfo& c = file_.chunks()[order_[next_chunk_++]];
    const uint32_t got = file_.ReadChunk(c, buffer_.get());
    loaded_ = decoder_.Load(buffer_.get(), got, &stats_);
  }
}

}  // namespace qrv::offline
