// The offline Evt* calls over writer-made logs in a temporary image: query
// results and their order, batches, the codes of every failure, the system
// property buffer, event handles outliving their batch and query, and a full
// QueryEvents run that leaves no handle open.
#include "platform/offline/service/offline_event_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "formats/utf16.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "platform/offline/messages/file_access.h"
#include "platform/platform.h"
#include "query/query_events.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/service_fixtures.h"
#include "tests/support/fake_platform.h"

namespace qrv::offline {
namespace {

using testing::FixtureEvent;
using testing::kBaseTime;
using testing::kTicksPerSecond;
using testing::WriteLog;

constexpr uint32_t kChannelForward =
    kEvtQueryChannelPath | kEvtQueryForwardDirection;

std::string QueryList(const std::string& path, const std::string& select) {
  return "<QueryList><Query Id='0' Path='" + path + "'><Select>" + select +
         "</Select></Query></QueryList>";
}

class OfflineEventLogTest : public ::testing::Test {
 protected:
  void Open() {
    image_ = std::make_unique<Image>(dir_.path(), SummarizeEvtxFile);
    files_ = std::make_unique<PathResolver>(dir_.path());
    // The catalogue over the image's registry, as the program builds it.
    catalog_ = std::make_unique<MessageCatalog>(
        image_->registry(),
        [this](std::string_view windows_path) -> std::optional<std::string> {
          auto path = files_->ResolveWindowsPath(windows_path);
          if (!path) return std::nullopt;
          return path->string();
        },
        loader_);
    log_ = std::make_unique<OfflineEventLog>(
        QuerySources{[this](std::string_view name) {
                       return image_->LookupChannel(name);
                     },
                     dir_.path(),
                     [this](std::string_view windows_path) {
                       return files_->ResolveWindowsPath(windows_path);
                     }},
        fake_.system, *catalog_);
  }

  EvtHandle Query(const std::string& text, uint32_t flags = kChannelForward) {
    const std::u16string wide = text::Utf8ToUtf16(text);
    return log_->EvtQuery(nullptr, nullptr, wide.c_str(), flags);
  }

  // The rendered system properties of one event (two-call sizing checked).
  std::vector<uint8_t> Render(EvtHandle event) {
    EvtHandle context =
        log_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem);
    uint32_t used = 0, count = 0;
    EXPECT_FALSE(log_->EvtRender(context, event, kEvtRenderEventValues, 0,
                                 nullptr, &used, &count));
    EXPECT_EQ(fake_.system.GetLastError(), kErrorInsufficientBuffer);
    std::vector<uint8_t> buffer(used + 16);
    auto* aligned = reinterpret_cast<EvtVariant*>(
        (reinterpret_cast<uintptr_t>(buffer.data()) + 15) & ~uintptr_t{15});
    const uint32_t needed = used;
    EXPECT_TRUE(log_->EvtRender(context, event, kEvtRenderEventValues, needed,
                                aligned, &used, &count));
    EXPECT_EQ(used, needed);
    EXPECT_EQ(count, 18u);
    log_->EvtClose(context);
    std::vector<uint8_t> copy(reinterpret_cast<uint8_t*>(aligned),
                              reinterpret_cast<uint8_t*>(aligned) + needed);
    rendered_.push_back(std::move(buffer));  // keeps pointers valid
    return copy;
  }

  uint64_t RecordId(EvtHandle event) {
    std::vector<uint8_t> v = Render(event);
    EvtVariant id;
    std::memcpy(&id, v.data() + sizeof(EvtVariant) * kEvtSystemEventRecordId,
                sizeof id);
    return id.uint64_val;
  }

  // Every record id the query returns, in order; *error is EvtQuery's code
  // (0 when it opened).
  std::vector<uint64_t> Run(const std::string& text, uint32_t* error,
                            uint32_t flags = kChannelForward) {
    std::vector<uint64_t> ids;
    *error = 0;
    EvtHandle q = Query(text, flags);
    if (q == nullptr) {
      *error = fake_.system.GetLastError();
      return ids;
    }
    EvtHandle batch[7];
    uint32_t n = 0;
    while (log_->EvtNext(q, 7, batch, 1000, 0, &n)) {
      for (uint32_t i = 0; i < n; ++i) {
        ids.push_back(RecordId(batch[i]));
        EXPECT_TRUE(log_->EvtClose(batch[i]));
      }
    }
    EXPECT_EQ(fake_.system.GetLastError(), kErrorNoMoreItems);
    EXPECT_TRUE(log_->EvtClose(q));
    return ids;
  }

