// Reads a parsed WEVT_TEMPLATE manifest; see the header.
#include "fuzz/wevt_manifest_reads.h"

#include <cstdint>
#include <functional>

#include "fuzz/fuzz_check.h"

namespace qrv_fuzz {

void ReadWevtManifest(pe::Bytes blob, const pe::WevtManifest& manifest) {
  const auto inside = [blob](pe::Bytes part) {
    if (part.empty()) return true;
    // Compared as addresses: the view must not reach past the blob.
    const std::less_equal<const uint8_t*> le;
    return le(blob.data(), part.data()) && le(part.data() + part.size(), blob.data() + blob.size());
  };
  for (const pe::WevtProvider& provider : manifest.providers) {
    provider.guid.ToString();
    for (const pe::WevtTask& task : provider.tasks) task.guid.ToString();
    for (const pe::WevtTemplate& templ : provider.templates) {
      QRV_FUZZ_CHECK(templ.offset < blob.size());
      QRV_FUZZ_CHECK(inside(templ.binxml));
      templ.guid.ToString();
    }
  }
}

}  // namespace qrv_fuzz
