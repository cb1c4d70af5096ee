// The publisher-metadata calls over the catalogue: handle life cycle, the
// event-metadata walk and its properties, EvtFormatMessage with the two-call
// sizing, and the tool's own catalogue and message code run against them.
#include "platform/offline/messages/publisher_metadata.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/publisher_events.h"
#include "message_fixture.h"
#include "platform/two_call.h"
#include "query/event_text.h"

namespace qrv::offline {
namespace {

using test::Event;
using test::MakeGuid;

constexpr char kDll[] = "C:\\Windows\\System32\\demo.dll";
constexpr char kClassicDll[] = "C:\\Windows\\System32\\classic.dll";

// An event as the query service would keep it.
struct TestEvent : EvtObjectBase {
  EventMessageRequest request;
};

// An event-log service made of the metadata calls alone, so the tool's own
// code can be run against them; any other call is a test failure.
class MetadataOnlyEventLog : public EventLogApi {
 public:
  MetadataOnlyEventLog(PublisherMetadataCalls& calls, EvtObjectTable& objects)
      : calls_(calls), objects_(objects) {}

  EvtHandle EvtQuery(EvtHandle, const char16_t*, const char16_t*,
                     uint32_t) override {
    return Unexpected("EvtQuery");
  }
  bool EvtNext(EvtHandle, uint32_t, EvtHandle*, uint32_t, uint32_t,
               uint32_t*) override {
    Unexpected("EvtNext");
    return false;
  }
  bool EvtSeek(EvtHandle, int64_t, EvtHandle, uint32_t, uint32_t) override {
    Unexpected("EvtSeek");
    return false;
  }
  bool EvtCancel(EvtHandle) override {
    Unexpected("EvtCancel");
    return false;
  }
  bool EvtClose(EvtHandle object) override { return objects_.Close(object); }
  EvtHandle EvtCreateRenderContext(uint32_t, const char16_t**,
                                   uint32_t) override {
    return Unexpected("EvtCreateRenderContext");
  }
  bool EvtRender(EvtHandle, EvtHandle, uint32_t, uint32_t, void*, uint32_t*,
                 uint32_t*) override {
    Unexpected("EvtRender");
    return false;
  }
  EvtHandle EvtOpenPublisherMetadata(EvtHandle session, const char16_t* name,
                                     const char16_t* path, uint32_t locale,
                                     uint32_t flags) override {
    return calls_.EvtOpenPublisherMetadata(session, name, path, locale, flags);
  }
  bool EvtFormatMessage(EvtHandle metadata, EvtHandle event, uint32_t id,
                        uint32_t count, const EvtVariant* values,
                        uint32_t flags, uint32_t size, char16_t* buffer,
                        uint32_t* used) override {
    return calls_.EvtFormatMessage(metadata, event, id, count, values, flags,
                                   size, buffer, used);
  }
  EvtHandle EvtOpenEventMetadataEnum(EvtHandle metadata,
                                     uint32_t flags) override {
    return calls_.EvtOpenEventMetadataEnum(metadata, flags);
  }
  EvtHandle EvtNextEventMetadata(EvtHandle enumerator,
                                 uint32_t flags) override {
    return calls_.EvtNextEventMetadata(enumerator, flags);
  }
  bool EvtGetEventMetadataProperty(EvtHandle event_metadata, uint32_t id,
                                   uint32_t flags, uint32_t size,
                                   EvtVariant* buffer,
                                   uint32_t* used) override {
    return calls_.EvtGetEventMetadataProperty(event_metadata, id, flags, size,
                                              buffer, used);
  }

 private:
  std::nullptr_t Unexpected(const char* call) {
    ADD_FAILURE() << call << " is not a metadata call";
    return nullptr;
  }

  PublisherMetadataCalls& calls_;
  EvtObjectTable& objects_;
};

class PublisherMetadataTest : public ::testing::Test {
 protected:
  PublisherMetadataTest() {
    const pe::Guid guid = MakeGuid(0x10);
    pe::WevtEvent keyed = Event(2, 1, 0xB0000002);
    keyed.channel = 16;
    keyed.level = 3;
    keyed.opcode = 11;
    keyed.task = 300;
    keyed.keywords = 0x8000000000000010ull;
    image_.Add(kDll,
               pe::BuildPeImage(
                   {test::ManifestResource(test::OneProvider(
                        guid, {Event(1, 0, 0xB0000001), keyed,
                               Event(3, 0, pe::kNoMessageId),
                               Event(4, 0, 0xB00000FF)})),
                    test::TableResource(
                        {{0xB0000001, "Started \"%1\".\r\n"},
                         {0xB0000002, "\xC3\x84nderung %1"}})}));
    test::RegisterPublisher(fake_.registry, guid.ToString(), "Demo-Provider",
                            {kDll, kDll, ""});
    image_.Add(kClassicDll, test::MessageDll({{0x40000005, "Classic %1"}}));
    test::RegisterSource(fake_.registry, "Application", "ClassicApp",
                         {kClassicDll, "", ""});
  }

