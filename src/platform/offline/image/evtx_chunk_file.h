// An .evtx file read chunk by chunk with positioned reads: at open the file
// header and the head of every 64 KiB slot are read to index the chunks;
// each chunk is then read whole into a caller's 64 KiB buffer when wanted.
// Nothing holds the file's bytes, so memory does not grow with its size,
// and a file that shrinks, grows or is replaced while it is read gives
// shorter or fewer chunks (which the decoder treats as cut off), never a
// fault. Offsets are 64-bit: logs past 4 GiB read like any other.
// Entry points: EvtxChunkFile::Open, EvtxRecordCursor.
#ifndef QRV_PLATFORM_OFFLINE_IMAGE_EVTX_CHUNK_FILE_H_
#define QRV_PLATFORM_OFFLINE_IMAGE_EVTX_CHUNK_FILE_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/file_reader.h"
#include "formats/evtx/reader_stats.h"
#include "platform/offline/image/positioned_file.h"

namespace qrv::offline {

enum class EvtxOpenStatus {
  kOk,
  kMissing,     // no such file, or a folder
  kUnreadable,  // exists but cannot be opened or read
  kNotEvtx,     // does not start with an EVTX file header
};

class EvtxChunkFile {
 public:
  EvtxOpenStatus Open(const std::filesystem::path& path);

  const evtx::FileHeader& header() const { return header_; }
  const std::vector<evtx::ChunkInfo>& chunks() const { return chunks_; }
  // The header flags and the chunk counts of the index. Slots without a
  // chunk are not read past their head, so empty and garbage slots are not
  // told apart (slots_empty and slots_garbage stay 0).
  const evtx::ReaderStats& stats() const { return stats_; }

  // Reads chunk `chunk` into `buffer` (evtx::kChunkSize bytes); returns the
  // bytes now in the file there, fewer than chunk.size when it has shrunk.
  uint32_t ReadChunk(const evtx::ChunkInfo& chunk, uint8_t* buffer) const;

 private:
  PositionedFile file_;
  evtx::FileHeader header_;
  std::vector<evtx::ChunkInfo> chunks_;
  evtx::ReaderStats stats_;
};

// Walks every record of a file with one reusable decoder and one chunk
// buffer. Chunk and record counts go to the cursor's stats, which start as a
// copy of the file's.
class EvtxRecordCursor {
 public:
  EvtxRecordCursor(const EvtxChunkFile& file, evtx::RecordOrder order);

  // Moves to the next record; false at the end.
  bool Next();
  const evtx::RecordRef& record() const { return record_; }
  evtx::ChunkDecoder& decoder() { return decoder_; }
  const evtx::ReaderStats& stats() const { return stats_; }

 private:
  const EvtxChunkFile& file_;
  std::vector<uint32_t> order_;
  size_t next_chunk_ = 0;
  bool loaded_ = false;
  std::unique_ptr<uint8_t[]> buffer_;
  evtx::ChunkDecoder decoder_;
  evtx::RecordRef record_;
  evtx::ReaderStats stats_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_IMAGE_EVTX_CHUNK_FILE_H_