  std::vector<uint64_t> RunOk(const std::string& text) {
    uint32_t error = 0;
    std::vector<uint64_t> ids = Run(text, &error);
    EXPECT_EQ(error, 0u) << text;
    return ids;
  }

  testing::TempFolder dir_;
  fake::FakePlatform fake_;
  std::unique_ptr<Image> image_;
  std::unique_ptr<PathResolver> files_;
  HostFileLoader loader_;
  std::unique_ptr<MessageCatalog> catalog_;
  std::unique_ptr<OfflineEventLog> log_;
  std::vector<std::vector<uint8_t>> rendered_;
};

TEST_F(OfflineEventLogTest, ChannelQuerySelectsEventsOldestFirst) {
  WriteLog(dir_.path() / "Security.evtx",
           {FixtureEvent(1, 4624, 1),
            FixtureEvent(2, 4625, 2, 0, 0x8010000000000000ull),
            FixtureEvent(3, 4624, 3), FixtureEvent(4, 4672, 4)});
  Open();
  EXPECT_EQ(RunOk(QueryList("Security", "*[System[EventID=4624]]")),
            (std::vector<uint64_t>{1, 3}));
  // Channel names ignore case; `*` selects everything.
  EXPECT_EQ(RunOk(QueryList("SECURITY", "*")),
            (std::vector<uint64_t>{1, 2, 3, 4}));
  EXPECT_EQ(RunOk(QueryList("Security",
                            "*[System[band(Keywords,4503599627370496)]]")),
            (std::vector<uint64_t>{2}));
  EXPECT_EQ(
      RunOk(QueryList("Security",
                      "*[EventData[Data[@Name='TargetUserName']='user3']]")),
      (std::vector<uint64_t>{3}));
  EXPECT_EQ(RunOk(QueryList("Security", "*[System[EventID=1]]")),
            (std::vector<uint64_t>{}));
}

TEST_F(OfflineEventLogTest, SuppressAndSeveralQueriesCombine) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 9; ++i)
    events.push_back(FixtureEvent(i, static_cast<uint16_t>(4620 + i % 3),
                                  static_cast<uint32_t>(i)));
  WriteLog(dir_.path() / "Security.evtx", events);
  Open();
  // 4621: 1 4 7; 4622: 2 5 8; 4620: 3 6 9.
  EXPECT_EQ(RunOk("<QueryList><Query Id='0' Path='Security'>"
                  "<Select>*[System[EventID=4621 or EventID=4622]]</Select>"
                  "<Suppress>*[System[EventRecordID=5]]</Suppress>"
                  "</Query><Query Id='1' Path='Security'>"
                  "<Select>*[System[EventRecordID&gt;=8]]</Select>"
                  "</Query></QueryList>"),
            (std::vector<uint64_t>{1, 2, 4, 7, 8, 9}));
}

TEST_F(OfflineEventLogTest, PathsAndFilesMergeByTimeThenPathOrder) {
  // Archive and live log of one channel, and a second channel.
  WriteLog(dir_.path() / "Archive-Security-2024-01-01-00-00-00-000.evtx",
           {FixtureEvent(1, 4624, 10), FixtureEvent(2, 4624, 30)});
  WriteLog(dir_.path() / "Security.evtx",
           {FixtureEvent(3, 4624, 20), FixtureEvent(4, 4624, 40)});
  WriteLog(dir_.path() / "System.evtx",
           {FixtureEvent(100, 7036, 20, 4, 0x8080000000000000ull, "System",
                         "Service Control Manager"),
            FixtureEvent(101, 7036, 35, 4, 0x8080000000000000ull, "System",
                         "Service Control Manager")});
  Open();
  EXPECT_EQ(RunOk(QueryList("Security", "*")),
            (std::vector<uint64_t>{1, 3, 2, 4}));
  // Equal times (second 20): the path named first comes first.
  EXPECT_EQ(RunOk("<QueryList><Query Id='0' Path='System'><Select>*</Select>"
                  "</Query><Query Id='1' Path='Security'><Select>*</Select>"
                  "</Query></QueryList>"),
            (std::vector<uint64_t>{1, 100, 3, 2, 101, 4}));
  EXPECT_EQ(RunOk("<QueryList><Query Id='0' Path='Security'><Select>*</Select>"
                  "</Query><Query Id='1' Path='System'><Select>*</Select>"
                  "</Query></QueryList>"),
            (std::vector<uint64_t>{1, 3, 100, 2, 101, 4}));
}