  PublisherMetadataCalls& Calls() {
    if (!calls_) {
      catalog_ = std::make_unique<MessageCatalog>(fake_.registry,
                                                  image_.Resolver(), image_);
      calls_ = std::make_unique<PublisherMetadataCalls>(
          *catalog_, objects_, fake_.system,
          [this](EvtHandle event) -> std::optional<EventMessageRequest> {
            const TestEvent* found = objects_.Get<TestEvent>(event);
            if (found == nullptr) return std::nullopt;
            return found->request;
          });
    }
    return *calls_;
  }
  EvtHandle OpenPublisher(const char16_t* name) {
    return Calls().EvtOpenPublisherMetadata(nullptr, name, nullptr, 0, 0);
  }
  EvtHandle AddEvent(EventMessageRequest request) {
    auto event = std::make_unique<TestEvent>();
    event->request = std::move(request);
    return objects_.Add(std::move(event));
  }
  uint32_t LastError() { return fake_.system.GetLastError(); }

  // Both calls of the two-call protocol for a message id: "<code>" when the
  // sizing call fails with anything but 122.
  // The text of message `id` by the two calls. A template with inserts fails
  // both calls with 15029 yet gives its size and text, as on Windows.
  std::u16string FormatId(EvtHandle metadata, uint32_t id) {
    uint32_t needed = 0;
    if (Calls().EvtFormatMessage(metadata, nullptr, id, 0, nullptr,
                                 kEvtFormatMessageId, 0, nullptr, &needed)) {
      return u"<sizing succeeded>";
    }
    const uint32_t status = LastError();
    if (status != kErrorInsufficientBuffer &&
        status != kErrorEvtUnresolvedValueInsert) {
      const std::string code = "<" + std::to_string(LastError()) + ">";
      return std::u16string(code.begin(), code.end());
    }
    std::u16string text(needed, u'#');
    uint32_t used = 0;
    const bool filled = Calls().EvtFormatMessage(
        metadata, nullptr, id, 0, nullptr, kEvtFormatMessageId, needed,
        text.data(), &used);
    EXPECT_EQ(filled, status == kErrorInsufficientBuffer);
    if (!filled) {
      EXPECT_EQ(LastError(), status);
    }
    EXPECT_EQ(used, needed);
    EXPECT_EQ(text.back(), u'\0');
    text.pop_back();
    return text;
  }

