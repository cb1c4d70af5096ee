// Move-only owners for the handles the logic opens: each closes its handle
// exactly once, on every path, through the installed platform.
#ifndef QRV_PLATFORM_HANDLES_H_
#define QRV_PLATFORM_HANDLES_H_

#include <utility>

#include "platform/platform.h"

namespace qrv {

template <typename T, typename Closer>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T Get() const { return handle_; }
  explicit operator bool() const { return handle_ != T{}; }
  T Release() { return std::exchange(handle_, T{}); }
  void Reset(T handle = T{}) {
    T old = std::exchange(handle_, handle);
    if (old != T{}) Closer{}(old);
  }
  // For calls that return the handle through an out-parameter.
  T* Receive() {
    Reset();
    return &handle_;
  }

 private:
  T handle_{};
};

struct EvtHandleCloser {
  void operator()(EvtHandle h) const { EvtClose(h); }
};
struct RegKeyCloser {
  void operator()(HKey k) const { RegCloseKey(k); }
};
struct LocalMemoryCloser {
  void operator()(char* p) const { LocalFree(p); }
};

using EvtHandleOwner = UniqueHandle<EvtHandle, EvtHandleCloser>;
using RegKeyOwner = UniqueHandle<HKey, RegKeyCloser>;
// A buffer that FormatMessageA allocated (released with LocalFree).
using LocalTextOwner = UniqueHandle<char*, LocalMemoryCloser>;

}  // namespace qrv

#endif  // QRV_PLATFORM_HANDLES_H_