// An export holding Security and Sysmon records beside a live Security log:
// each channel returns exactly its own records from every file that holds
// any, oldest first; a file query still returns the whole file.
TEST_F(OfflineEventLogTest, ChannelsOfSharedFilesComeFromTheRecords) {
  const std::string sysmon = "Microsoft-Windows-Sysmon/Operational";
  const auto sysmon_event = [&](uint64_t id, uint32_t second,
                                const std::string& channel) {
    return FixtureEvent(id, 1, second, 4, 0x8000000000000000ull, channel,
                        "Microsoft-Windows-Sysmon");
  };
  WriteLog(dir_.path() / "Security.evtx",
           {FixtureEvent(1, 4624, 10), FixtureEvent(2, 4624, 40)});
  // Filed under Security (its first record's channel); a record naming no
  // channel stays with Security.
  WriteLog(dir_.path() / "export.evtx",
           {FixtureEvent(11, 4624, 5), sysmon_event(12, 20, sysmon),
            FixtureEvent(13, 4688, 30, 0, 0x8020000000000000ull, "SECURITY"),
            sysmon_event(14, 35, "microsoft-windows-sysmon/operational"),
            sysmon_event(15, 50, "")});
  Open();
  EXPECT_EQ(RunOk(QueryList("Security", "*")),
            (std::vector<uint64_t>{11, 1, 13, 2, 15}));
  EXPECT_EQ(RunOk(QueryList(sysmon, "*")), (std::vector<uint64_t>{12, 14}));
  // The condition applies beside the query's own, through the full tree too.
  EXPECT_EQ(RunOk(QueryList(sysmon, "*[EventData[Data='user0' or "
                                    "Data='user2' or Data='user3']]")),
            (std::vector<uint64_t>{12, 14}));
  EXPECT_EQ(RunOk(QueryList("Security", "*[System[EventID=1]]")),
            (std::vector<uint64_t>{15}));
  EXPECT_EQ(RunOk(QueryList("file://export.evtx", "*")),
            (std::vector<uint64_t>{11, 12, 13, 14, 15}));
  EXPECT_EQ(RunOk("<QueryList><Query Id='0' Path='Security'><Select>*</Select>"
                  "<Select Path='" + sysmon + "'>*[System[EventID=1]]</Select>"
                  "</Query></QueryList>"),
            (std::vector<uint64_t>{11, 1, 12, 13, 14, 2, 15}));
}

TEST_F(OfflineEventLogTest, FilePathsAbsoluteAndRelativeToTheRoot) {
  WriteLog(dir_.path() / "logs" / "saved.evtx",
           {FixtureEvent(7, 4624, 1), FixtureEvent(8, 4634, 2)});
  Open();
  const std::string absolute = (dir_.path() / "logs" / "saved.evtx").string();
  EXPECT_EQ(RunOk(QueryList("file://" + absolute, "*[System[EventID=4634]]")),
            (std::vector<uint64_t>{8}));
  EXPECT_EQ(RunOk(QueryList("file://logs/saved.evtx", "*")),
            (std::vector<uint64_t>{7, 8}));
  // Windows paths name files of the image, ignoring case.
  EXPECT_EQ(RunOk(QueryList("file://C:\\LOGS\\Saved.evtx", "*")),
            (std::vector<uint64_t>{7, 8}));
  EXPECT_EQ(
      RunOk(QueryList("file://c:/logs/saved.evtx", "*[System[EventID=4624]]")),
      (std::vector<uint64_t>{7}));
  uint32_t error = 0;
  Run(QueryList("file://D:\\logs\\saved.evtx", "*"), &error);
  EXPECT_EQ(error, kErrorFileNotFound);
  // A bare XPath with EvtQueryFilePath names the file in the path argument.
  const std::u16string path = text::Utf8ToUtf16(absolute);
  EvtHandle q =
      log_->EvtQuery(nullptr, path.c_str(), u"*[System[EventID=4624]]",
                     kEvtQueryFilePath | kEvtQueryForwardDirection);
  ASSERT_NE(q, nullptr);
  EvtHandle e[2];
  uint32_t n = 0;
  ASSERT_TRUE(log_->EvtNext(q, 2, e, 0, 0, &n));
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(RecordId(e[0]), 7u);
  EXPECT_TRUE(log_->EvtClose(e[0]));
  EXPECT_TRUE(log_->EvtClose(q));
}

