// MetadataCache over the scripted fake service: how often the service is
// really asked, that reference handles stand for the right real handle and
// never reach the service themselves, and that every real handle is closed
// exactly once when the cache goes (checked after every test).
#include "platform/metadata_cache.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;

class MetadataCacheTest : public ::testing::Test {
 protected:
  MetadataCacheTest() {
    fake_.event_log.AddPublisher(u"Prov-A").messages[7] = u"seven";
    fake_.event_log.AddPublisher(u"Prov-B").messages[7] = u"sieben";
    cache_.emplace(fake_.event_log, fake_.system);
  }

  void TearDown() override {
    cache_.reset();
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_EQ(fake_.event_log.violations(), expected_violations_);
  }

  EvtHandle Open(const char16_t* name) {
    return cache_->EvtOpenPublisherMetadata(nullptr, name, nullptr, 0, 0);
  }
  // Message 7 of the provider behind `metadata`; empty on failure, with the
  // failure code in `*error`.
  std::u16string Message7(EvtHandle metadata, uint32_t* error = nullptr) {
    // One character spare: the service writes its terminator past the size.
    char16_t buffer[64] = {};
    uint32_t used = 0;
    if (!cache_->EvtFormatMessage(metadata, nullptr, 7, 0, nullptr,
                                  kEvtFormatMessageId, 63, buffer, &used)) {
      if (error != nullptr) *error = fake_.system.GetLastError();
      return std::u16string();
    }
    return buffer;
  }
  int ServiceCalls(Call call) const { return fake_.faults.Count(call); }

  fake::FakePlatform fake_;
  std::optional<MetadataCache> cache_;
  std::vector<std::string> expected_violations_;
};

TEST_F(MetadataCacheTest, EachProviderIsOpenedOnceAndEachReferenceFindsIt) {
  EvtHandle a1 = Open(u"Prov-A");
  ASSERT_NE(a1, nullptr);
  EXPECT_TRUE(cache_->EvtClose(a1));
  EvtHandle a2 = Open(u"Prov-A");
  EvtHandle a3 = Open(u"Prov-A");
  EvtHandle b = Open(u"Prov-B");
  ASSERT_NE(a2, nullptr);
  ASSERT_NE(a3, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a2, a3);
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 2);
  EXPECT_EQ(cache_->open_references(), 3u);

  // Each reference reaches its own provider's real handle (a reference passed
  // through untranslated would be an unknown handle to the service).
  EXPECT_EQ(Message7(a2), u"seven");
  EXPECT_EQ(Message7(a3), u"seven");
  EXPECT_EQ(Message7(b), u"sieben");
  // Back to the first provider after the second (the last one found is
  // tried first, and must not answer for another name).
  EvtHandle a4 = Open(u"Prov-A");
  EXPECT_EQ(Message7(a4), u"seven");
  EXPECT_TRUE(cache_->EvtClose(a4));
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 2);

  // Closing references releases nothing at the service.
  EXPECT_TRUE(cache_->EvtClose(a2));
  EXPECT_TRUE(cache_->EvtClose(a3));
  EXPECT_TRUE(cache_->EvtClose(b));
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 0);
  EXPECT_EQ(fake_.event_log.open_handles(), 2);
  EXPECT_EQ(cache_->open_references(), 0u);
}

TEST_F(MetadataCacheTest, EnumerationOpensOnTheRealHandleAndPassesThrough) {
  fake::FakePublisher& pub = fake_.event_log.AddPublisher(u"Prov-C");
  pub.events = {{.event_id = 10, .message_id = 7}, {.event_id = 11, .message_id = 8}};
  EvtHandle c = Open(u"Prov-C");
  EvtHandle walk = cache_->EvtOpenEventMetadataEnum(c, 0);
  ASSERT_NE(walk, nullptr);
  std::vector<uint32_t> ids;
  while (EvtHandle event = cache_->EvtNextEventMetadata(walk, 0)) {
    EvtVariant value{};
    uint32_t used = 0;
    EXPECT_TRUE(cache_->EvtGetEventMetadataProperty(
        event, kEventMetadataEventID, 0, sizeof value, &value, &used));
    ids.push_back(value.uint32_val);
    EXPECT_TRUE(cache_->EvtClose(event));
  }
  EXPECT_EQ(fake_.system.GetLastError(), kErrorNoMoreItems);
  EXPECT_EQ(ids, (std::vector<uint32_t>{10, 11}));
  // The enumeration and event handles are the service's: closed for real.
  EXPECT_TRUE(cache_->EvtClose(walk));
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 3);
  EXPECT_TRUE(cache_->EvtClose(c));
  EXPECT_EQ(fake_.event_log.open_handles(), 1);
}

