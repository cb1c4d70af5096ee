// Chunks read ahead: the same bytes as a positioned read of their own, at
// most kMaxChunksReadAhead in flight, and a reader that stops with reads
// still posted.
#include "platform/offline/service/read_ahead.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/service_fixtures.h"

namespace qrv::offline {
namespace {

TEST(ReadAheadTest, ReadsWhatAPositionedReadGivesWithABoundInFlight) {
  testing::TempFolder dir;
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 3000; ++i)
    events.push_back(testing::FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  const std::filesystem::path file = dir.path() / "r.evtx";
  testing::WriteLog(file, events);
  uint32_t error = 0;
  const std::shared_ptr<const EvtxSource> source = EvtxSource::Open(file, &error);
  ASSERT_NE(source, nullptr) << error;
  const std::vector<evtx::ChunkInfo>& chunks = source->file().chunks();
  ASSERT_GT(chunks.size(), kMaxChunksReadAhead + 1);
  const std::shared_ptr<ChunkPool> pool = ChunkPool::Make();

  ReadAhead ahead;
  std::vector<std::shared_ptr<ChunkRead>> reads;
  for (size_t i = 0; i < kMaxChunksReadAhead; ++i) {
    reads.push_back(ahead.Post(source, chunks[i], *pool));
    ASSERT_NE(reads.back(), nullptr) << i;
  }
  EXPECT_EQ(ahead.Post(source, chunks[kMaxChunksReadAhead], *pool), nullptr);

  ChunkSnapshot direct;
  for (size_t i = 0; i < reads.size(); ++i) {
    ahead.Finish(*reads[i]);
    direct.size = source->file().ReadChunk(chunks[i], direct.bytes);
    ASSERT_EQ(reads[i]->snapshot->size, direct.size) << i;
    EXPECT_EQ(std::memcmp(reads[i]->snapshot->bytes, direct.bytes, direct.size), 0)
        << i;
  }
  // Finished reads give their places back; the last one is left posted as
  // the reader is stopped.
  for (size_t i = 0; i < kMaxChunksReadAhead; ++i)
    EXPECT_NE(ahead.Post(source, chunks[i + 1], *pool), nullptr) << i;
}

}  // namespace
}  // namespace qrv::offline
