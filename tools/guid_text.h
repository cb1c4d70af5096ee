// GUIDs of the sample image written as registry text ("{6a1f3c52-8d4e-...}")
// turned into the on-disk byte order (Data1..Data3 little-endian, Data4 as
// written) that event records and manifests store. Entry point:
// ParseGuidText.
#ifndef QRV_TOOLS_GUID_TEXT_H_
#define QRV_TOOLS_GUID_TEXT_H_

#include <string_view>

#include "formats/evtx/system_properties.h"

namespace qrv::sample {

// `text` must be a braced GUID; the content's own constants are, and a
// malformed one yields all zero bytes, which the tests catch.
evtx::GuidBytes ParseGuidText(std::string_view text);

}  // namespace qrv::sample

#endif  // QRV_TOOLS_GUID_TEXT_H_
