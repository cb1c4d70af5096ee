// Texts kept for as long as their owner lives, packed end to end in large
// blocks instead of one heap allocation each, and texts that repeat
// (channel, provider and computer names, event ids, severities) kept once.
// An event list holds every event of a run until it prints, so what one
// held event costs decides the run's peak memory. Entry point: TextArena.
#ifndef QRV_QUERY_TEXT_ARENA_H_
#define QRV_QUERY_TEXT_ARENA_H_

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qrv {

// Bytes per block. A text of more than a quarter of this gets a block of
// its own, so a half-used block never wastes more than that quarter.
inline constexpr size_t kTextArenaBlockSize = 1 << 20;

class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  // A copy of `text` that lives as long as the arena.
  std::string_view Keep(std::string_view text);
  // The same, shared with every earlier Share of equal text.
  std::string_view Share(std::string_view text);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<std::unique_ptr<char[]>> large_;  // one text each
  char* next_ = nullptr;  // free space in the last block
  size_t left_ = 0;
  std::unordered_set<std::string_view> shared_;
  // Shared texts last found, by a slot taken from their length and edge
  // bytes: the few names and words that repeat from event to event are
  // found there without hashing the whole text.
  static constexpr size_t kRecentSlots = 64;
  std::array<std::string_view, kRecentSlots> recent_{};
};

}  // namespace qrv

#endif  // QRV_QUERY_TEXT_ARENA_H_
