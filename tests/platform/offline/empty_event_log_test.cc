// EmptyEventLog: the answers of a service with no logs, channels or
// publishers.
#include "platform/offline/empty_event_log.h"

#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

class EmptyEventLogTest : public ::testing::Test {
 protected:
  fake::FaultPlan faults_;
  fake::FakeSystem system_{faults_};
  EmptyEventLog log_{system_};
};

TEST_F(EmptyEventLogTest, EveryQueryDocumentNamesAMissingChannel) {
  constexpr uint32_t kFlags = kEvtQueryChannelPath | kEvtQueryForwardDirection;
  EXPECT_EQ(log_.EvtQuery(nullptr, nullptr,
                          u"<QueryList><Query Path='Application'><Select>*"
                          u"</Select></Query></QueryList>",
                          kFlags),
            nullptr);
  EXPECT_EQ(system_.GetLastError(), kErrorEvtChannelNotFound);
  EXPECT_EQ(log_.EvtQuery(nullptr, nullptr, u" \t\r\n<QueryList/>", kFlags),
            nullptr);
  EXPECT_EQ(system_.GetLastError(), kErrorEvtChannelNotFound);
  EXPECT_EQ(log_.EvtQuery(nullptr, u"System", u"*", kFlags), nullptr);
  EXPECT_EQ(system_.GetLastError(), kErrorEvtChannelNotFound);
}

TEST_F(EmptyEventLogTest, TextThatCannotBeADocumentIsAnInvalidQuery) {
  for (const char16_t* text : {u"not a query", u"*", u"", u"   "}) {
    system_.SetLastError(0);
    EXPECT_EQ(log_.EvtQuery(nullptr, nullptr, text, 0x101), nullptr);
    EXPECT_EQ(system_.GetLastError(), kErrorEvtInvalidQuery);
  }
  EXPECT_EQ(log_.EvtQuery(nullptr, nullptr, nullptr, 0x101), nullptr);
  EXPECT_EQ(system_.GetLastError(), kErrorEvtInvalidQuery);
}

TEST_F(EmptyEventLogTest, NoPublisherCanBeOpened) {
  EXPECT_EQ(log_.EvtOpenPublisherMetadata(nullptr, u"Microsoft-Windows-Kernel",
                                          nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(system_.GetLastError(), kErrorFileNotFound);
}

TEST_F(EmptyEventLogTest, RenderContextOpensAndClosesButRendersNothing) {
  EvtHandle context =
      log_.EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem);
  ASSERT_NE(context, nullptr);
  uint32_t used = 0;
  uint32_t count = 0;
  EXPECT_FALSE(log_.EvtRender(context, nullptr, kEvtRenderEventValues, 0,
                              nullptr, &used, &count));
  EXPECT_EQ(system_.GetLastError(), kErrorInvalidHandle);
  EXPECT_TRUE(log_.EvtClose(context));
}

}  // namespace
}  // namespace qrv
