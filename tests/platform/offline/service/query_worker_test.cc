// Reading ahead on a worker: every corpus file (damaged ones included) and
// one query merging several files give the same lines through QueryEvents
// whether the events are read ahead on a worker or on the caller's thread,
// with messages formatted ahead for a registered provider; the worker keeps
// the query's order, formats on its own thread, and stops when told; legacy
// records count as less work, and towards its memory bound when held ahead.
#include "platform/offline/service/query_worker.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "formats/evt/evt_writer.h"
#include "platform/metadata_cache.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/service/offline_event_log.h"
#include "platform/platform.h"
#include "query/query_events.h"
#include "query/print_events.h"
#include "tests/platform/offline/messages/message_fixture.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/support/fake_platform.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;

constexpr char kAuditDll[] = "C:\\Windows\\System32\\audit.dll";

std::string Query(const std::vector<fs::path>& files) {
  std::string query = "<QueryList>";
  for (size_t i = 0; i < files.size(); ++i) {
    query += "<Query Id='" + std::to_string(i) + "' Path='file://" +
             files[i].string() + "'><Select>*</Select></Query>";
  }
  return query + "</QueryList>";
}

// The `n` largest files, several thousand events each.
std::vector<fs::path> Largest(std::vector<fs::path> files, size_t n) {
  std::stable_sort(files.begin(), files.end(),
                   [](const fs::path& a, const fs::path& b) {
                     return fs::file_size(a) > fs::file_size(b);
                   });
  files.resize(std::min(n, files.size()));
  return files;
}

// The security events' messages come from a classic source registered for
// the auditing provider, so real inserts are formatted ahead.
class WorkerOutputTest : public ::testing::Test {
 protected:
  WorkerOutputTest() {
    files_.Add(kAuditDll, test::MessageDll({{4624, "Logon of %5 (%6) type %9."},
                                            {4672, "Privileges for %2: %5"},
                                            {4688, "Process %6 by %2 %99"}}));
    test::RegisterSource(fake_.registry, "Security",
                         "Microsoft-Windows-Security-Auditing",
                         {kAuditDll, "", ""});
    catalog_ = std::make_unique<MessageCatalog>(fake_.registry,
                                                files_.Resolver(), files_);
  }

  // What GETEVENTSQUERY prints for `query`, or the failure code; every
  // handle is closed afterwards, a worker's query included. `threaded`
  // starts a thread for every query, however small.
  std::string Printed(const std::string& query, bool threaded) {
    OfflineEventLog service(QuerySources{nullptr, "/", nullptr}, fake_.system,
                            *catalog_, threaded, 0);
    std::string printed;
    {
      MetadataCache cache(service, fake_.system);
      fake_.output.str("");
      ScopedPlatform scope(
          Platform{&cache, &fake_.registry, &fake_.system, &fake_.output});
      auto list = NewRecordList<EventList>();
      uint32_t error = 0;
      if (QueryEvents(*list, query, error, false)) {
        PrintEventList(*list);
        printed = fake_.output.str();
      } else {
        printed = "failed " + std::to_string(error);
      }
    }
    EXPECT_EQ(service.open_handles(), 0u);
    return printed;
  }

  fake::FakePlatform fake_;
  test::MemoryImage files_;
  std::unique_ptr<MessageCatalog> catalog_;
};

