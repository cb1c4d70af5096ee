// Decodes every record of a loaded EVTX chunk three ways (system properties,
// typed tree, XML text) and checks that the fast system-property path and
// the tree agree, shared by the file and the chunk targets.
//
// Entry point: ReadChunkRecords.
#ifndef QRV_FUZZ_EVTX_READS_H_
#define QRV_FUZZ_EVTX_READS_H_

#include <cstdint>

#include "formats/evtx/chunk_decoder.h"

namespace qrv_fuzz {

// Walks the records `decoder` has left (it must have loaded a chunk) and
// returns how many it offered.
uint64_t ReadChunkRecords(evtx::ChunkDecoder& decoder);

// Decodes one record the three ways.
void ReadRecord(evtx::ChunkDecoder& decoder, const evtx::RecordRef& record);

}  // namespace qrv_fuzz

#endif  // QRV_FUZZ_EVTX_READS_H_