TEST_F(MetadataCacheTest, AClosedReferenceIsRefusedAndNeverReachesTheService) {
  EvtHandle a = Open(u"Prov-A");
  ASSERT_TRUE(cache_->EvtClose(a));

  fake_.system.SetLastError(0);
  EXPECT_FALSE(cache_->EvtClose(a));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
  fake_.system.SetLastError(0);
  EXPECT_EQ(cache_->EvtOpenEventMetadataEnum(a, 0), nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
  uint32_t error = 0;
  EXPECT_EQ(Message7(a, &error), u"");
  EXPECT_EQ(error, kErrorInvalidHandle);
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 0);
  EXPECT_EQ(ServiceCalls(Call::kEvtFormatMessage), 0);
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenEventMetadataEnum), 0);
}

TEST_F(MetadataCacheTest, DestructionClosesEveryRealHandleOnceEvenWithReferencesLeft) {
  Open(u"Prov-A");  // left open on purpose
  EXPECT_TRUE(cache_->EvtClose(Open(u"Prov-B")));
  cache_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem);
  EXPECT_EQ(fake_.event_log.open_handles(), 3);
  cache_.reset();
  EXPECT_EQ(fake_.event_log.open_handles(), 0);
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 3);
}

// What RenderEvent does for each event of a query, through the installed
// platform and the logic's handle owners: the context and the metadata are
// paid for once, queries and events are the service's own.
TEST_F(MetadataCacheTest, RenderingManyEventsCreatesOneContextAndOpensEachProviderOnce) {
  std::vector<fake::FakeEvent> events(50);
  for (size_t i = 0; i < events.size(); ++i) {
    events[i].provider = i % 2 ? u"Prov-A" : u"Prov-B";
    events[i].message = u"m" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
  }
  fake_.event_log.SetDefaultResult(events);
  ScopedPlatform scope(
      Platform{&*cache_, &fake_.registry, &fake_.system, &fake_.output});

  EvtHandleOwner query(EvtQuery(nullptr, nullptr, u"<QueryList/>",
                                kEvtQueryChannelPath | kEvtQueryForwardDirection));
  ASSERT_TRUE(query);
  EvtHandle batch[100];
  uint32_t returned = 0;
  size_t rendered = 0;
  while (EvtNext(query.Get(), 100, batch, 1000, 0, &returned)) {
    for (uint32_t i = 0; i < returned; ++i) {
      EvtHandleOwner event(batch[i]);
      EvtHandleOwner context(EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem));
      ASSERT_TRUE(context);
      alignas(EvtVariant) unsigned char buffer[1024];
      uint32_t used = 0;
      uint32_t count = 0;
      ASSERT_TRUE(EvtRender(context.Get(), event.Get(), kEvtRenderEventValues,
                            sizeof buffer, buffer, &used, &count));
      const auto* values = reinterpret_cast<const EvtVariant*>(buffer);
      EvtHandleOwner metadata(EvtOpenPublisherMetadata(
          nullptr, values[kEvtSystemProviderName].string_val, nullptr, 0, 0));
      ASSERT_TRUE(metadata);
      char16_t text[16] = {};  // one spare for the terminator past the size
      ASSERT_TRUE(EvtFormatMessage(metadata.Get(), event.Get(), 0, 0, nullptr,
                                   kEvtFormatMessageEvent, 15, text, &used));
      EXPECT_EQ(std::u16string(text), events[rendered].message);
      ++rendered;
    }
  }
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
  EXPECT_EQ(rendered, events.size());
  EXPECT_EQ(ServiceCalls(Call::kEvtCreateRenderContext), 1);
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 2);
  EXPECT_EQ(cache_->open_references(), 0u);
  query.Reset();
  // The query and every event were closed at the service; the two providers
  // and the context stay open until the cache goes.
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 51);
  EXPECT_EQ(fake_.event_log.open_handles(), 3);
}