  fake::FakePlatform fake_;
  test::MemoryImage image_;
  EvtObjectTable objects_;
  std::unique_ptr<MessageCatalog> catalog_;
  std::unique_ptr<PublisherMetadataCalls> calls_;
};

TEST_F(PublisherMetadataTest, OpenRefusesWhatItCannotServe) {
  EXPECT_EQ(OpenPublisher(u"No-Such-Provider"), nullptr);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(OpenPublisher(u""), nullptr);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(Calls().EvtOpenPublisherMetadata(nullptr, nullptr, nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  EXPECT_EQ(Calls().EvtOpenPublisherMetadata(nullptr, u"Demo-Provider",
                                             nullptr, 0, 1),
            nullptr);
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  EXPECT_EQ(Calls().EvtOpenPublisherMetadata(nullptr, u"Demo-Provider",
                                             u"C:\\x.evtx", 0, 0),
            nullptr);
  EXPECT_EQ(LastError(), kErrorNotSupported);
  EvtHandle session = reinterpret_cast<EvtHandle>(uintptr_t{0x99});
  EXPECT_EQ(Calls().EvtOpenPublisherMetadata(session, u"Demo-Provider",
                                             nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
  EXPECT_EQ(objects_.open_count(), 0u);
  // Names are matched without regard to case; a locale is accepted.
  EvtHandle metadata = Calls().EvtOpenPublisherMetadata(
      nullptr, u"demo-PROVIDER", nullptr, 0x407, 0);
  ASSERT_NE(metadata, nullptr);
  EXPECT_TRUE(objects_.Close(metadata));
}

TEST_F(PublisherMetadataTest, EventMetadataWalkAndProperties) {
  EvtHandle metadata = OpenPublisher(u"Demo-Provider");
  ASSERT_NE(metadata, nullptr);
  EvtHandle walk = Calls().EvtOpenEventMetadataEnum(metadata, 0);
  ASSERT_NE(walk, nullptr);
  std::vector<EvtHandle> events;
  while (EvtHandle event = Calls().EvtNextEventMetadata(walk, 0)) {
    events.push_back(event);
  }
  EXPECT_EQ(LastError(), kErrorNoMoreItems);
  ASSERT_EQ(events.size(), 4u);
  // Past the end stays at the end.
  EXPECT_EQ(Calls().EvtNextEventMetadata(walk, 0), nullptr);
  EXPECT_EQ(LastError(), kErrorNoMoreItems);

  auto read = [&](EvtHandle event, uint32_t property) {
    uint32_t needed = 0;
    EXPECT_FALSE(Calls().EvtGetEventMetadataProperty(event, property, 0, 0,
                                                     nullptr, &needed));
    EXPECT_EQ(LastError(), kErrorInsufficientBuffer);
    EXPECT_EQ(needed, sizeof(EvtVariant));
    EvtVariant value{};
    uint32_t used = 0;
    EXPECT_TRUE(Calls().EvtGetEventMetadataProperty(event, property, 0, needed,
                                                    &value, &used));
    EXPECT_EQ(used, sizeof(EvtVariant));
    return value;
  };
  EXPECT_EQ(read(events[0], kEventMetadataEventID).uint32_val, 1u);
  EXPECT_EQ(read(events[0], kEventMetadataEventID).type, kEvtVarTypeUInt32);
  EXPECT_EQ(read(events[0], kEventMetadataEventMessageID).uint32_val,
            0xB0000001u);
  EXPECT_EQ(read(events[2], kEventMetadataEventMessageID).uint32_val,
            0xFFFFFFFFu);
  const EvtHandle keyed = events[1];
  EXPECT_EQ(read(keyed, kEventMetadataEventID).uint32_val, 2u);
  EXPECT_EQ(read(keyed, kEventMetadataEventVersion).uint32_val, 1u);
  EXPECT_EQ(read(keyed, kEventMetadataEventChannel).uint32_val, 16u);
  EXPECT_EQ(read(keyed, kEventMetadataEventLevel).uint32_val, 3u);
  EXPECT_EQ(read(keyed, kEventMetadataEventOpcode).uint32_val, 11u);
  EXPECT_EQ(read(keyed, kEventMetadataEventTask).uint32_val, 300u);
  const EvtVariant keywords = read(keyed, kEventMetadataEventKeyword);
  EXPECT_EQ(keywords.type, kEvtVarTypeUInt64);
  EXPECT_EQ(keywords.uint64_val, 0x8000000000000010ull);

  uint32_t used = 0;
  EvtVariant value{};
  EXPECT_FALSE(Calls().EvtGetEventMetadataProperty(
      keyed, kEventMetadataEventTemplate, 0, sizeof value, &value, &used));
  EXPECT_EQ(LastError(), kErrorNotSupported);
  EXPECT_FALSE(Calls().EvtGetEventMetadataProperty(keyed, 9, 0, sizeof value,
                                                   &value, &used));
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  EXPECT_FALSE(Calls().EvtGetEventMetadataProperty(
      walk, kEventMetadataEventID, 0, sizeof value, &value, &used));
  EXPECT_EQ(LastError(), kErrorInvalidHandle);

  // Closing the publisher first leaves the walk's handles usable.
  EXPECT_TRUE(objects_.Close(metadata));
  EXPECT_EQ(read(events[3], kEventMetadataEventID).uint32_val, 4u);
  for (EvtHandle event : events) EXPECT_TRUE(objects_.Close(event));
  EXPECT_TRUE(objects_.Close(walk));
  EXPECT_EQ(objects_.open_count(), 0u);
  EXPECT_FALSE(objects_.Close(walk));
  EXPECT_EQ(Calls().EvtNextEventMetadata(walk, 0), nullptr);
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
}

TEST_F(PublisherMetadataTest, ClassicSourceHasNoEventDefinitions) {
  EvtHandle metadata = OpenPublisher(u"classicapp");
  ASSERT_NE(metadata, nullptr);
  EvtHandle walk = Calls().EvtOpenEventMetadataEnum(metadata, 0);
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(Calls().EvtNextEventMetadata(walk, 0), nullptr);
  EXPECT_EQ(LastError(), kErrorNoMoreItems);
  EXPECT_EQ(FormatId(metadata, 0x40000005), u"Classic %1");
  objects_.Close(walk);
  objects_.Close(metadata);
}

TEST_F(PublisherMetadataTest, FormatMessageIdSizesInUtf16Units) {
  EvtHandle metadata = OpenPublisher(u"Demo-Provider");
  ASSERT_NE(metadata, nullptr);
  // "Ä" is two UTF-8 bytes but one UTF-16 unit.
  uint32_t needed = 0;
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, nullptr, 0xB0000002, 0,
                                        nullptr, kEvtFormatMessageId, 0,
                                        nullptr, &needed));
  // %1 has no value: 15029 instead of 122, with the size all the same.
  EXPECT_EQ(LastError(), kErrorEvtUnresolvedValueInsert);
  EXPECT_EQ(needed, 12u);  // "Änderung %1" + terminator
  std::u16string buffer(needed, u'#');
  uint32_t used = 0;
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, nullptr, 0xB0000002, 0,
                                        nullptr, kEvtFormatMessageId,
                                        needed - 1, buffer.data(), &used));
  EXPECT_EQ(LastError(), kErrorEvtUnresolvedValueInsert);
  EXPECT_EQ(used, needed);
  EXPECT_EQ(buffer, std::u16string(needed, u'#'));  // nothing written
  EXPECT_EQ(FormatId(metadata, 0xB0000002), u"\u00C4nderung %1");
  EXPECT_EQ(FormatId(metadata, 0xB0000077), u"<15027>");

  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, nullptr, 1, 0, nullptr,
                                        kEvtFormatMessageId, 0, nullptr,
                                        nullptr));
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, nullptr, 1, 0, nullptr,
                                        /*EvtFormatMessageLevel*/ 2, 0,
                                        nullptr, &used));
  EXPECT_EQ(LastError(), kErrorNotSupported);
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, nullptr, 1, 0, nullptr, 77,
                                        0, nullptr, &used));
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  objects_.Close(metadata);
  EXPECT_EQ(FormatId(metadata, 0xB0000002), u"<6>");
}

