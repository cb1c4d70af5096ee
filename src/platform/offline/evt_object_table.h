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
#include <vector>

#include "platform/win32_types.h"

namespace qrv::offline {

class EvtObjectBase {
 public:
  virtual ~EvtObjectBase() = default;
};

// Objects sit in slots reused after their handle is closed; a handle is its
// slot's index and the slot's generation, which closing bumps, so a closed
// handle stays refused after its slot holds another object. Finding an
// object is an index and a compare: the event calls look several up per
// event.
class EvtObjectTable {
 public:
  EvtHandle Add(std::unique_ptr<EvtObjectBase> object) {
    uint32_t index = 0;
    if (free_.empty()) {
      index = static_cast<uint32_t>(slots_.size());
      slots_.emplace_back();
    } else {
      index = free_.back();
      free_.pop_back();
    }
    Slot& slot = slots_[index];
    slot.object = std::move(object);
    ++open_;
    return reinterpret_cast<EvtHandle>(
        (static_cast<uintptr_t>(slot.generation) << 32) | (index + kFirstIndex));
  }
  // The object behind `handle` if it is open and of type T, else null.
  template <typename T>
  T* Get(EvtHandle handle) const {
    const Slot* slot = Find(handle);
    if (slot == nullptr) return nullptr;
    EvtObjectBase* object = slot->object.get();
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
    Slot* slot = const_cast<Slot*>(Find(handle));
    if (slot == nullptr) return false;
    std::unique_ptr<EvtObjectBase> object = std::move(slot->object);
    ++slot->generation;
    free_.push_back(static_cast<uint32_t>(slot - slots_.data()));
    --open_;
    // Destroyed once the table is consistent again: a destructor may close
    // or open other handles.
    object.reset();
    return true;
  }
  size_t open_count() const { return open_; }

 private:
  static_assert(sizeof(uintptr_t) == 8, "a handle holds a 32-bit generation and index");
  // Indexes are offset so that a handle is never null nor a small number.
  static constexpr uint32_t kFirstIndex = 0x10000;

  struct Slot {
    std::unique_ptr<EvtObjectBase> object;  // null while free
    uint32_t generation = 0;
  };

  const Slot* Find(EvtHandle handle) const {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    const auto low = static_cast<uint32_t>(value);
    if (low < kFirstIndex || low - kFirstIndex >= slots_.size()) return nullptr;
    const Slot& slot = slots_[low - kFirstIndex];
    if (slot.object == nullptr || slot.generation != static_cast<uint32_t>(value >> 32))
      return nullptr;
    return &slot;
  }

  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;  // indexes of free slots
  size_t open_ = 0;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_EVT_OBJECT_TABLE_H_