TEST_F(MetadataCacheTest, AFailedOpenIsRememberedForTheLifeOfTheCacheOnly) {
  fake_.faults.Fail(Call::kEvtOpenPublisherMetadata, 2, kErrorNotEnoughMemory);
  for (int round = 0; round < 2; ++round) {
    fake_.system.SetLastError(0);
    EXPECT_EQ(Open(u"Missing"), nullptr);
    EXPECT_EQ(fake_.system.GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(Open(u"Prov-A"), nullptr);
    EXPECT_EQ(fake_.system.GetLastError(), kErrorNotEnoughMemory);
  }
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 2);

  // The next cycle's cache asks again, and sees a provider registered since.
  fake_.event_log.AddPublisher(u"Missing").messages[7] = u"found";
  cache_.emplace(fake_.event_log, fake_.system);
  EvtHandle found = Open(u"Missing");
  EvtHandle a = Open(u"Prov-A");
  ASSERT_NE(found, nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Message7(found), u"found");
  EXPECT_EQ(Message7(a), u"seven");
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 4);
  EXPECT_TRUE(cache_->EvtClose(found));
  EXPECT_TRUE(cache_->EvtClose(a));
}

TEST_F(MetadataCacheTest, ScopedCacheStandsInFrontOfTheServiceForItsLifeOnly) {
  cache_.reset();
  fake::FakeScope installed(fake_);
  {
    const ScopedMetadataCache scoped;
    EXPECT_NE(CurrentPlatform().event_log, &fake_.event_log);
    for (int i = 0; i < 3; ++i) {
      EvtHandleOwner a(EvtOpenPublisherMetadata(nullptr, u"Prov-A", nullptr, 0, 0));
      ASSERT_TRUE(a);
    }
    EXPECT_EQ(fake_.event_log.open_handles(), 1);
  }
  EXPECT_EQ(CurrentPlatform().event_log, &fake_.event_log);
  EXPECT_EQ(fake_.event_log.open_handles(), 0);
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 1);
}

TEST_F(MetadataCacheTest, AFailedRenderContextIsNotRemembered) {
  fake_.faults.Fail(Call::kEvtCreateRenderContext, 1, kErrorNotEnoughMemory);
  EXPECT_EQ(cache_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem), nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorNotEnoughMemory);
  EvtHandle context = cache_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(ServiceCalls(Call::kEvtCreateRenderContext), 2);
  EXPECT_TRUE(cache_->EvtClose(context));
}

TEST_F(MetadataCacheTest, ProvidersPastTheCapAreOpenedAndClosedForReal) {
  std::vector<std::u16string> names;
  for (size_t i = 0; i <= kMaxCachedPublishers; ++i) {
    names.push_back(u"P" + std::u16string(1, static_cast<char16_t>(0x100 + i)));
    fake_.event_log.AddPublisher(names.back());
  }
  for (const std::u16string& name : names) {
    ASSERT_TRUE(cache_->EvtClose(Open(name.c_str())));
  }
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata),
            static_cast<int>(kMaxCachedPublishers) + 1);
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 1);

  ASSERT_TRUE(cache_->EvtClose(Open(names.back().c_str())));
  ASSERT_TRUE(cache_->EvtClose(Open(names.front().c_str())));
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata),
            static_cast<int>(kMaxCachedPublishers) + 2);
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 2);
  EXPECT_EQ(fake_.event_log.open_handles(), static_cast<int>(kMaxCachedPublishers));
}

TEST_F(MetadataCacheTest, CallsOfAnotherShapeAreTheServicesOwn) {
  // The fake flags these arguments; the tool itself never passes them.
  expected_violations_ = {"EvtOpenPublisherMetadata: unexpected arguments",
                          "EvtOpenPublisherMetadata: unexpected arguments",
                          "EvtCreateRenderContext: not a system context"};
  for (int i = 0; i < 2; ++i) {
    EvtHandle localized = cache_->EvtOpenPublisherMetadata(nullptr, u"Prov-A", nullptr, 1033, 0);
    ASSERT_NE(localized, nullptr);
    EXPECT_TRUE(cache_->EvtClose(localized));
  }
  EvtHandle values = cache_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextUser);
  ASSERT_NE(values, nullptr);
  EXPECT_TRUE(cache_->EvtClose(values));
  EXPECT_EQ(ServiceCalls(Call::kEvtOpenPublisherMetadata), 2);
  EXPECT_EQ(ServiceCalls(Call::kEvtClose), 3);
  EXPECT_EQ(cache_->open_references(), 0u);
}

}  // namespace
}  // namespace qrv
