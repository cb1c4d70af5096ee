// RenderEvent against the scripted fake: the record's fields from the system
// properties, severity naming, the time text, message failures, the
// provider-metadata cases and every failure code.
#include "query/event_values.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/two_call.h"
#include "query/record_list.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;
using fake::FakeEvent;

// 2022-08-09T17:28:57Z, on a whole second.
constexpr uint64_t kWholeSecond = 133045397370000000ull;

struct Rendered {
  uint32_t code = 0;
  RecordListPtr<EventList> events = NewRecordList<EventList>();
};

class RenderEventTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_.event_log.AddPublisher(u"Test-Provider"); }
  void TearDown() override {
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(fake_.event_log.open_handles(), 0);
    EXPECT_TRUE(fake_.event_log.violations().empty());
    EXPECT_EQ(fake_.system.outstanding_local_allocations(), 0);
  }

  // Delivers `event` through a query, renders it and closes what was opened.
  Rendered Render(const FakeEvent& event) {
    fake_.event_log.SetDefaultResult({event});
    EvtHandleOwner query(EvtQuery(nullptr, nullptr, u"q", 0x101));
    EvtHandle handle = nullptr;
    uint32_t returned = 0;
    EXPECT_TRUE(EvtNext(query.Get(), 1, &handle, 1000, 0, &returned));
    EvtHandleOwner owner(handle);
    Rendered result;
    result.code = RenderEvent(*result.events, owner.Get());
    return result;
  }
  const CZK_EL_EVT& RenderOk(const FakeEvent& event) {
    last_ = Render(event);
    EXPECT_EQ(last_.code, 0u);
    EXPECT_EQ(last_.events->GetCount(), 1u);
    return (*last_.events)[0];
  }

  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
  Rendered last_;
};

TEST_F(RenderEventTest, FieldsComeFromTheSystemProperties) {
  FakeEvent e;
  e.provider = u"Service Control Manager";
  e.channel = u"System";
  e.computer = u"WS01.example";
  e.event_id = 65535;
  e.level = 2;
  e.message = u"The service stopped.";
  fake_.event_log.AddPublisher(u"Service Control Manager");
  const CZK_EL_EVT& r = RenderOk(e);
  EXPECT_EQ(r.Channel, "System");
  EXPECT_EQ(r.Provider, "Service Control Manager");
  EXPECT_EQ(r.Computer, "WS01.example");
  EXPECT_EQ(r.TimeCreated, "2022-06-12T21:48:57.133304400Z");
  EXPECT_EQ(r.EventId, "65535");
  EXPECT_EQ(r.Severity, "Error");
  EXPECT_EQ(r.Message, "The service stopped.");
  EXPECT_STREQ(r.GetRuntimeClass(), "CZK_EL_EVT");
  ASSERT_EQ(fake_.event_log.opened_publishers().size(), 1u);
  EXPECT_EQ(fake_.event_log.opened_publishers()[0], "Service Control Manager");
}

TEST_F(RenderEventTest, NonAsciiTextConvertedThroughTheCodePage) {
  FakeEvent e;
  e.provider = u"Pr\u00fcfung";
  e.channel = u"Kan\u00e4l/Operational";
  e.message = u"\u00c4nderung \u00fcbernommen";
  fake_.event_log.AddPublisher(u"Pr\u00fcfung");
  const CZK_EL_EVT& r = RenderOk(e);
  EXPECT_EQ(r.Provider,
            "Pr\xc3\xbc"
            "fung");
  EXPECT_EQ(r.Channel, "Kan\xc3\xa4l/Operational");
  EXPECT_EQ(r.Message,
            "\xc3\x84nderung \xc3\xbc"
            "bernommen");
}

struct SeverityCase {
  std::optional<uint8_t> level;
  uint64_t keywords;
  const char* expected;
};

TEST_F(RenderEventTest, SeverityLevelFirstThenWholeKeywordsValue) {
  const SeverityCase cases[] = {
      {1, 0, "Critical"},
      {2, 0x8020000000000000ull, "Error"},  // level wins over audit keywords
      {3, 0, "Warning"},
      {4, 0, "Information"},
      {5, 0, "Information"},
      {6, 0, "Unknown"},
      {9, 0, "Unknown"},
      {255, 0x8010000000000000ull, "Unknown"},
      {0, 0x8020000000000000ull, "Audit Success"},
      {0, 0x8010000000000000ull, "Audit Failure"},
      {std::nullopt, 0x8020000000000000ull, "Audit Success"},
      {std::nullopt, 0x8010000000000000ull, "Audit Failure"},
      // Equality with the whole value, not bit tests.
      {0, 0x8030000000000000ull, ""},
      {0, 0x8000000000000000ull, ""},
      {0, 0x0020000000000000ull, ""},
      {0, 0x0010000000000000ull, ""},
      {0, 0x8020000000000001ull, ""},
      {std::nullopt, 0, ""},
  };
  for (const SeverityCase& c : cases) {
    FakeEvent e;
    e.level = c.level;
    e.keywords = c.keywords;
    const CZK_EL_EVT& r = RenderOk(e);
    EXPECT_EQ(r.Severity, c.expected)
        << "level " << (c.level ? int{*c.level} : -1) << " keywords 0x"
        << std::hex << c.keywords;
  }
}

