// TextArena: kept texts stay intact while blocks fill and large texts get
// blocks of their own; shared texts are kept once.
#include "query/text_arena.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrv {
namespace {

TEST(TextArenaTest, KeptTextsOutliveTheirSourcesAcrossBlocks) {
  TextArena arena;
  std::vector<std::string_view> kept;
  std::vector<std::string> expected;
  // Sizes around the block and the large-text limits, past several blocks.
  for (size_t i = 0; i < 64; ++i) {
    const size_t size = (i % 4 == 3) ? kTextArenaBlockSize / 4 + i
                                     : kTextArenaBlockSize / 9 + i;
    std::string text(size, static_cast<char>('a' + i % 26));
    text.front() = '<';
    text.back() = '>';
    kept.push_back(arena.Keep(text));
    expected.push_back(std::move(text));
  }
  EXPECT_TRUE(arena.Keep("").empty());
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i], expected[i]) << i;
}

TEST(TextArenaTest, SharedTextsAreKeptOnce) {
  TextArena arena;
  std::string name = "Microsoft-Windows-Security-Auditing";
  const std::string_view first = arena.Share(name);
  name[0] = 'X';  // the arena's copy does not follow its source
  const std::string_view again = arena.Share("Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(first.data(), again.data());
  EXPECT_EQ(again, "Microsoft-Windows-Security-Auditing");
  EXPECT_NE(arena.Share(name).data(), first.data());
  EXPECT_NE(arena.Keep(first).data(), first.data());
  // Many texts, alike in length and edges, shared again in another order:
  // each comes back as its own first copy.
  std::vector<std::string_view> firsts;
  for (int i = 0; i < 300; ++i) firsts.push_back(arena.Share("e" + std::to_string(i) + "e"));
  for (int i = 299; i >= 0; --i) {
    const std::string_view again_i = arena.Share("e" + std::to_string(i) + "e");
    EXPECT_EQ(again_i, "e" + std::to_string(i) + "e");
    EXPECT_EQ(again_i.data(), firsts[i].data()) << i;
  }
}

}  // namespace
}  // namespace qrv
