// The image's summary of a log file: the channel of the first record that
// names one, the other channels records name, and the events per provider of
// each in order of appearance; files that are not event logs have none.
#include "platform/offline/service/evtx_summarizer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/service_fixtures.h"

namespace qrv::offline {
namespace {

TEST(EvtxSummarizerTest, ChannelAndProviderCounts) {
  testing::TempFolder dir;
  evtx::WriterEvent no_channel = testing::FixtureEvent(1, 1, 1, 4, 0, "", "A");
  no_channel.provider_guid.reset();
  testing::WriteLog(
      dir.path() / "x.evtx",
      {no_channel, testing::FixtureEvent(2, 1, 2, 4, 0, "Setup", "B"),
       testing::FixtureEvent(3, 1, 3, 4, 0, "Other", "A"),
       testing::FixtureEvent(4, 1, 4, 4, 0, "Setup", "B")});
  const auto summary = SummarizeEvtxFile(dir.path() / "x.evtx");
  ASSERT_TRUE(summary.has_value());
  EXPECT_EQ(summary->channel, "Setup");
  ASSERT_EQ(summary->providers.size(), 2u);
  // The record naming no channel counts with the file's first channel.
  EXPECT_EQ(summary->providers[0].name, "A");
  EXPECT_EQ(summary->providers[0].events, 1u);
  EXPECT_EQ(summary->providers[0].guid, "");
  EXPECT_EQ(summary->providers[1].name, "B");
  EXPECT_EQ(summary->providers[1].events, 2u);
  EXPECT_EQ(summary->providers[1].guid,
            "{a3a2a1a0-a5a4-a7a6-a8a9-aaabacadaeaf}");
  ASSERT_EQ(summary->other_channels.size(), 1u);
  EXPECT_EQ(summary->other_channels[0].name, "Other");
  ASSERT_EQ(summary->other_channels[0].providers.size(), 1u);
  EXPECT_EQ(summary->other_channels[0].providers[0].events, 1u);
  EXPECT_EQ(summary->other_channels[0].providers[0].guid,
            "{a3a2a1a0-a5a4-a7a6-a8a9-aaabacadaeaf}");
}

TEST(EvtxSummarizerTest, NotAnEventLog) {
  testing::TempFolder dir;
  std::ofstream(dir.path() / "notes.evtx") << "ElfFile? no, just text";
  EXPECT_FALSE(SummarizeEvtxFile(dir.path() / "notes.evtx").has_value());
  EXPECT_FALSE(SummarizeEvtxFile(dir.path() / "missing.evtx").has_value());
  // An empty log is still a log: no channel, no providers.
  testing::WriteLog(dir.path() / "empty.evtx", {});
  const auto empty = SummarizeEvtxFile(dir.path() / "empty.evtx");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->channel, "");
  EXPECT_TRUE(empty->providers.empty());
}

}  // namespace
}  // namespace qrv::offline