TEST_F(OfflineEventLogTest, FailuresGiveTheirCodes) {
  WriteLog(dir_.path() / "Security.evtx", {FixtureEvent(1, 4624, 1)});
  std::filesystem::create_directories(dir_.path() / "other");
  {
    std::ofstream junk(dir_.path() / "other" / "junk.evtx");
    junk << "this is not an event log";
  }
  Open();
  uint32_t error = 0;
  Run(QueryList("Security", "*[System[EventID=]]"), &error);
  EXPECT_EQ(error, kErrorEvtInvalidQuery);
  Run(QueryList("Security", "*[not(System/EventID=1)]"), &error);
  EXPECT_EQ(error, kErrorEvtInvalidQuery);
  Run("<QueryList><Query", &error);
  EXPECT_EQ(error, kErrorEvtInvalidQuery);
  // Not one of the classic logs every folder has.
  Run(QueryList("Setup", "*"), &error);
  EXPECT_EQ(error, kErrorEvtChannelNotFound);
  Run(QueryList("file://other/missing.evtx", "*"), &error);
  EXPECT_EQ(error, kErrorFileNotFound);
  Run(QueryList("file://other/junk.evtx", "*"), &error);
  EXPECT_EQ(error, kErrorFileCorrupt);
  // One bad path fails the whole query...
  Run("<QueryList><Query Id='0' Path='Security'><Select>*</Select></Query>"
      "<Query Id='1' Path='Nope'><Select>*</Select></Query></QueryList>",
      &error);
  EXPECT_EQ(error, kErrorEvtChannelNotFound);
  // ...unless errors are tolerated: then the others still run.
  EXPECT_EQ(Run("<QueryList><Query Id='0' Path='Security'><Select>*</Select>"
                "</Query><Query Id='1' Path='Nope'><Select>*</Select></Query>"
                "</QueryList>",
                &error, kChannelForward | kEvtQueryTolerateQueryErrors),
            (std::vector<uint64_t>{1}));
  EXPECT_EQ(error, 0u);

  const char16_t* text = u"<QueryList/>";
  EXPECT_EQ(log_->EvtQuery(nullptr, nullptr, text,
                           kEvtQueryChannelPath | kEvtQueryReverseDirection),
            nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(log_->EvtQuery(nullptr, nullptr, text, 0x101 | 0x4000), nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(log_->EvtQuery(nullptr, nullptr, nullptr, 0x101), nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(
      log_->EvtQuery(reinterpret_cast<EvtHandle>(0x10), nullptr, text, 0x101),
      nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(log_->open_handles(), 0u);
}

TEST_F(OfflineEventLogTest, RegisteredChannelWithoutItsFileIsEmpty) {
  WriteLog(dir_.path() / "Security.evtx", {FixtureEvent(1, 4624, 1)});
  Open();
  // Deleting the file after the image was read leaves a known channel
  // whose log cannot be opened.
  std::filesystem::remove(dir_.path() / "Security.evtx");
  EXPECT_EQ(RunOk(QueryList("Security", "*")), (std::vector<uint64_t>{}));
}

TEST_F(OfflineEventLogTest, EvtNextFillsBatchesThenReportsNoMoreItems) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 250; ++i)
    events.push_back(FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  WriteLog(dir_.path() / "Security.evtx", events);
  Open();
  EvtHandle q = Query(QueryList("Security", "*"));
  ASSERT_NE(q, nullptr);
  EvtHandle batch[100];
  std::vector<uint32_t> sizes;
  uint32_t n = 0;
  while (log_->EvtNext(q, 100, batch, 1000, 0, &n)) {
    sizes.push_back(n);
    for (uint32_t i = 0; i < n; ++i) log_->EvtClose(batch[i]);
  }
  EXPECT_EQ(sizes, (std::vector<uint32_t>{100, 100, 50}));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorNoMoreItems);
  EXPECT_FALSE(log_->EvtNext(q, 100, batch, 1000, 0, &n));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorNoMoreItems);
  // Bad arguments.
  EXPECT_FALSE(log_->EvtNext(q, 0, batch, 1000, 0, &n));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidParameter);
  EXPECT_TRUE(log_->EvtClose(q));
  EXPECT_FALSE(log_->EvtNext(q, 100, batch, 1000, 0, &n));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
}