TEST_F(WorkerOutputTest, SameLinesOnTheWorkerAndOnTheCallersThread) {
  const std::vector<fs::path> corpus = testing::CorpusEvtxFiles();
  if (corpus.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  size_t formatted = 0;
  for (const fs::path& file : corpus) {
    SCOPED_TRACE(file.string());
    const std::string query = Query({file});
    const std::string alone = Printed(query, false);
    EXPECT_EQ(Printed(query, true), alone);
    if (alone.find("Logon of ") != std::string::npos) ++formatted;
  }
  EXPECT_GT(formatted, 10u);
  // Several files merged oldest first.
  const std::vector<fs::path> some = Largest(corpus, 6);
  const std::string merged = Printed(Query(some), false);
  EXPECT_NE(merged.find('\n'), std::string::npos);
  EXPECT_EQ(Printed(Query(some), true), merged);
}

// Whether a query starts a thread follows its record count, estimated at
// open: within a factor of two of the events it gives, for the largest
// corpus logs, all of them together, and the XP legacy log.
TEST(QueryWorkerTest, RecordCountEstimatedAtOpen) {
  const std::vector<fs::path> corpus = testing::CorpusEvtxFiles();
  if (corpus.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  std::vector<std::vector<fs::path>> queries;
  const std::vector<fs::path> largest = Largest(corpus, 4);
  for (const fs::path& file : largest) queries.push_back({file});
  queries.push_back(largest);
  const fs::path legacy = fs::path(QRV_SHARED_DIR) / "corpus/evt/SysEvent.Evt";
  if (fs::exists(legacy)) queries.push_back({legacy});
  for (const std::vector<fs::path>& files : queries) {
    SCOPED_TRACE(files.front().string());
    uint32_t error = 0;
    std::unique_ptr<EventQuery> query = EventQuery::Open(
        std::make_unique<xpath::CompiledQuery>(Query(files), xpath::SourcePath{}),
        QuerySources{}, false, 0, &error);
    ASSERT_NE(query, nullptr);
    uint64_t events = 0;
    CapturedEvent event;
    while (query->Next(&event)) ++events;
    EXPECT_GE(query->approximate_records() * 2, events);
    EXPECT_LE(query->approximate_records(), events * 2);
  }
}

TEST(QueryWorkerTest, FormatsOnItsOwnThreadInTheQuerysOrderAndStops) {
  const std::vector<fs::path> corpus = testing::CorpusEvtxFiles();
  if (corpus.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  const std::vector<fs::path> some = Largest(corpus, 6);
  const auto open = [&] {
    auto compiled = std::make_unique<xpath::CompiledQuery>(
        Query(some), xpath::SourcePath{});
    uint32_t error = 0;
    return EventQuery::Open(std::move(compiled), QuerySources{}, false, 0,
                            &error);
  };
  std::vector<uint64_t> expected;
  {
    std::unique_ptr<EventQuery> query = open();
    ASSERT_NE(query, nullptr);
    CapturedEvent event;
    while (query->Next(&event)) expected.push_back(event.system.event_record_id);
  }
  ASSERT_GT(expected.size(), 2 * kMaxEventsAhead);

  // Records on which thread it formats, and formats nothing.
  class Recorder : public MessageFormatter {
   public:
    bool HasProvider(const std::string&) override { return true; }
    std::optional<FormattedEventMessage> Format(
        const EventMessageRequest&) override {
      threads.push_back(std::this_thread::get_id());
      return std::nullopt;
    }
    std::vector<std::thread::id> threads;
  } recorder;
  QueryWorker worker(open(), &recorder, true);
  std::vector<uint64_t> ids;
  PreparedEventPtr event;
  while (worker.Next(&event)) {
    ids.push_back(event->event.system.event_record_id);
    ASSERT_TRUE(event->request.has_value());
  }
  EXPECT_EQ(ids, expected);
  // Events queued while the caller waited are left to it to format; every
  // other one is formatted once, on the worker.
  ASSERT_LE(recorder.threads.size(), expected.size());
  for (const std::thread::id& id : recorder.threads)
    EXPECT_NE(id, std::this_thread::get_id());

  // Stopped halfway: nothing more comes, and the destructor joins.
  QueryWorker stopped(open(), nullptr, true);
  ASSERT_TRUE(stopped.Next(&event));
  stopped.Stop();
  EXPECT_FALSE(stopped.Next(&event));
}

// A legacy log of `count` records with `data` bytes of binary data each,
// written to a temporary file.
fs::path WriteLegacyLog(const std::string& name, uint32_t count, size_t data) {
  std::vector<evt::WriterRecord> records(count);
  for (uint32_t n = 0; n < count; ++n) {
    records[n].number = n + 1;
    records[n].time_generated = records[n].time_written = 1311748907 + n;
    records[n].source = u"Src";
    records[n].computer = u"XP";
    records[n].data.assign(data, 0x5A);
  }
  const fs::path path =
      fs::temp_directory_path() / ("qrv-" + name + "-" + std::to_string(::getpid()) + ".evt");
  const std::vector<uint8_t> bytes =
      evt::WriteEvtLog(records, {static_cast<uint32_t>((count + 1) * (data + 4096))});
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(QueryWorkerTest, LegacyRecordsReadWithoutAChunkCountAsHalfTheWork) {
  const fs::path path = WriteLegacyLog("work", 100, 0);
  const std::string file = "file://" + path.string();
  struct Case {
    std::string select;
    bool halved;
  };
  for (const Case& c : {Case{"*", true}, Case{"*[System[EventID=0]]", true},
                        Case{"*[EventData[Data='x']]", false}}) {
    SCOPED_TRACE(c.select);
    uint32_t error = 0;
    auto query = EventQuery::Open(
        std::make_unique<xpath::CompiledQuery>(
            "<QueryList><Query Id='0' Path='" + file + "'><Select>" + c.select +
                "</Select></Query></QueryList>",
            xpath::SourcePath{}),
        QuerySources{}, false, 0, &error);
    ASSERT_NE(query, nullptr) << error;
    EXPECT_EQ(query->approximate_records(), 100u);
    EXPECT_EQ(query->approximate_work(), c.halved ? 50u : 100u);
  }
  fs::remove(path);
}

TEST(QueryWorkerTest, LegacyRecordsCountTowardsTheBytesHeldAhead) {
  // Records of half a MiB, which no chunk holds: a caller that takes none
  // may have only the bytes bound's worth read ahead, not a queue's worth.
  constexpr uint32_t kRecords = 40;
  constexpr size_t kData = 512 << 10;
  const fs::path path = WriteLegacyLog("ahead", kRecords, kData);
  class Counter : public MessageFormatter {
   public:
    bool HasProvider(const std::string&) override { return true; }
    std::optional<FormattedEventMessage> Format(const EventMessageRequest&) override {
      ++formatted;
      return std::nullopt;
    }
    std::atomic<uint32_t> formatted{0};
  } counter;
  {
    uint32_t error = 0;
    auto query = EventQuery::Open(
        std::make_unique<xpath::CompiledQuery>(Query({path}), xpath::SourcePath{}),
        QuerySources{}, false, 0, &error);
    ASSERT_NE(query, nullptr) << error;
    QueryWorker worker(std::move(query), &counter, true);
    // Until the worker has made nothing new for a while.
    uint32_t seen = 0;
    for (int still = 0, rounds = 0; still < 5 && rounds < 500; ++rounds) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const uint32_t now = counter.formatted.load();
      still = now == seen ? still + 1 : 0;
      seen = now;
    }
    EXPECT_GT(seen, 0u);
    EXPECT_LE(seen * kData, kMaxTextBytesAhead + kData);
  }
  fs::remove(path);
}

}  // namespace
}  // namespace qrv::offline
