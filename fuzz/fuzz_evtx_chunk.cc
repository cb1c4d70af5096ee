// Fuzz target for the EVTX chunk decoder alone: the input is one chunk (up
// to 64 KiB), so the fuzzer spends no effort on the file header and slots.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/reader_stats.h"
#include "fuzz/evtx_reads.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > evtx::kChunkSize) return 0;
  evtx::ReaderStats stats;
  evtx::ChunkDecoder decoder;
  if (!decoder.Load(data, static_cast<uint32_t>(size), &stats)) return 0;
  qrv_fuzz::ReadChunkRecords(decoder);
  return 0;
}
