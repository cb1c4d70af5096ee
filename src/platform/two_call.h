// The two-call protocol of the event-log service's variable-size answers
// (EvtRender, EvtFormatMessage, EvtGetEventMetadataProperty): a first call
// with size 0 and no buffer must fail with kErrorInsufficientBuffer and report
// the size needed; a buffer of exactly that size is allocated, zero-filled
// (so nothing unfilled is ever read) and passed to the second call, whose
// status callers do not examine.
#ifndef QRV_PLATFORM_TWO_CALL_H_
#define QRV_PLATFORM_TWO_CALL_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"

namespace qrv {

enum class TwoCallStatus {
  kFilled,              // second call made; buffer holds the answer
  kFirstCallSucceeded,  // the sizing call unexpectedly succeeded
  kFirstCallFailed,     // the sizing call failed with `error` (not 122)
  kAllocationFailed,    // the buffer of the reported size could not be had
};

struct TwoCallResult {
  TwoCallStatus status = TwoCallStatus::kFirstCallFailed;
  uint32_t error = 0;                 // for kFirstCallFailed
  std::unique_ptr<std::byte[]> data;  // for kFilled; aligned for EvtVariant
  uint32_t units = 0;                 // size reported by the sizing call
};

// Allocation used for the answer buffers. Tests can make it fail.
std::unique_ptr<std::byte[]> AllocateAnswerBuffer(size_t bytes);
using AllocationFaultHook = bool (*)(size_t bytes);  // true: fail this one
void SetAllocationFaultHook(AllocationFaultHook hook);

// `call(size_in_units, buffer_or_null, &used_units)` makes one call.
// `unit_bytes` is 1 for byte-sized answers, 2 for UTF-16 character counts.
template <typename Call>
TwoCallResult ReadTwoCall(size_t unit_bytes, Call call) {
  TwoCallResult result;
  uint32_t needed = 0;
  if (call(0u, nullptr, &needed)) {
    result.status = TwoCallStatus::kFirstCallSucceeded;
    return result;
  }
  const uint32_t error = GetLastError();
  if (error != kErrorInsufficientBuffer) {
    result.status = TwoCallStatus::kFirstCallFailed;
    result.error = error;
    return result;
  }
  result.units = needed;
  result.data = AllocateAnswerBuffer(static_cast<size_t>(needed) * unit_bytes);
  if (!result.data) {
    result.status = TwoCallStatus::kAllocationFailed;
    return result;
  }
  uint32_t used = 0;
  call(needed, result.data.get(), &used);
  result.status = TwoCallStatus::kFilled;
  return result;
}

}  // namespace qrv

#endif  // QRV_PLATFORM_TWO_CALL_H_