// A Level entry typed Null is absent whatever its value bytes hold.
class StaleNullLevelLog : public fake::FakeEventLog {
 public:
  using FakeEventLog::FakeEventLog;
  bool EvtRender(EvtHandle context, EvtHandle fragment, uint32_t flags,
                 uint32_t buffer_size, void* buffer, uint32_t* buffer_used,
                 uint32_t* property_count) override {
    const bool ok =
        FakeEventLog::EvtRender(context, fragment, flags, buffer_size, buffer,
                                buffer_used, property_count);
    if (ok) {
      auto* values = static_cast<EvtVariant*>(buffer);
      values[kEvtSystemLevel].type = kEvtVarTypeNull;
      values[kEvtSystemLevel].byte_val = 2;
    }
    return ok;
  }
};

TEST(RenderEventNullLevelTest, NullTypedLevelWithStaleValueFallsToKeywords) {
  fake::FakePlatform fake;
  StaleNullLevelLog log(fake.system, fake.faults);
  log.AddPublisher(u"Test-Provider");
  FakeEvent e;
  e.keywords = 0x8010000000000000ull;
  log.SetDefaultResult({e});
  Platform platform = fake.AsPlatform();
  platform.event_log = &log;
  ScopedPlatform scope(platform);
  auto events = NewRecordList<EventList>();
  {
    EvtHandleOwner query(EvtQuery(nullptr, nullptr, u"q", 0x101));
    EvtHandle handle = nullptr;
    uint32_t returned = 0;
    ASSERT_TRUE(EvtNext(query.Get(), 1, &handle, 1000, 0, &returned));
    EvtHandleOwner owner(handle);
    EXPECT_EQ(RenderEvent(*events, owner.Get()), 0u);
  }
  ASSERT_EQ(events->GetCount(), 1u);
  EXPECT_EQ((*events)[0].Severity, "Audit Failure");
  EXPECT_EQ(log.open_handles(), 0);
}

TEST_F(RenderEventTest, TimeHasNineDigitFractionFromTheTicks) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "2022-08-09T17:28:57.000000000Z"},
      {5, "2022-08-09T17:28:57.000000500Z"},
      {9999999, "2022-08-09T17:28:57.999999900Z"},
      {1333044, "2022-08-09T17:28:57.133304400Z"},
  };
  for (const auto& [ticks, expected] : cases) {
    FakeEvent e;
    e.time_created = kWholeSecond + ticks;
    EXPECT_EQ(RenderOk(e).TimeCreated, expected);
  }
  FakeEvent epoch;
  epoch.time_created = 0;
  EXPECT_EQ(RenderOk(epoch).TimeCreated, "1601-01-01T00:00:00.000000000Z");
}

TEST_F(RenderEventTest, UnconvertibleTimeGivesTheInvalidTimeText) {
  FakeEvent e;
  e.time_created = 0x8000000000000000ull;
  EXPECT_EQ(RenderOk(e).TimeCreated,
            "Invalid time (FILETIME 0x8000000000000000)");
  e.time_created = 0xFFFFFFFFFFFFFFFFull;
  EXPECT_EQ(RenderOk(e).TimeCreated,
            "Invalid time (FILETIME 0xFFFFFFFFFFFFFFFF)");
  // A refusal of an ordinary value gets the same treatment.
  fake_.faults.Fail(Call::kFileTimeToSystemTime, 3, kErrorInvalidParameter);
  e.time_created = kWholeSecond;
  EXPECT_EQ(RenderOk(e).TimeCreated,
            "Invalid time (FILETIME 0x01D8AC15813D5280)");
}

TEST_F(RenderEventTest, MessageIsCleaned) {
  FakeEvent e;
  e.message = u"  The \"Spooler\" service\r\nentered\tthe stopped state.\r\n";
  EXPECT_EQ(RenderOk(e).Message,
            "The Spooler service  entered the stopped state.");
  // Only quotes inside the trimmed text: nothing left, the record still made.
  e.message = u" \"\"\" ";
  EXPECT_EQ(RenderOk(e).Message, "");
  e.message = u"";
  EXPECT_EQ(RenderOk(e).Message, "");
}

