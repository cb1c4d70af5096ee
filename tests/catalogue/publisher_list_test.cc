#include "catalogue/publisher_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "query/record_list.h"
#include "tests/catalogue/event_log_registry.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using test::AddChannel;
using test::AddOwnedChannel;
using test::AddServiceLog;

class PublisherListTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(fake_.registry.open_keys(), 0);
    EXPECT_TRUE(fake_.registry.violations().empty());
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
  }
  void AddPublisher(const std::u16string& name, uint32_t event_id,
                    const std::u16string& message) {
    fake::FakePublisher& p = fake_.event_log.AddPublisher(name);
    p.events.push_back({event_id, event_id + 1000});
    p.messages[event_id + 1000] = message;
  }
  // Runs GetPublisherList; on success prints the list. Returns the result.
  bool Run() {
    const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
    const bool ok = GetPublisherList(*list);
    if (ok) PrintPublisherList(*list);
    return ok;
  }
  bool ChannelKeyWasOpened() const {
    const auto& paths = fake_.registry.opened_paths();
    return std::find(paths.begin(), paths.end(), kRegisteredChannelKey) !=
           paths.end();
  }
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(PublisherListTest, SourcesOfEachLogThenOwningPublishersOfEachChannel) {
  AddServiceLog(fake_.registry, "Application", {"Src A", "Shared"});
  AddServiceLog(fake_.registry, "Parameters", {"Ignored"});
  AddServiceLog(fake_.registry, "System", {"Unknown Source"});
  AddOwnedChannel(fake_.registry, "Shared/Operational", "{guid-1}", "Shared");
  AddOwnedChannel(fake_.registry, "Shared/Admin", "{guid-1}", "Shared");
  AddPublisher(u"Src A", 1, u"Alpha \"quoted\"\r\nline");
  AddPublisher(u"Shared", 65535, u"Beta\t");
  AddPublisher(u"Ignored", 3, u"never listed");
  ASSERT_TRUE(Run());
  EXPECT_EQ(fake_.Output(),
            "Application\tSrc A\t1\tAlpha quoted  line\n"
            "Application\tShared\t65535\tBeta\n"
            "Shared/Operational\tShared\t65535\tBeta\n"
            "Shared/Admin\tShared\t65535\tBeta\n");
  EXPECT_EQ(fake_.event_log.opened_publishers(),
            (std::vector<std::string>{"Src A", "Shared", "Unknown Source",
                                      "Shared", "Shared"}));
}

// A registry from before Vista (no WINEVT key at all): its sources alone.
TEST_F(PublisherListTest, WithoutAnyWinevtKeyTheSourcesAreTheCatalogue) {
  AddServiceLog(fake_.registry, "System", {"Service Control Manager"});
  AddPublisher(u"Service Control Manager", 7000, u"failed");
  ASSERT_TRUE(Run());
  EXPECT_EQ(fake_.Output(), "System\tService Control Manager\t7000\tfailed\n");
  EXPECT_FALSE(ChannelKeyWasOpened());
}

TEST_F(PublisherListTest, OwningPublisherValuesAreTrimmedAtEachStep) {
  AddServiceLog(fake_.registry, "Application");
  fake_.registry.SetString(test::ChannelPath("Padded"), "OwningPublisher",
                           " \t{guid-2}\r\n");
  fake_.registry.SetString(test::PublisherPath("{guid-2}"), "", "  Padded Pub ");
  AddPublisher(u"Padded Pub", 9, u"nine");
  ASSERT_TRUE(Run());
  EXPECT_EQ(fake_.Output(), "Padded\tPadded Pub\t9\tnine\n");
}

TEST_F(PublisherListTest, ChannelsWhoseOwnerCannotBeResolvedAreSkippedUncounted) {
  AddServiceLog(fake_.registry, "Application");
  AddChannel(fake_.registry, "NoValue");
  fake_.registry.SetString(test::ChannelPath("Blank"), "OwningPublisher", " \t ");
  fake_.registry.SetString(test::ChannelPath("Dangling"), "OwningPublisher",
                           "{missing}");
  fake_.registry.SetString(test::ChannelPath("EmptyDefault"), "OwningPublisher",
                           "{empty}");
  fake_.registry.SetString(test::PublisherPath("{empty}"), "", "   ");
  fake_.registry.SetString(test::ChannelPath("NoDefault"), "OwningPublisher",
                           "{bare}");
  fake_.registry.AddKey(test::PublisherPath("{bare}"));
  EXPECT_FALSE(Run());
  EXPECT_EQ(fake_.Output(), "");
  EXPECT_TRUE(fake_.event_log.opened_publishers().empty());
}

