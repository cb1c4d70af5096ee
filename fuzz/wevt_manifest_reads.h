// Reads a parsed WEVT_TEMPLATE manifest and checks that what it hands out
// points into the blob it came from, shared by the PE resource target and the
// raw CRIM target.
//
// Entry point: ReadWevtManifest.
#ifndef QRV_FUZZ_WEVT_MANIFEST_READS_H_
#define QRV_FUZZ_WEVT_MANIFEST_READS_H_

#include "formats/pe/byte_view.h"
#include "formats/pe/wevt_manifest.h"

namespace qrv_fuzz {

void ReadWevtManifest(pe::Bytes blob, const pe::WevtManifest& manifest);

}  // namespace qrv_fuzz

#endif  // QRV_FUZZ_WEVT_MANIFEST_READS_H_