TEST_F(PublisherMetadataTest, FormatEventMessageByRequestAndByHandle) {
  EvtHandle metadata = OpenPublisher(u"Demo-Provider");
  ASSERT_NE(metadata, nullptr);
  EventMessageRequest request;
  request.provider = "Demo-Provider";
  request.event_id = 1;
  request.inserts = {"spooler"};
  uint32_t needed = 0;
  EXPECT_FALSE(
      Calls().FormatEventMessage(metadata, request, 0, nullptr, &needed));
  EXPECT_EQ(LastError(), kErrorInsufficientBuffer);
  std::u16string text(needed, u'#');
  uint32_t used = 0;
  EXPECT_TRUE(Calls().FormatEventMessage(metadata, request, needed,
                                         text.data(), &used));
  EXPECT_EQ(text, std::u16string(u"Started \"spooler\".\r\n") + u'\0');

  // A null metadata handle opens the request's provider.
  EXPECT_TRUE(Calls().FormatEventMessage(nullptr, request, needed,
                                         text.data(), &used));
  request.provider = "Nobody";
  EXPECT_FALSE(Calls().FormatEventMessage(nullptr, request, needed,
                                          text.data(), &used));
  EXPECT_EQ(LastError(), kErrorEvtPublisherMetadataNotFound);

  request.event_id = 3;
  EXPECT_FALSE(
      Calls().FormatEventMessage(metadata, request, 0, nullptr, &needed));
  EXPECT_EQ(LastError(), kErrorEvtMessageIdNotFound);
  request.event_id = 4;
  EXPECT_FALSE(
      Calls().FormatEventMessage(metadata, request, 0, nullptr, &needed));
  EXPECT_EQ(LastError(), kErrorEvtMessageNotFound);

  // EvtFormatMessage(EvtFormatMessageEvent) asks the service for the event.
  request.event_id = 1;
  EvtHandle event = AddEvent(request);
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, event, 0, 0, nullptr,
                                        kEvtFormatMessageEvent, 0, nullptr,
                                        &needed));
  EXPECT_EQ(LastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(needed, 21u);
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, metadata, 0, 0, nullptr,
                                        kEvtFormatMessageEvent, 0, nullptr,
                                        &needed));
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
  EvtVariant value{};
  EXPECT_FALSE(Calls().EvtFormatMessage(metadata, event, 0, 1, &value,
                                        kEvtFormatMessageEvent, 0, nullptr,
                                        &needed));
  EXPECT_EQ(LastError(), kErrorNotSupported);
  objects_.Close(event);
  objects_.Close(metadata);
  EXPECT_EQ(objects_.open_count(), 0u);
}

