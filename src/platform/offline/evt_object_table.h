// The objects behind the offline backend's event-log handles (queries,
// events, render contexts, publisher metadata, metadata enumerations). Each
// handle is an id in one table, so a handle that is unknown, of the wrong
// kind or already closed is refused with ERROR_INVALID_HANDLE instead of
// being dereferenced.
#ifndef QRV_PLATFORM_OFFLINE_EVT_OBJECT_TABLE_H_
#define QRV_PLATFORM_OFFLINE_EVT_OBJECT_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>

#include "platform/win32_types.h"

namespace qrv::offline {

class EvtObjectBase {
 public:
  virtual ~EvtObjectBase() = default;
};

class EvtObjectTable {
 public:
  EvtHandle Add(std::unique_ptr<EvtObjectBase> object) {
    const uintptr_t id = next_id_++;
    objects_.emplace(id, std::move(object));
    return reinterpret_cast<EvtHandle>(id);
  }

  // The object behind `handle` if it is open and of type T, else null.
  template <typename T>
  T* Get(EvtHandle handle) const {
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects_.end()) return nullptr;
    EvtObjectBase* object = it->second.get();
    // A final class is matched by its exact type: the event calls look an
    // object up several times per event, and a cast walks the hierarchy.
    if constexpr (std::is_final_v<T>) {
      return typeid(*object) == typeid(T) ? static_cast<T*>(object) : nullptr;
    } else {
      return dynamic_cast<T*>(object);
    }
  }

  // Destroys the object; false when the handle is not open.
  bool Close(EvtHandle handle) {
    return objects_.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
  }

  size_t open_count() const { return objects_.size(); }

 private:
  // Ids start well above 0 so that a handle is never null.
  uintptr_t next_id_ = 0x10000;
  std::unordered_map<uintptr_t, std::unique_ptr<EvtObjectBase>> objects_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_EVT_OBJECT_TABLE_H_
