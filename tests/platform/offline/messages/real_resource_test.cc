// The corpus DLL with a real WEVT_TEMPLATE and message table, registered in a
// fake registry as a manifest publisher and read from disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "message_fixture.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/messages/publisher_metadata.h"

namespace qrv::offline {
namespace {

constexpr char kGuid[] = "{67883bbc-d592-4d02-8e29-66907fcb07d6}";

TEST(RealResourceFile, ManifestProviderEventsAndMessages) {
  const std::string dll = std::string(QRV_SHARED_DIR) +
                          "/corpus/resources/plaso-wrc-test-wevt_template.dll";
  if (!std::filesystem::exists(dll)) GTEST_SKIP() << "shared corpus not present";
  fake::FakePlatform fake;
  const std::string path = "%SystemRoot%\\System32\\wrc_test.dll";
  test::RegisterPublisher(fake.registry, kGuid, "Wrc-Test-Provider",
                          {path, path, ""});
  HostFileLoader loader;
  MessageCatalog catalog(
      fake.registry,
      [&](std::string_view windows_path) -> std::optional<std::string> {
        if (SameName(windows_path, path)) return dll;
        return std::nullopt;
      },
      loader);
  EvtObjectTable objects;
  PublisherMetadataCalls calls(catalog, objects, fake.system);

  EvtHandle metadata =
      calls.EvtOpenPublisherMetadata(nullptr, u"wrc-test-provider", nullptr, 0, 0);
  ASSERT_NE(metadata, nullptr);
  EvtHandle walk = calls.EvtOpenEventMetadataEnum(metadata, 0);
  ASSERT_NE(walk, nullptr);
  EvtHandle event = calls.EvtNextEventMetadata(walk, 0);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(calls.EvtNextEventMetadata(walk, 0), nullptr);
  EXPECT_EQ(fake.system.GetLastError(), kErrorNoMoreItems);

  EvtVariant value{};
  uint32_t used = 0;
  ASSERT_TRUE(calls.EvtGetEventMetadataProperty(event, kEventMetadataEventID, 0,
                                                sizeof value, &value, &used));
  EXPECT_EQ(value.uint32_val, 1u);
  ASSERT_TRUE(calls.EvtGetEventMetadataProperty(
      event, kEventMetadataEventVersion, 0, sizeof value, &value, &used));
  EXPECT_EQ(value.uint32_val, 1u);
  ASSERT_TRUE(calls.EvtGetEventMetadataProperty(
      event, kEventMetadataEventMessageID, 0, sizeof value, &value, &used));
  EXPECT_EQ(value.uint32_val, 0xB0010001u);

  char16_t text[64] = {};
  ASSERT_TRUE(calls.EvtFormatMessage(metadata, nullptr, 0xB0010001u, 0,
                                     nullptr, kEvtFormatMessageId, 64, text,
                                     &used));
  EXPECT_EQ(std::u16string(text), u"A test value\r\n");
  EXPECT_EQ(used, 15u);

  EventMessageRequest request;
  request.event_id = 1;
  request.version = 1;
  request.inserts = {"name", "42"};
  ASSERT_TRUE(calls.FormatEventMessage(metadata, request, 64, text, &used));
  EXPECT_EQ(std::u16string(text), u"A test value\r\n");

  EXPECT_TRUE(objects.Close(event));
  EXPECT_TRUE(objects.Close(walk));
  EXPECT_TRUE(objects.Close(metadata));
  EXPECT_EQ(fake.registry.open_keys(), 0);
}

}  // namespace
}  // namespace qrv::offline