// A message formatted ahead is what the two calls give for the request,
// already in UTF-16, whatever the UTF-8 of its inserts: ASCII runs cut at
// every offset, multi-byte and four-byte sequences, and invalid bytes.
TEST_F(PublisherMetadataTest, FormatAheadGivesTheTwoCallsText) {
  const std::vector<std::string> inserts = {
      "",
      "plain ascii longer than one block",
      "1234567\xC3\xA9 after seven",
      "12345678\xE2\x82\xAC after eight",
      "a\xF0\x9F\x98\x80 pair, then ascii again 0123456789",
      "bad \x80 continuation, \xC0\xAF overlong, \xED\xA0\x80 surrogate",
      "cut at the end \xE2\x82",
  };
  EventMessageRequest request;
  request.provider = "Demo-Provider";
  request.event_id = 1;
  for (const std::string& insert : inserts) {
    SCOPED_TRACE(insert);
    request.inserts = {insert};
    const std::optional<FormattedEventMessage> ahead =
        Calls().FormatAhead(request);
    ASSERT_TRUE(ahead.has_value());
    uint32_t needed = 0;
    EXPECT_FALSE(
        Calls().FormatEventMessage(nullptr, request, 0, nullptr, &needed));
    std::u16string text(needed, u'#');
    ASSERT_TRUE(Calls().FormatEventMessage(nullptr, request, needed,
                                           text.data(), &needed));
    text.pop_back();
    EXPECT_EQ(ahead->text, text);

    std::u16string returned(needed, u'#');
    uint32_t used = 0;
    EXPECT_FALSE(Calls().ReturnMessage(ahead->status, ahead->text, 0, nullptr,
                                       &used));
    EXPECT_EQ(used, needed);
    EXPECT_TRUE(Calls().ReturnMessage(ahead->status, ahead->text, needed,
                                      returned.data(), &used));
    EXPECT_EQ(returned, text + u'\0');
  }
}

TEST_F(PublisherMetadataTest, ToolCatalogueWalkListsTheDefinitions) {
  MetadataOnlyEventLog service(Calls(), objects_);
  Platform platform = fake_.AsPlatform();
  platform.event_log = &service;
  ScopedPlatform scope(platform);
  const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
  AddPublisherEvents(*list, "Demo/Operational", "Demo-Provider");
  AddPublisherEvents(*list, "Application", "ClassicApp");
  AddPublisherEvents(*list, "Application", "Missing");
  std::vector<std::string> rows;
  for (size_t i = 0; i < list->GetCount(); ++i) {
    const CZK_EL_PUB& r = (*list)[i];
    rows.push_back(r.Channel + "|" + r.Publisher + "|" + r.EventId + "|" +
                   r.Message);
  }
  // Event 3 has no message (0xFFFFFFFF, Windows' "none") and is not listed;
  // event 4's id is missing from the table.
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "Demo/Operational|Demo-Provider|1|Started %1.",
                      "Demo/Operational|Demo-Provider|2|\xC3\x84nderung %1",
                      "Demo/Operational|Demo-Provider|4|Text unknown"}));
  EXPECT_EQ(objects_.open_count(), 0u);
}

TEST_F(PublisherMetadataTest, ToolEventMessageThroughAnEventHandle) {
  MetadataOnlyEventLog service(Calls(), objects_);
  Platform platform = fake_.AsPlatform();
  platform.event_log = &service;
  ScopedPlatform scope(platform);
  EventMessageRequest request;
  request.provider = "ClassicApp";
  request.event_id = 5;
  request.qualifiers = 0x4000;
  request.inserts = {"value"};
  EvtHandle event = AddEvent(request);
  EvtHandle metadata = OpenPublisher(u"ClassicApp");
  EXPECT_EQ(FormatEventMessage(metadata, event), "Classic value");
  objects_.Close(event);
  request.event_id = 6;
  event = AddEvent(request);
  EXPECT_EQ(FormatEventMessage(metadata, event), "Event message not found");
  objects_.Close(event);
  objects_.Close(metadata);
  EXPECT_EQ(objects_.open_count(), 0u);
}

}  // namespace
}  // namespace qrv::offline
