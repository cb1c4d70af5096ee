#include <gtest/gtest.h>

#include <string>

#include "app/handlers.h"
#include "tests/catalogue/event_log_registry.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using test::AddChannel;
using test::AddOwnedChannel;
using test::AddServiceLog;

std::string Whole(const std::string& channel) {
  return "<QueryList><Query Path='" + channel +
         "'><Select>*</Select></Query></QueryList>";
}

class CatalogueCommandsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(fake_.registry.open_keys(), 0);
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
  }
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
  // Words after the command word are ignored.
  const ArgumentList args_ = {"tool.exe", "GETLIST", "extra", "words"};
};

TEST_F(CatalogueCommandsTest, GetListChannelsPrintsOneNamePerLine) {
  AddServiceLog(fake_.registry, "Application");
  AddServiceLog(fake_.registry, "Parameters");
  AddChannel(fake_.registry, "Setup");
  EXPECT_TRUE(RunGetListChannels(args_));
  EXPECT_EQ(fake_.Output(), "Application\nSetup\n");
}

TEST_F(CatalogueCommandsTest, BothListCommandsShareTheirFailureBlock) {
  AddServiceLog(fake_.registry, "Application", {"Src"});  // no channels
  // A Vista and later registry: WINEVT is there, its Channels key is not.
  fake_.registry.AddKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT");
  EXPECT_TRUE(RunGetListChannels(args_));
  EXPECT_EQ(fake_.Output(), "\nFailed to Get List.\n");  // "Application" not shown
  fake_.output.str("");
  EXPECT_TRUE(RunGetList(args_));
  EXPECT_EQ(fake_.Output(), "\nFailed to Get List.\n");
}

TEST_F(CatalogueCommandsTest, GetListPrintsTheCatalogueOrNothingAtAll) {
  AddServiceLog(fake_.registry, "Application", {"Src"});
  AddOwnedChannel(fake_.registry, "C", "{g}", "Pub");
  EXPECT_TRUE(RunGetList(args_));  // neither publisher can be opened
  EXPECT_EQ(fake_.Output(), "");
  fake::FakePublisher& p = fake_.event_log.AddPublisher(u"Pub");
  p.events = {{17, 100}};
  p.messages = {{100, u"Started \"%1\".\r\n"}};
  EXPECT_TRUE(RunGetList(args_));
  EXPECT_EQ(fake_.Output(), "C\tPub\t17\tStarted %1.\n");
}

TEST_F(CatalogueCommandsTest, GetEventsPrintsEveryEventOfEveryChannel) {
  fake_.event_log.AddPublisher(u"Test-Provider");
  AddServiceLog(fake_.registry, "Application");
  AddChannel(fake_.registry, "Setup");
  fake::FakeEvent event;
  event.event_id = 1000;
  event.channel = u"Setup";
  event.time_created = 133045397371333044ull;  // 2022-08-09T17:28:57.1333044Z
  event.message = u"\"Quoted\"\r\nsecond line";
  fake_.event_log.SetQueryResult(Whole("Setup"), {event});
  EXPECT_TRUE(RunGetEvents(args_));
  EXPECT_EQ(fake_.Output(),
            "Setup\tTest-Provider\t2022-08-09T17:28:57.133304400Z\t1000\t"
            "Information\tQuoted  second line\n");
}

TEST_F(CatalogueCommandsTest, FailedGetEventsShowsNoneOfTheEventsGathered) {
  fake_.event_log.AddPublisher(u"Test-Provider");
  AddServiceLog(fake_.registry, "Application");
  AddServiceLog(fake_.registry, "Broken");
  fake_.event_log.SetDefaultResult({fake::FakeEvent{}});
  fake_.event_log.SetQueryError(Whole("Broken"), kErrorEvtChannelNotFound);
  EXPECT_TRUE(RunGetEvents(args_));
  EXPECT_EQ(fake_.Output(), "\nFailed to Get Events\n");
  fake_.output.str("");
  fake_.event_log.SetDefaultResult({});
  fake_.event_log.SetQueryResult(Whole("Broken"), {});
  EXPECT_TRUE(RunGetEvents(args_));  // every log empty
  EXPECT_EQ(fake_.Output(), "\nFailed to Get Events\n");
}

}  // namespace
}  // namespace qrv
