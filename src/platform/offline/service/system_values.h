// EvtRender(EvtRenderEventValues) with a system context: the 18 system
// properties as an EVT_VARIANT array indexed by EVT_SYSTEM_PROPERTY_ID, with
// everything the variants point to stored in the same buffer after them:
// the GUIDs (16 bytes each), the SID, then the three strings as
// NUL-terminated UTF-16. Absent properties are EvtVarTypeNull.
// Entry points: SystemValuesSize, RenderSystemValues.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_SYSTEM_VALUES_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_SYSTEM_VALUES_H_

#include <cstddef>
#include <cstdint>

#include "platform/offline/service/captured_event.h"

namespace qrv::offline {

// Bytes the whole answer takes.
size_t SystemValuesSize(const CapturedEvent& event);
// Writes the answer into `buffer`, which holds SystemValuesSize() bytes and
// is aligned for EvtVariant.
void RenderSystemValues(const CapturedEvent& event, void* buffer);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_SYSTEM_VALUES_H_
