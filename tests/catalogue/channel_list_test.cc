#include "catalogue/channel_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/catalogue/event_log_registry.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

constexpr char kWinevtKeyForTest[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT";

class ChannelListTest : public ::testing::Test {
 protected:
  bool ChannelKeyWasOpened() const {
    const auto& paths = fake_.registry.opened_paths();
    return std::find(paths.begin(), paths.end(), kRegisteredChannelKey) !=
           paths.end();
  }
  void ExpectAllKeysClosed() {
    EXPECT_EQ(fake_.registry.open_keys(), 0);
    EXPECT_TRUE(fake_.registry.violations().empty());
  }
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(ChannelListTest, ServiceLogsFirstThenChannelsWithDuplicatesKept) {
  test::AddServiceLog(fake_.registry, "Application");
  test::AddServiceLog(fake_.registry, "PARAMETERS");
  test::AddServiceLog(fake_.registry, "System");
  test::AddServiceLog(fake_.registry, "state");
  test::AddServiceLog(fake_.registry, "StateRepository");
  test::AddServiceLog(fake_.registry, "Parameters2");
  test::AddChannel(fake_.registry, "Microsoft-Windows-Kernel-Power/Thermal");
  test::AddChannel(fake_.registry, "System");
  test::AddChannel(fake_.registry, "State");  // skipped only among the logs
  ChannelList channels;
  ASSERT_TRUE(GetChannelList(channels));
  EXPECT_EQ(channels,
            (ChannelList{"Application", "System", "StateRepository",
                         "Parameters2", "Microsoft-Windows-Kernel-Power/Thermal",
                         "System", "State"}));
  PrintChannelList(channels);
  EXPECT_EQ(fake_.Output(),
            "Application\nSystem\nStateRepository\nParameters2\n"
            "Microsoft-Windows-Kernel-Power/Thermal\nSystem\nState\n");
  ExpectAllKeysClosed();
}

TEST_F(ChannelListTest, NoServiceLogMeansFailureWithoutReadingTheChannels) {
  test::AddChannel(fake_.registry, "Setup");
  {
    ChannelList channels;
    EXPECT_FALSE(GetChannelList(channels));  // service-log key missing
    EXPECT_TRUE(channels.empty());
    EXPECT_FALSE(ChannelKeyWasOpened());
  }
  test::AddServiceLog(fake_.registry, "Parameters");
  test::AddServiceLog(fake_.registry, "State");
  {
    ChannelList channels;
    EXPECT_FALSE(GetChannelList(channels));  // only the settings keys
    EXPECT_TRUE(channels.empty());
    EXPECT_FALSE(ChannelKeyWasOpened());
  }
  ExpectAllKeysClosed();
}

TEST_F(ChannelListTest, NoRegisteredChannelFailsButKeepsTheLogsAppended) {
  test::AddServiceLog(fake_.registry, "Application");
  fake_.registry.AddKey(kWinevtKeyForTest);
  ChannelList channels;
  EXPECT_FALSE(GetChannelList(channels));  // channel key missing
  EXPECT_EQ(channels, ChannelList{"Application"});
  fake_.registry.AddKey(kRegisteredChannelKey);
  channels.clear();
  EXPECT_FALSE(GetChannelList(channels));  // channel key without subkeys
  EXPECT_EQ(channels, ChannelList{"Application"});
  ExpectAllKeysClosed();
}

// A registry from before Vista has no WINEVT key at all: the service logs
// are its whole list, and the publisher catalogue its sources alone.
TEST_F(ChannelListTest, WithoutAnyWinevtKeyTheServiceLogsAreTheList) {
  test::AddServiceLog(fake_.registry, "Application");
  test::AddServiceLog(fake_.registry, "System");
  ChannelList channels;
  EXPECT_TRUE(GetChannelList(channels));
  EXPECT_EQ(channels, (ChannelList{"Application", "System"}));
  EXPECT_FALSE(ChannelKeyWasOpened());
  ExpectAllKeysClosed();
}

TEST_F(ChannelListTest, ANameCannotFakeAnotherLine) {
  PrintChannelList(ChannelList{"Evil\nFake-Channel", "Tab\there"});
  EXPECT_EQ(fake_.Output(), "Evil Fake-Channel\nTab here\n");
}

TEST_F(ChannelListTest, EmptyListPrintsNothing) {
  PrintChannelList(ChannelList{});
  EXPECT_EQ(fake_.Output(), "");
}

}  // namespace
}  // namespace qrv
