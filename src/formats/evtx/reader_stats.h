// Counters of what a read passed over, for tests and diagnostics (the tool
// never prints them). File-level counts come from FileReader::Open, chunk and
// record counts from ChunkDecoder as chunks are loaded and walked.
// Entry point: ReaderStats.
#ifndef QRV_FORMATS_EVTX_READER_STATS_H_
#define QRV_FORMATS_EVTX_READER_STATS_H_

#include <cstdint>

namespace evtx {

struct ReaderStats {
  bool header_bad_checksum =
      false;                  // file header CRC mismatch (flag 0x4 aside)
  bool header_dirty = false;  // flags & 0x1: not closed cleanly
  uint32_t chunk_slots = 0;   // 64 KiB slots after the header block
  uint32_t chunks = 0;        // slots holding a chunk signature
  uint32_t chunks_beyond_header_count = 0;  // chunks past the header's count
  uint32_t slots_empty = 0;                 // all-zero pre-allocated slots
  uint32_t slots_garbage = 0;     // non-zero slots without a signature
  uint32_t chunks_truncated = 0;  // last chunk cut off by the end of file
  uint32_t chunks_bad_header_checksum = 0;
  uint32_t chunks_bad_data_checksum = 0;
  uint64_t records = 0;       // records with a sound record header
  uint64_t records_torn = 0;  // stretches without a record head skipped
  uint64_t records_bad_size_copy = 0;  // offered, but the size copy differs
  uint64_t records_unparsable = 0;     // sound header, undecodable BinXml
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_READER_STATS_H_
