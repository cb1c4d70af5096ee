// The offset map must survive growth past its first size and forget
// everything at a reset, since a stale hit would hand a record another
// chunk's name or template.
#include "formats/evtx/chunk_offset_map.h"

#include <gtest/gtest.h>

namespace evtx {
namespace {

TEST(ChunkOffsetMapTest, GrowsAndForgetsOnReset) {
  ChunkOffsetMap map;
  uint32_t id = 0;
  EXPECT_FALSE(map.Find(512, &id));
  map.Reset();
  for (uint32_t i = 0; i < 5000; ++i) map.Insert(512 + 13 * i, i);
  for (uint32_t i = 0; i < 5000; ++i) {
    ASSERT_TRUE(map.Find(512 + 13 * i, &id)) << i;
    EXPECT_EQ(id, i);
  }
  EXPECT_FALSE(map.Find(513, &id));
  map.Reset();
  EXPECT_FALSE(map.Find(512, &id));
  map.Insert(512, 7);
  ASSERT_TRUE(map.Find(512, &id));
  EXPECT_EQ(id, 7u);
  EXPECT_FALSE(map.Find(525, &id));
}

}  // namespace
}  // namespace evtx
