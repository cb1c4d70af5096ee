// Fuzz target for the EVTX file reader: opens the bytes as a log file and
// walks every record in file order (system properties, typed tree, XML), then
// checks that oldest-first order offers the same records.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>

#include "formats/evtx/file_reader.h"
#include "fuzz/evtx_reads.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  evtx::FileReader file;
  if (!file.Open(data, size)) return 0;
  uint64_t in_file_order = 0;
  evtx::RecordCursor cursor(file, evtx::RecordOrder::kFileOrder);
  while (cursor.Next()) {
    qrv_fuzz::ReadRecord(cursor.decoder(), cursor.record());
    ++in_file_order;
  }
  // Chunks decode independently, so the order they are read in cannot
  // change which records come out.
  uint64_t oldest_first = 0;
  evtx::RecordCursor oldest(file, evtx::RecordOrder::kOldestFirst);
  while (oldest.Next()) ++oldest_first;
  QRV_FUZZ_CHECK(oldest_first == in_file_order);
  return 0;
}
