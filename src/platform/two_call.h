// The two-call protocol of the event-log service's variable-size answers
// (EvtRender, EvtFormatMessage, EvtGetEventMetadataProperty): a first call
// with size 0 and no buffer must fail with kErrorInsufficientBuffer and report
// the size needed; a buffer of exactly that size is allocated, zero-filled
// (so nothing unfilled is ever read) and passed to the second call, whose
// status callers do not examine.
//
// EvtFormatMessage answers differ from the documented protocol on real
// machines, so its text goes through ReadMessageText instead:
// - with buffer size 0 it still writes the terminating NUL, through a null
//   pointer too, and some builds write the terminator one character past the
//   size given on the second call; the sizing call therefore gets a real
//   one-character buffer, and the answer buffer one character more than
//   reported, which the service is never told about;
// - a message whose inserts cannot all be filled (a template read by id with
//   no values, an event with fewer data items than its message needs) fails
//   both calls with 15029, 15030 or 15031 but reports the size and fills the
//   text, unresolved %n left as written.
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
  kFirstCallFailed,     // the sizing call failed with `error` (no size)
  kAllocationFailed,    // the buffer of the reported size could not be had
};

struct TwoCallResult {
  TwoCallStatus status = TwoCallStatus::kFirstCallFailed;
  uint32_t error = 0;  // kFirstCallFailed; kFilled: the sizing call's code
  std::unique_ptr<std::byte[]> data;  // for kFilled; aligned for EvtVariant
  uint32_t units = 0;                 // size reported by the sizing call
};

// Allocation used for the answer buffers. Tests can make it fail.
std::unique_ptr<std::byte[]> AllocateAnswerBuffer(size_t bytes);
using AllocationFaultHook = bool (*)(size_t bytes);  // true: fail this one
void SetAllocationFaultHook(AllocationFaultHook hook);

// True for the codes with which EvtFormatMessage reports a size and a partial
// text: 122 and the three unresolved-insert codes.
bool MessageSizeReported(uint32_t error);

namespace internal {

// `probe` (null for the plain protocol) is the buffer of the sizing call;
// `spare_units` are allocated beyond the reported size but not passed on.
template <typename Call>
TwoCallResult ReadTwoCall(size_t unit_bytes, void* probe, uint32_t spare_units,
                          Call call) {
  TwoCallResult result;
  uint32_t needed = 0;
  if (call(0u, probe, &needed)) {
    result.status = TwoCallStatus::kFirstCallSucceeded;
    return result;
  }
  const uint32_t error = GetLastError();
  const bool sized = probe != nullptr ? MessageSizeReported(error)
                                      : error == kErrorInsufficientBuffer;
  if (!sized) {
    result.status = TwoCallStatus::kFirstCallFailed;
    result.error = error;
    return result;
  }
  result.error = error;
  result.units = needed;
  result.data = AllocateAnswerBuffer(
      (static_cast<size_t>(needed) + spare_units) * unit_bytes);
  if (!result.data) {
    result.status = TwoCallStatus::kAllocationFailed;
    return result;
  }
  uint32_t used = 0;
  call(needed, result.data.get(), &used);
  result.status = TwoCallStatus::kFilled;
  return result;
}

}  // namespace internal

// `call(size_in_units, buffer_or_null, &used_units)` makes one call.
// `unit_bytes` is 1 for byte-sized answers, 2 for UTF-16 character counts.
template <typename Call>
TwoCallResult ReadTwoCall(size_t unit_bytes, Call call) {
  return internal::ReadTwoCall(unit_bytes, nullptr, 0, call);
}

// EvtFormatMessage's protocol (see the top of this file): `call` counts
// UTF-16 units. On kFilled, `units` is the size reported (terminator
// included), the zero-filled buffer holds `units` + 1 characters, so the
// text ends at a NUL within it, and `error` is the sizing call's code.
template <typename Call>
TwoCallResult ReadMessageText(Call call) {
  char16_t probe[1] = {};
  return internal::ReadTwoCall(sizeof(char16_t), probe, 1, call);
}

}  // namespace qrv

#endif  // QRV_PLATFORM_TWO_CALL_H_
