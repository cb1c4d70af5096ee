// Packed and shared texts; see text_arena.h.
#include "query/text_arena.h"

#include <cstring>

namespace qrv {

std::string_view TextArena::Keep(std::string_view text) {
  if (text.empty()) return std::string_view();
  const size_t size = text.size();
  char* at = nullptr;
  // Blocks are left uninitialised: only bytes written here are ever read,
  // and the pages of a block are touched as texts fill it, not all at once.
  if (size > kTextArenaBlockSize / 4) {
    large_.push_back(std::make_unique_for_overwrite<char[]>(size));
    at = large_.back().get();
  } else {
    if (size > left_) {
      blocks_.push_back(
          std::make_unique_for_overwrite<char[]>(kTextArenaBlockSize));
      next_ = blocks_.back().get();
      left_ = kTextArenaBlockSize;
    }
    at = next_;
    next_ += size;
    left_ -= size;
  }
  std::memcpy(at, text.data(), size);
  return std::string_view(at, size);
}

std::string_view TextArena::Share(std::string_view text) {
  if (text.empty()) return std::string_view();
  const size_t slot = (text.size() * 31 +
                       static_cast<unsigned char>(text.front()) * 7 +
                       static_cast<unsigned char>(text.back())) %
                      kRecentSlots;
  std::string_view& recent = recent_[slot];
  if (recent == text) return recent;
  auto it = shared_.find(text);
  if (it != shared_.end()) {
    recent = *it;
    return recent;
  }
  recent = Keep(text);
  shared_.insert(recent);
  return recent;
}

}  // namespace qrv
