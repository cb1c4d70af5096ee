// Reads an EVTX file held in memory: the file header, the index of chunk
// slots, and a cursor over records in file order or oldest first; the header
// and slot-head readers serve callers that read a file chunk by chunk.
// Entry points: FileReader::Open, RecordCursor, ReadFileHeader,
// ReadChunkSlotHead.
//
// File layout: a 4096-byte header block ("ElfFile\0", oldest and current
// chunk numbers, next record id, version, chunk count at 42, flags at 120,
// CRC of bytes 0..119 at 124), then 64 KiB chunk slots to the end of file.
// The header's chunk count is not trusted (dirty files undercount): every
// slot with a chunk signature is read, and a slot cut short by the end of the
// file is read as far as it goes.
#ifndef QRV_FORMATS_EVTX_FILE_READER_H_
#define QRV_FORMATS_EVTX_FILE_READER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/reader_stats.h"

namespace evtx {

constexpr uint32_t kFileHeaderBlockSize = 4096;

struct FileHeader {
  uint64_t oldest_chunk = 0;
  uint64_t current_chunk = 0;
  uint64_t next_record_id = 0;
  uint16_t minor_version = 0;
  uint16_t major_version = 0;
  uint16_t chunk_count = 0;
  uint32_t flags = 0;  // 0x1 dirty, 0x2 full, 0x4 no checksums
};

struct ChunkInfo {
  uint64_t offset = 0;  // in the file (logs may pass 4 GiB)
  uint32_t size = 0;  // 65536, less for a chunk cut off by the end of file
  uint32_t slot = 0;
  // Record number of the chunk's first record (from its record header when
  // sound, else from the chunk header): the key for oldest-first order.
  uint64_t first_record = 0;
};

// Bytes of a slot that say whether it holds a chunk and where its records
// start: the chunk header and the first record header.
constexpr uint32_t kSlotHeadSize = kChunkHeaderSize + kRecordHeaderSize;

// The file header from a file's first bytes; false when they do not start
// with an EVTX file header. Sets the header's two flags in *stats.
bool ReadFileHeader(const uint8_t* data, size_t size, FileHeader* header,
                    ReaderStats* stats);

// The slot at `offset` whose file holds `avail` bytes from there on (65536,
// less for the last slot of a cut-off file), from its first
// min(avail, kSlotHeadSize) bytes at `head`. False when they hold no chunk
// signature; otherwise *info is filled (slot number aside).
bool ReadChunkSlotHead(const uint8_t* head, uint64_t offset, uint32_t avail,
                       ChunkInfo* info);

enum class RecordOrder {
  kFileOrder,
  // Chunks by their lowest record number, so a log that has wrapped around
  // reads from its oldest chunk on; records within a chunk are in order.
  kOldestFirst,
};

// Indexes into `chunks` in the order asked for.
std::vector<uint32_t> ChunkOrder(const std::vector<ChunkInfo>& chunks,
                                 RecordOrder order);

class FileReader {
 public:
  // False when the bytes do not start with an EVTX file header.
  bool Open(const uint8_t* data, size_t size);

  const FileHeader& header() const { return header_; }
  const std::vector<ChunkInfo>& chunks() const { return chunks_; }
  const uint8_t* ChunkData(const ChunkInfo& c) const {
    return data_ + c.offset;
  }
  // Indexes into chunks() in the order asked for.
  std::vector<uint32_t> ChunkOrder(RecordOrder order) const;
  const ReaderStats& stats() const { return stats_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  FileHeader header_;
  std::vector<ChunkInfo> chunks_;
  ReaderStats stats_;
};

// Walks every record of a file with one reusable decoder. Chunk and record
// counts go to the cursor's stats, which start as a copy of the file's.
class RecordCursor {
 public:
  RecordCursor(const FileReader& file, RecordOrder order);

  // Moves to the next record; false at the end.
  bool Next();
  const RecordRef& record() const { return record_; }
  ChunkDecoder& decoder() { return decoder_; }
  const ReaderStats& stats() const { return stats_; }

 private:
  const FileReader& file_;
  std::vector<uint32_t> order_;
  size_t next_chunk_ = 0;
  bool loaded_ = false;
  ChunkDecoder decoder_;
  RecordRef record_;
  ReaderStats stats_;
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_FILE_READER_H_
