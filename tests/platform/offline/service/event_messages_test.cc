// Event messages through the service and the image's message catalogue:
// the inserts come from the record (EventData items in order, UserData
// leaves in document order), classic and manifest providers both format,
// an unregistered provider gives "Event message not found", and a whole
// QueryEvents run, with and without the metadata cache in front, leaves no
// handle open.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/pe/pe_writer.h"
#include "platform/metadata_cache.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/service/offline_event_log.h"
#include "formats/utf16.h"
#include "platform/platform.h"
#include "query/query_events.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/messages/message_fixture.h"
#include "tests/platform/offline/service/service_fixtures.h"
#include "tests/support/fake_platform.h"

namespace qrv::offline {
namespace {

constexpr char kClassicDll[] = "C:\\Windows\\System32\\classic.dll";
constexpr char kDemoDll[] = "C:\\Windows\\System32\\demo.dll";

class EventMessagesTest : public ::testing::Test {
 protected:
  EventMessagesTest() {
    files_.Add(kClassicDll,
               test::MessageDll({{0x40000005, "Classic %1 and %2"}}));
    test::RegisterSource(fake_.registry, "Application", "ClassicApp",
                         {kClassicDll, "", ""});
    const pe::Guid guid = test::MakeGuid(0x20);
    files_.Add(kDemoDll,
               pe::BuildPeImage({test::ManifestResource(test::OneProvider(
                                     guid, {test::Event(1, 0, 0xB0000001),
                                            test::Event(2, 0, 0xB0000002)})),
                                 test::TableResource(
                                     {{0xB0000001, "Started %1 then %2."},
                                      {0xB0000002,
                                       "The system time has changed to %1 "
                                       "from %2."}})}));
    test::RegisterPublisher(fake_.registry, guid.ToString(), "Demo-Provider",
                            {kDemoDll, kDemoDll, ""});
    for (int i = 0; i < 16; ++i)
      demo_guid_.bytes[i] = guid.bytes[static_cast<size_t>(i)];

    evtx::WriterEvent classic = testing::FixtureEvent(
        1, 5, 1, 4, 0x80000000000000ull, "Application", "ClassicApp");
    classic.qualifiers = 0x4000;
    classic.provider_guid.reset();
    classic.event_data = {{"", evtx::WriterValue::String("one")},
                          {"", evtx::WriterValue::String("two")}};
    evtx::WriterEvent demo =
        testing::FixtureEvent(2, 1, 2, 4, 0, "Application", "Demo-Provider");
    demo.provider_guid = demo_guid_;
    evtx::WriterNode root;
    root.name = "DemoData";
    const auto text = [](const char* t) {
      evtx::WriterNode node;
      node.kind = evtx::WriterNode::Kind::kText;
      node.text = t;
      return node;
    };
    evtx::WriterNode item;
    item.name = "Item";
    item.children.push_back(text("alpha"));
    evtx::WriterNode nested;
    nested.name = "Nested";
    evtx::WriterNode deep;
    deep.name = "Deep";
    deep.children.push_back(text("beta"));
    nested.children.push_back(deep);
    root.children = {item, nested};
    evtx::WriterNode user_data;
    user_data.name = "UserData";
    user_data.children = {root};
    demo.user_data = user_data;
    evtx::WriterEvent unknown = testing::FixtureEvent(
        3, 9, 3, 2, 0, "Application", "Nobody-Registered-This");
    // Times as a real Kernel-General event 1 holds them (NewTime, OldTime);
    // Windows rendered its message with nine fraction digits.
    evtx::WriterEvent clock =
        testing::FixtureEvent(4, 2, 4, 4, 0, "Application", "Demo-Provider");
    clock.provider_guid = demo_guid_;
    clock.event_data = {
        {"NewTime", evtx::WriterValue::Number(evtx::ValueType::kFileTime,
                                              134245715259329014ULL)},
        {"OldTime", evtx::WriterValue::Number(evtx::ValueType::kFileTime,
                                              134245715259318452ULL)}};
    testing::WriteLog(dir_.path() / "app.evtx",
                      {classic, demo, unknown, clock});

    catalog_ = std::make_unique<MessageCatalog>(fake_.registry,
                                                files_.Resolver(), files_);
    log_ = std::make_unique<OfflineEventLog>(
        QuerySources{nullptr, dir_.path(), nullptr}, fake_.system, *catalog_);
  }