TEST_F(PublisherListTest, ResolvedChannelCountsEvenWhenItsPublisherIsUnknown) {
  // Success with nothing to print: every name resolves, none opens.
  AddServiceLog(fake_.registry, "Application", {"Gone"});
  AddOwnedChannel(fake_.registry, "C", "{g}", "Also Gone");
  EXPECT_TRUE(Run());
  EXPECT_EQ(fake_.Output(), "");
}

TEST_F(PublisherListTest, NoServiceLogFailsWithoutVisitingTheChannels) {
  AddOwnedChannel(fake_.registry, "C", "{g}", "P");
  AddPublisher(u"P", 1, u"one");
  EXPECT_FALSE(Run());  // service-log key missing
  AddServiceLog(fake_.registry, "state", {"Src"});
  AddServiceLog(fake_.registry, "PARAMETERS");
  EXPECT_FALSE(Run());  // only settings keys
  EXPECT_FALSE(ChannelKeyWasOpened());
  EXPECT_TRUE(fake_.event_log.opened_publishers().empty());
}

TEST_F(PublisherListTest, ALogCountsWhenItsSourcesCannotBeRead) {
  AddServiceLog(fake_.registry, "Application", {"Src"});
  AddOwnedChannel(fake_.registry, "C", "{g}", "P");
  AddPublisher(u"Src", 1, u"one");
  AddPublisher(u"P", 2, u"two");
  // Second RegOpenKeyA: the log's own key, read for its sources.
  fake_.faults.Fail(fake::Call::kRegOpenKeyA, 2, kErrorAccessDenied);
  ASSERT_TRUE(Run());
  EXPECT_EQ(fake_.Output(), "C\tP\t2\ttwo\n");
}

TEST_F(PublisherListTest, ChannelAndPublisherNamesCannotFakeFieldsOrLines) {
  const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
  list->AddTail(std::make_unique<CZK_EL_PUB>("Log\r\nX", "Src\tY", "7", "m"));
  PrintPublisherList(*list);
  EXPECT_EQ(fake_.Output(), "Log  X\tSrc Y\t7\tm\n");
}

TEST_F(PublisherListTest, EmptyListPrintsNothing) {
  const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
  PrintPublisherList(*list);
  EXPECT_EQ(fake_.Output(), "");
}

// The whole catalogue with each registry and event-log call failing at each
// position in turn: no key or handle is left open or closed twice.
TEST(PublisherListFaultTest, EveryKeyAndHandleIsClosedWhateverCallFails) {
  using fake::Call;
  for (Call call :
       {Call::kRegOpenKeyA, Call::kRegEnumKeyA, Call::kRegQueryValueExA,
        Call::kRegCloseKey, Call::kEvtOpenPublisherMetadata,
        Call::kEvtOpenEventMetadataEnum, Call::kEvtNextEventMetadata,
        Call::kEvtGetEventMetadataProperty, Call::kEvtFormatMessage,
        Call::kEvtClose}) {
    for (int nth = 1;; ++nth) {
      fake::FakePlatform fake;
      fake::FakeScope scope(fake);
      AddServiceLog(fake.registry, "Application", {"A", "B"});
      AddServiceLog(fake.registry, "State");
      AddOwnedChannel(fake.registry, "C1", "{a}", "A");
      AddOwnedChannel(fake.registry, "C2", "{b}", "B");
      for (const char16_t* name : {u"A", u"B"}) {
        fake::FakePublisher& p = fake.event_log.AddPublisher(name);
        p.events = {{1, 100}, {2, 0}, {3, 101}};  // id 2 has no message
        p.messages = {{100, u"one"}, {101, u"three"}};
      }
      fake.faults.Fail(call, nth, kErrorAccessDenied);
      const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
      const bool ok = GetPublisherList(*list);
      SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(call)
                                      << " fails at " << nth);
      EXPECT_EQ(fake.registry.open_keys(), 0);
      EXPECT_TRUE(fake.registry.violations().empty());
      EXPECT_EQ(fake.event_log.open_handles(), 0);
      EXPECT_TRUE(fake.event_log.violations().empty());
      if (fake.faults.Count(call) < nth) {
        EXPECT_TRUE(ok);
        EXPECT_EQ(list->GetCount(), 8u);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace qrv