TEST_F(RenderEventTest, MessageFailuresBecomeTexts) {
  fake_.system.SetErrorText(kErrorAccessDenied, "Access is denied.\r\n");
  const std::pair<uint32_t, const char*> cases[] = {
      {kErrorEvtMessageNotFound, "Event message not found"},
      {kErrorEvtMessageIdNotFound, "Event message not found"},
      {kErrorAccessDenied, "Get event message failed: Access is denied."},
      // No system text: the prefix alone, its trailing space trimmed away.
      {kErrorEvtMessageLocaleNotFound, "Get event message failed:"},
  };
  for (const auto& [code, expected] : cases) {
    FakeEvent e;
    e.message_error = code;
    EXPECT_EQ(RenderOk(e).Message, expected) << code;
  }
}

// An event with fewer data items than its message has inserts: both calls
// fail with 15029, the text comes with the missing inserts as written.
TEST_F(RenderEventTest, UnresolvedInsertsGiveThePartialText) {
  FakeEvent e;
  e.message = u"Logon of alice failed: %2";
  EXPECT_EQ(RenderOk(e).Message, "Logon of alice failed: %2");
}

TEST_F(RenderEventTest, MessageBufferAllocationFailureGivesEmptyMessage) {
  // The property buffer is the first allocation, the message buffer the second.
  static int allocations;
  allocations = 0;
  SetAllocationFaultHook([](size_t) { return ++allocations == 2; });
  FakeEvent e;
  EXPECT_EQ(RenderOk(e).Message, "");
}

TEST_F(RenderEventTest, MissingPublisherMetadataStillListsTheEvent) {
  fake_.event_log.AddPublisher(u"Gone-Provider").open_error =
      kErrorEvtPublisherMetadataNotFound;
  FakeEvent gone;
  gone.provider = u"Gone-Provider";
  gone.event_id = 7;
  const CZK_EL_EVT& r = RenderOk(gone);
  EXPECT_EQ(r.Provider, "Gone-Provider");
  EXPECT_EQ(r.EventId, "7");
  EXPECT_EQ(r.Message, "Event message not found");

  FakeEvent unregistered;  // the fake answers ERROR_FILE_NOT_FOUND
  unregistered.provider = u"Never-Registered";
  EXPECT_EQ(RenderOk(unregistered).Message, "Event message not found");

  FakeEvent no_name;  // ProviderName pointer null: looked up as ""
  no_name.null_provider = true;
  const CZK_EL_EVT& n = RenderOk(no_name);
  EXPECT_EQ(n.Provider, "");
  EXPECT_EQ(n.Message, "Event message not found");
  EXPECT_EQ(fake_.event_log.opened_publishers().back(), "");
}

TEST(RenderEventFailureTest, FailuresReturnTheStepsCodeAndAppendNothing) {
  struct Case {
    Call call;
    uint32_t code;
  };
  const Case cases[] = {
      {Call::kEvtCreateRenderContext, kErrorNotEnoughMemory},
      {Call::kEvtRender, kErrorInvalidHandle},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fake;
    fake::FakeScope scope(fake);
    fake.event_log.AddPublisher(u"Test-Provider");
    fake.event_log.SetDefaultResult({FakeEvent{}});
    fake.faults.Fail(c.call, 1, c.code);
    auto events = NewRecordList<EventList>();
    {
      EvtHandleOwner query(EvtQuery(nullptr, nullptr, u"q", 0x101));
      EvtHandle handle = nullptr;
      uint32_t returned = 0;
      ASSERT_TRUE(EvtNext(query.Get(), 1, &handle, 1000, 0, &returned));
      EvtHandleOwner owner(handle);
      EXPECT_EQ(RenderEvent(*events, owner.Get()), c.code);
    }
    EXPECT_EQ(events->GetCount(), 0u);
    EXPECT_EQ(fake.event_log.open_handles(), 0);
    EXPECT_TRUE(fake.event_log.violations().empty());
  }
}

TEST_F(RenderEventTest, PropertyBufferAllocationFailureReturns122) {
  SetAllocationFaultHook([](size_t) { return true; });
  const Rendered r = Render(FakeEvent{});
  EXPECT_EQ(r.code, kErrorInsufficientBuffer);
  EXPECT_EQ(r.events->GetCount(), 0u);
}

}  // namespace
}  // namespace qrv
