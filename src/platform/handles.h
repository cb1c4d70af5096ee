// Move-only owners for the handles the logic opens: each closes its handle
// exactly once, on every path, through the installed platform (a registry
// key through the registry that opened it). One owner type per handle kind:
// EvtHandleOwner, RegKeyOwner, LocalTextOwner.
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
struct LocalMemoryCloser {
  void operator()(char* p) const { LocalFree(p); }
};

using EvtHandleOwner = UniqueHandle<EvtHandle, EvtHandleCloser>;
// A buffer that FormatMessageA allocated (released with LocalFree).
using LocalTextOwner = UniqueHandle<char*, LocalMemoryCloser>;

// An open registry key. Keys opened through a RegistryApi object other than
// the installed platform's (the image's registry read while another platform
// is installed) name it, and are closed through it; the others are closed
// through the platform installed when they are closed.
class RegKeyOwner {
 public:
  RegKeyOwner() = default;
  explicit RegKeyOwner(HKey key) : key_(key) {}
  RegKeyOwner(RegistryApi& registry, HKey key) : registry_(&registry), key_(key) {}
  ~RegKeyOwner() { Reset(); }
  RegKeyOwner(RegKeyOwner&& other) noexcept
      : registry_(other.registry_), key_(std::exchange(other.key_, nullptr)) {}
  RegKeyOwner& operator=(RegKeyOwner&& other) noexcept {
    if (this != &other) {
      Reset();
      registry_ = other.registry_;
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  RegKeyOwner(const RegKeyOwner&) = delete;
  RegKeyOwner& operator=(const RegKeyOwner&) = delete;

  HKey Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  HKey Release() { return std::exchange(key_, nullptr); }
  void Reset(HKey key = nullptr) {
    HKey old = std::exchange(key_, key);
    if (old == nullptr) return;
    if (registry_ != nullptr) {
      registry_->RegCloseKey(old);
    } else {
      RegCloseKey(old);
    }
  }
  // For calls that return the key through an out-parameter.
  HKey* Receive() {
    Reset();
    return &key_;
  }

 private:
  RegistryApi* registry_ = nullptr;
  HKey key_ = nullptr;
};

}  // namespace qrv

#endif  // QRV_PLATFORM_HANDLES_H_