  std::vector<std::string> Messages(EventLogApi& api) {
    ScopedPlatform scope(
        Platform{&api, &fake_.registry, &fake_.system, &fake_.output});
    auto list = NewRecordList<EventList>();
    uint32_t error = 0;
    EXPECT_TRUE(QueryEvents(*list,
                            "<QueryList><Query Path='file://app.evtx'>"
                            "<Select>*</Select></Query></QueryList>",
                            error, false));
    std::vector<std::string> messages;
    for (size_t i = 0; i < list->GetCount(); ++i)
      messages.push_back(std::string((*list)[i].Provider) + ": " +
                         std::string((*list)[i].Message));
    return messages;
  }

  testing::TempFolder dir_;
  fake::FakePlatform fake_;
  test::MemoryImage files_;
  evtx::GuidBytes demo_guid_;
  std::unique_ptr<MessageCatalog> catalog_;
  std::unique_ptr<OfflineEventLog> log_;
};

TEST_F(EventMessagesTest, MessagesTakeTheirInsertsFromTheRecord) {
  const std::vector<std::string> expected = {
      "ClassicApp: Classic one and two",
      "Demo-Provider: Started alpha then beta.",
      "Nobody-Registered-This: Event message not found",
      "Demo-Provider: The system time has changed to "
      "2026-05-29T23:38:45.932901400Z from 2026-05-29T23:38:45.931845200Z."};
  EXPECT_EQ(Messages(*log_), expected);
  EXPECT_EQ(log_->open_handles(), 0u);
  {
    // As the program runs it: metadata opened once per provider.
    MetadataCache cache(*log_, fake_.system);
    EXPECT_EQ(Messages(cache), expected);
  }
  EXPECT_EQ(log_->open_handles(), 0u);
}

TEST_F(EventMessagesTest, RequestsCarryTheSystemValues) {
  const std::u16string query =
      u"<QueryList><Query Path='file://app.evtx'><Select>*</Select></Query>"
      u"</QueryList>";
  EvtHandle q = log_->EvtQuery(nullptr, nullptr, query.c_str(), 0x101);
  ASSERT_NE(q, nullptr);
  EvtHandle e[3];
  uint32_t n = 0;
  ASSERT_TRUE(log_->EvtNext(q, 3, e, 1000, 0, &n));
  ASSERT_EQ(n, 3u);
  const auto classic = log_->MessageRequest(e[0]);
  ASSERT_TRUE(classic.has_value());
  EXPECT_EQ(classic->provider, "ClassicApp");
  EXPECT_EQ(classic->event_id, 5);
  EXPECT_EQ(classic->qualifiers, uint16_t{0x4000});
  EXPECT_EQ(classic->level, 4);
  EXPECT_EQ(classic->task, 12544);
  EXPECT_EQ(classic->keywords, 0x80000000000000ull);
  EXPECT_EQ(classic->channel, "Application");
  EXPECT_EQ(classic->inserts, (std::vector<std::string>{"one", "two"}));
  const auto demo = log_->MessageRequest(e[1]);
  ASSERT_TRUE(demo.has_value());
  EXPECT_FALSE(demo->qualifiers.has_value());
  EXPECT_EQ(demo->inserts, (std::vector<std::string>{"alpha", "beta"}));
  // The fixture's EventData: TargetUserName, then LogonType.
  const auto unknown = log_->MessageRequest(e[2]);
  ASSERT_TRUE(unknown.has_value());
  EXPECT_EQ(unknown->inserts, (std::vector<std::string>{"user3", "2"}));
  EXPECT_FALSE(log_->MessageRequest(q).has_value());
  for (EvtHandle h : {e[0], e[1], e[2], q}) log_->EvtClose(h);
}

}  // namespace
}  // namespace qrv::offline