TEST_F(OfflineEventLogTest, CancelStopsTheQueryAndCloseRefusesUnknownHandles) {
  WriteLog(dir_.path() / "Security.evtx",
           {FixtureEvent(1, 4624, 1), FixtureEvent(2, 4624, 2)});
  Open();
  EvtHandle q = Query(QueryList("Security", "*"));
  ASSERT_NE(q, nullptr);
  EvtHandle e[1];
  uint32_t n = 0;
  ASSERT_TRUE(log_->EvtNext(q, 1, e, 1000, 0, &n));
  EXPECT_TRUE(log_->EvtCancel(q));
  EXPECT_FALSE(log_->EvtNext(q, 1, e + 0, 1000, 0, &n));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorCancelled);
  // The event delivered before the cancel is still good.
  EXPECT_EQ(RecordId(e[0]), 1u);
  EXPECT_FALSE(log_->EvtCancel(e[0]));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
  EXPECT_TRUE(log_->EvtClose(e[0]));
  EXPECT_FALSE(log_->EvtClose(e[0]));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
  EXPECT_FALSE(log_->EvtClose(nullptr));
  EXPECT_TRUE(log_->EvtClose(q));
  EXPECT_EQ(log_->open_handles(), 0u);
}

TEST_F(OfflineEventLogTest, EventsStayRenderableAfterLaterBatchesAndClose) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 600; ++i)  // several chunks
    events.push_back(FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  WriteLog(dir_.path() / "Security.evtx", events);
  Open();
  EvtHandle q = Query(QueryList("Security", "*"));
  ASSERT_NE(q, nullptr);
  std::vector<EvtHandle> kept;
  EvtHandle batch[100];
  uint32_t n = 0;
  while (log_->EvtNext(q, 100, batch, 1000, 0, &n)) kept.push_back(batch[0]);
  ASSERT_EQ(kept.size(), 6u);
  EXPECT_TRUE(log_->EvtClose(q));
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(RecordId(kept[i]), 1 + 100 * i);
    // The XML is read again from the file the query mapped.
    uint32_t used = 0, count = 0;
    EXPECT_FALSE(log_->EvtRender(nullptr, kept[i], kEvtRenderEventXml, 0,
                                 nullptr, &used, &count));
    EXPECT_EQ(fake_.system.GetLastError(), kErrorInsufficientBuffer);
    std::u16string xml(used / 2, u'\0');
    ASSERT_TRUE(log_->EvtRender(nullptr, kept[i], kEvtRenderEventXml, used,
                                xml.data(), &used, &count));
    EXPECT_EQ(xml.back(), u'\0');
    const std::string text = text::Utf16ToUtf8(xml);
    EXPECT_NE(text.find("<EventRecordID>" + std::to_string(1 + 100 * i) +
                        "</EventRecordID>"),
              std::string::npos)
        << text;
  }
}

