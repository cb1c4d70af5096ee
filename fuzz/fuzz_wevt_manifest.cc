// Fuzz target for a raw WEVT_TEMPLATE resource (a CRIM block: providers,
// events, channels, levels, opcodes, tasks, keywords, templates).
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>

#include "formats/pe/byte_view.h"
#include "formats/pe/wevt_manifest.h"
#include "fuzz/wevt_manifest_reads.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const pe::Bytes blob(data, size);
  pe::WevtManifest manifest;
  if (pe::ParseWevtManifest(blob, &manifest) == pe::PeError::kOk) {
    qrv_fuzz::ReadWevtManifest(blob, manifest);
  }
  return 0;
}
