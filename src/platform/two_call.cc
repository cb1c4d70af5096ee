// Answer-buffer allocation with a test hook, and the EvtFormatMessage codes
// that still report a size; see two_call.h.
#include "platform/two_call.h"

namespace qrv {

namespace {
AllocationFaultHook g_fault_hook = nullptr;
}  // namespace

void SetAllocationFaultHook(AllocationFaultHook hook) { g_fault_hook = hook; }

bool MessageSizeReported(uint32_t error) {
  return error == kErrorInsufficientBuffer ||
         error == kErrorEvtUnresolvedValueInsert ||
         error == kErrorEvtUnresolvedParameterInsert ||
         error == kErrorEvtMaxInsertsReached;
}

std::unique_ptr<std::byte[]> AllocateAnswerBuffer(size_t bytes) {
  if (g_fault_hook != nullptr && g_fault_hook(bytes)) return nullptr;
  // At least one byte, so that a zero-size answer still gets a real buffer.
  std::unique_ptr<std::byte[]> buffer(new (std::nothrow)
                                          std::byte[bytes == 0 ? 1 : bytes]);
  if (buffer) std::memset(buffer.get(), 0, bytes == 0 ? 1 : bytes);
  return buffer;
}

}  // namespace qrv