TEST_F(OfflineEventLogTest, SystemPropertiesRenderAsVariantsInOneBuffer) {
  evtx::WriterEvent full = FixtureEvent(42, 4624, 5, 4, 0x8020000000000000ull);
  full.qualifiers = 16384;
  full.version = 2;
  full.opcode = 1;
  evtx::GuidBytes activity;
  for (int i = 0; i < 16; ++i) activity.bytes[i] = static_cast<uint8_t>(i);
  full.activity_id = activity;
  evtx::WriterEvent bare = FixtureEvent(43, 1, 6);
  bare.provider_guid.reset();
  bare.user_sid.clear();
  WriteLog(dir_.path() / "Security.evtx", {full, bare});
  Open();
  EvtHandle q = Query(QueryList("Security", "*"));
  ASSERT_NE(q, nullptr);
  EvtHandle e[2];
  uint32_t n = 0;
  ASSERT_TRUE(log_->EvtNext(q, 2, e, 1000, 0, &n));
  ASSERT_EQ(n, 2u);

  Render(e[0]);
  const std::vector<uint8_t>& raw = rendered_.back();
  const auto* base = reinterpret_cast<const uint8_t*>(
      (reinterpret_cast<uintptr_t>(raw.data()) + 15) & ~uintptr_t{15});
  const auto* v = reinterpret_cast<const EvtVariant*>(base);
  const size_t size = raw.size() - 16;
  const auto inside = [&](const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return b >= base + 18 * sizeof(EvtVariant) && b < base + size;
  };
  EXPECT_EQ(v[kEvtSystemProviderName].type, kEvtVarTypeString);
  ASSERT_TRUE(inside(v[kEvtSystemProviderName].string_val));
  EXPECT_EQ(std::u16string(v[kEvtSystemProviderName].string_val),
            u"Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(v[kEvtSystemProviderGuid].type, kEvtVarTypeGuid);
  ASSERT_TRUE(inside(v[kEvtSystemProviderGuid].guid_val));
  EXPECT_EQ(static_cast<const uint8_t*>(v[kEvtSystemProviderGuid].guid_val)[15],
            0xAF);
  EXPECT_EQ(v[kEvtSystemEventID].type, kEvtVarTypeUInt16);
  EXPECT_EQ(v[kEvtSystemEventID].uint16_val, 4624);
  EXPECT_EQ(v[kEvtSystemQualifiers].type, kEvtVarTypeUInt16);
  EXPECT_EQ(v[kEvtSystemQualifiers].uint16_val, 16384);
  EXPECT_EQ(v[kEvtSystemLevel].type, kEvtVarTypeByte);
  EXPECT_EQ(v[kEvtSystemLevel].byte_val, 4);
  EXPECT_EQ(v[kEvtSystemTask].type, kEvtVarTypeUInt16);
  EXPECT_EQ(v[kEvtSystemTask].uint16_val, 12544);
  EXPECT_EQ(v[kEvtSystemOpcode].type, kEvtVarTypeByte);
  EXPECT_EQ(v[kEvtSystemOpcode].byte_val, 1);
  EXPECT_EQ(v[kEvtSystemKeywords].type, kEvtVarTypeHexInt64);
  EXPECT_EQ(v[kEvtSystemKeywords].uint64_val, 0x8020000000000000ull);
  EXPECT_EQ(v[kEvtSystemTimeCreated].type, kEvtVarTypeFileTime);
  EXPECT_EQ(v[kEvtSystemTimeCreated].filetime_val,
            kBaseTime + 5 * kTicksPerSecond);
  EXPECT_EQ(v[kEvtSystemEventRecordId].type, kEvtVarTypeUInt64);
  EXPECT_EQ(v[kEvtSystemEventRecordId].uint64_val, 42u);
  EXPECT_EQ(v[kEvtSystemActivityID].type, kEvtVarTypeGuid);
  ASSERT_TRUE(inside(v[kEvtSystemActivityID].guid_val));
  EXPECT_EQ(std::memcmp(v[kEvtSystemActivityID].guid_val, activity.bytes, 16),
            0);
  EXPECT_EQ(v[kEvtSystemRelatedActivityID].type, kEvtVarTypeNull);
  EXPECT_EQ(v[kEvtSystemProcessID].type, kEvtVarTypeUInt32);
  EXPECT_EQ(v[kEvtSystemProcessID].uint32_val, 542u);
  EXPECT_EQ(v[kEvtSystemThreadID].type, kEvtVarTypeUInt32);
  EXPECT_EQ(v[kEvtSystemThreadID].uint32_val, 600u);
  EXPECT_EQ(v[kEvtSystemChannel].type, kEvtVarTypeString);
  ASSERT_TRUE(inside(v[kEvtSystemChannel].string_val));
  EXPECT_EQ(std::u16string(v[kEvtSystemChannel].string_val), u"Security");
  EXPECT_EQ(v[kEvtSystemComputer].type, kEvtVarTypeString);
  ASSERT_TRUE(inside(v[kEvtSystemComputer].string_val));
  EXPECT_EQ(std::u16string(v[kEvtSystemComputer].string_val), u"HOST-0");
  // S-1-5-18: revision 1, one sub-authority, authority 5, then 18.
  EXPECT_EQ(v[kEvtSystemUserID].type, kEvtVarTypeSid);
  ASSERT_EQ(v[kEvtSystemUserID].count, 12u);
  ASSERT_TRUE(inside(v[kEvtSystemUserID].sid_val));
  const auto* sid = static_cast<const uint8_t*>(v[kEvtSystemUserID].sid_val);
  EXPECT_EQ(sid[0], 1);
  EXPECT_EQ(sid[1], 1);
  EXPECT_EQ(sid[7], 5);
  EXPECT_EQ(sid[8], 18);
  EXPECT_EQ(v[kEvtSystemVersion].type, kEvtVarTypeByte);
  EXPECT_EQ(v[kEvtSystemVersion].byte_val, 2);

  // The second event has no GUID, qualifiers or user: null entries.
  const std::vector<uint8_t> second = Render(e[1]);
  const auto* w = reinterpret_cast<const EvtVariant*>(second.data());
  EXPECT_EQ(w[kEvtSystemProviderGuid].type, kEvtVarTypeNull);
  EXPECT_EQ(w[kEvtSystemQualifiers].type, kEvtVarTypeNull);
  EXPECT_EQ(w[kEvtSystemUserID].type, kEvtVarTypeNull);
  EXPECT_EQ(w[kEvtSystemActivityID].type, kEvtVarTypeNull);

  // One byte short is still too small; a values context with paths and
  // the user context are refused.
  EvtHandle context =
      log_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextSystem);
  uint32_t used = 0, count = 0;
  log_->EvtRender(context, e[0], kEvtRenderEventValues, 0, nullptr, &used,
                  &count);
  std::vector<uint8_t> small(used);
  EXPECT_FALSE(log_->EvtRender(context, e[0], kEvtRenderEventValues, used - 1,
                               small.data(), &used, &count));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInsufficientBuffer);
  EXPECT_FALSE(log_->EvtRender(context, q, kEvtRenderEventValues, 0, nullptr,
                               &used, &count));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidHandle);
  const char16_t* paths[] = {u"Event/System/EventID"};
  EXPECT_EQ(log_->EvtCreateRenderContext(1, paths, kEvtRenderContextValues),
            nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(log_->EvtCreateRenderContext(0, nullptr, kEvtRenderContextUser),
            nullptr);
  for (EvtHandle h : {context, e[0], e[1], q}) EXPECT_TRUE(log_->EvtClose(h));
  EXPECT_EQ(log_->open_handles(), 0u);
}

TEST_F(OfflineEventLogTest, DamagedFileYieldsItsIntactRecords) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 600; ++i)
    events.push_back(FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  const std::filesystem::path file = dir_.path() / "Security.evtx";
  WriteLog(file, events);
  // Cut the file in the middle of its second chunk.
  std::filesystem::resize_file(file, 4096 + 65536 + 20000);
  Open();
  const std::vector<uint64_t> ids =
      RunOk(QueryList("file://Security.evtx", "*"));
  ASSERT_GE(ids.size(), 100u);
  ASSERT_LT(ids.size(), 600u);
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], i + 1);
}

TEST_F(OfflineEventLogTest, PublisherMetadataWithoutMessages) {
  WriteLog(dir_.path() / "Security.evtx", {FixtureEvent(1, 4624, 1)});
  Open();
  EXPECT_EQ(log_->EvtOpenPublisherMetadata(nullptr, u"", nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorFileNotFound);
  EvtHandle publisher = log_->EvtOpenPublisherMetadata(
      nullptr, u"Microsoft-Windows-Security-Auditing", nullptr, 0, 0);
  ASSERT_NE(publisher, nullptr);
  EvtHandle q = Query(QueryList("Security", "*"));
  EvtHandle e[1];
  uint32_t n = 0;
  ASSERT_TRUE(log_->EvtNext(q, 1, e, 1000, 0, &n));
  uint32_t used = 7;
  EXPECT_FALSE(log_->EvtFormatMessage(publisher, e[0], 0, 0, nullptr,
                                      kEvtFormatMessageEvent, 0, nullptr,
                                      &used));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorEvtMessageNotFound);
  EXPECT_FALSE(log_->EvtFormatMessage(publisher, nullptr, 12, 0, nullptr,
                                      kEvtFormatMessageId, 0, nullptr, &used));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorEvtMessageNotFound);
  EvtHandle events = log_->EvtOpenEventMetadataEnum(publisher, 0);
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(log_->EvtNextEventMetadata(events, 0), nullptr);
  EXPECT_EQ(fake_.system.GetLastError(), kErrorNoMoreItems);
  for (EvtHandle h : {events, publisher, e[0], q})
    EXPECT_TRUE(log_->EvtClose(h));
}

// QueryEvents (the tool's own query loop) against the service: every handle
// it opens is closed again, whether the query runs out or stops at the cap.
TEST_F(OfflineEventLogTest, QueryEventsClosesEveryHandle) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 1234; ++i)
    events.push_back(
        FixtureEvent(i, i % 2 ? 4624 : 4634, static_cast<uint32_t>(i)));
  WriteLog(dir_.path() / "Security.evtx", events);
  Open();
  ScopedPlatform scope(
      Platform{log_.get(), &fake_.registry, &fake_.system, &fake_.output});
  for (bool capped : {false, true}) {
    auto list = NewRecordList<EventList>();
    uint32_t error = 0;
    EXPECT_TRUE(QueryEvents(*list, QueryList("Security", "*"), error, capped));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(list->GetCount(), capped ? 1000u : 1234u);
    EXPECT_EQ(log_->open_handles(), 0u);
    const CZK_EL_EVT& first = (*list)[0];
    EXPECT_EQ(first.Channel, "Security");
    EXPECT_EQ(first.TimeCreated, "2024-01-01T00:00:01.000000000Z");
    EXPECT_EQ(first.EventId, "4624");
    EXPECT_EQ(first.Severity, "Audit Success");
    EXPECT_EQ(first.Message, "Event message not found");
  }
  auto list = NewRecordList<EventList>();
  uint32_t error = 0;
  EXPECT_FALSE(QueryEvents(*list, QueryList("Nope", "*"), error, false));
  EXPECT_EQ(error, kErrorEvtChannelNotFound);
  EXPECT_EQ(log_->open_handles(), 0u);
}

// EvtSeek moves the read position forward or back (reading the query again
// from its start), relative to the first event or the current position.
TEST_F(OfflineEventLogTest, SeekMovesTheReadPositionBothWays) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 300; ++i)  // several chunks
    events.push_back(FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  WriteLog(dir_.path() / "Security.evtx", events);
  Open();
  EvtHandle q = Query(QueryList("Security", "*"));
  ASSERT_NE(q, nullptr);
  // The record id of the next event, or 0 at the end.
  auto next = [&]() -> uint64_t {
    EvtHandle e[1];
    uint32_t n = 0;
    if (!log_->EvtNext(q, 1, e, kEvtInfiniteTimeout, 0, &n)) return 0;
    const uint64_t id = RecordId(e[0]);
    log_->EvtClose(e[0]);
    return id;
  };
  EvtHandle batch[100];
  uint32_t n = 0;
  ASSERT_TRUE(log_->EvtNext(q, 100, batch, kEvtInfiniteTimeout, 0, &n));
  for (uint32_t i = 0; i < n; ++i) log_->EvtClose(batch[i]);
  const struct {
    int64_t position;
    uint32_t flags;
    uint64_t next_id;
  } steps[] = {
      {40, kEvtSeekRelativeToFirst, 41},     // back
      {250, kEvtSeekRelativeToFirst, 251},   // forward, past chunks
      {-11, kEvtSeekRelativeToCurrent, 241}, // back from 252
      {5, kEvtSeekRelativeToCurrent, 247},
      {0, kEvtSeekRelativeToFirst, 1},
      {900, kEvtSeekRelativeToFirst, 0},     // past the end: at the end
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.position);
    ASSERT_TRUE(log_->EvtSeek(q, step.position, nullptr, 0, step.flags));
    EXPECT_EQ(next(), step.next_id);
  }
  const struct {
    int64_t position;
    EvtHandle bookmark;
    uint32_t flags;
    uint32_t error;
  } refused[] = {
      {-1, nullptr, kEvtSeekRelativeToFirst, kErrorInvalidParameter},
      {0, nullptr, kEvtSeekRelativeToLast, kErrorNotSupported},
      {0, q, kEvtSeekRelativeToBookmark, kErrorNotSupported},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(log_->EvtSeek(q, r.position, r.bookmark, 0, r.flags));
    EXPECT_EQ(fake_.system.GetLastError(), r.error);
  }
  EXPECT_TRUE(log_->EvtCancel(q));
  EXPECT_FALSE(log_->EvtSeek(q, 0, nullptr, 0, kEvtSeekRelativeToFirst));
  EXPECT_EQ(fake_.system.GetLastError(), kErrorCancelled);
  EXPECT_TRUE(log_->EvtClose(q));
  EXPECT_EQ(log_->open_handles(), 0u);
}

}  // namespace
}  // namespace qrv::offline
