// Which tree each record is tested on: System-only queries use the tree
// built from properties for templates that match it, every other query (and
// every template that does not match) the reader's full tree; records that
// do not decode are passed over. Counted through EventQuery.
#include "platform/offline/service/record_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/offline/service/event_query.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/platform/offline/service/service_fixtures.h"

namespace qrv::offline {
namespace {

struct Outcome {
  std::vector<uint64_t> ids;
  StreamCounts counts;
};

Outcome RunQuery(const std::filesystem::path& file, const std::string& xpath) {
  Outcome out;
  auto compiled = std::make_unique<xpath::CompiledQuery>(
      xpath,
      xpath::SourcePath{xpath::PathKind::kFile, file.string()});
  EXPECT_TRUE(compiled->ok()) << xpath;
  uint32_t error = 0;
  std::unique_ptr<EventQuery> query =
      EventQuery::Open(std::move(compiled), QuerySources{}, false, 0, &error);
  EXPECT_NE(query, nullptr) << error;
  if (!query) return out;
  CapturedEvent event;
  while (query->Next(&event)) out.ids.push_back(event.system.event_record_id);
  out.counts = query->counts();
  return out;
}

TEST(RecordStreamTest, SystemOnlyQueriesUseTheTreeFromProperties) {
  testing::TempFolder dir;
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 500; ++i)
    events.push_back(testing::FixtureEvent(i, i % 10 ? 4634 : 4624,
                                           static_cast<uint32_t>(i)));
  const std::filesystem::path file = dir.path() / "s.evtx";
  testing::WriteLog(file, events);

  const Outcome system = RunQuery(file, "*[System[EventID=4624]]");
  EXPECT_EQ(system.ids.size(), 50u);
  EXPECT_EQ(system.counts.records, 500u);
  EXPECT_EQ(system.counts.system_trees, 500u);
  EXPECT_EQ(system.counts.full_trees, 0u);

  const Outcome data =
      RunQuery(file, "*[EventData[Data[@Name='TargetUserName']='user0']]");
  EXPECT_EQ(data.ids.size(), 125u);
  EXPECT_EQ(data.counts.system_trees, 0u);
  EXPECT_EQ(data.counts.full_trees, 500u);
}

TEST(RecordStreamTest, CorpusClassicTemplatesUseTheTreeFromProperties) {
  const std::filesystem::path root = testing::CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  // Classic System events (Provider/@EventSourceName, a Guid written as
  // text) and modern Security events alike are tested on the tree from
  // properties: every record of these logs is a template instance the
  // builder reproduces.
  const Outcome classic =
      RunQuery(root / "evtx-rs/samples/system.evtx", "*[System[Level<=4]]");
  EXPECT_GT(classic.counts.system_trees, 0u);
  EXPECT_EQ(classic.counts.full_trees, 0u);
  EXPECT_EQ(classic.counts.system_trees + classic.counts.undecodable,
            classic.counts.records);
  const Outcome modern =
      RunQuery(root / "velocidex-evtx/testdata/Security.evtx",
               "*[System[EventID=4624]]");
  EXPECT_EQ(modern.ids.size(), 197u);
  EXPECT_EQ(modern.counts.full_trees, 0u);
  EXPECT_EQ(modern.counts.system_trees, modern.counts.records);
}

// Records the tree from properties cannot stand for (here forwarded events
// saved as plain text, not template instances) are tested on their decoded
// System part: the selection must be what the properties of every record
// say.
TEST(RecordStreamTest, CorpusFallbackSelectsAsThePropertiesSay) {
  const std::filesystem::path root = testing::CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  const std::filesystem::path file =
      root / "EVTX-to-MITRE-Attack/TA0007-Discovery" /
      "T1135.xxx-Network Share Discovery" /
      "ID5140-5145-Bloodhound-SharpHound enumeration via SMB.evtx";
  std::vector<evtx::SystemProperties> all;
  {
    auto compiled = std::make_unique<xpath::CompiledQuery>(
        "*", xpath::SourcePath{xpath::PathKind::kFile, file.string()});
    uint32_t error = 0;
    auto query =
        EventQuery::Open(std::move(compiled), QuerySources{}, false, 0, &error);
    ASSERT_NE(query, nullptr) << error;
    CapturedEvent event;
    while (query->Next(&event)) all.push_back(event.system);
  }
  const struct {
    const char* xpath;
    bool (*keeps)(const evtx::SystemProperties&);
  } cases[] = {
      {"*[System[EventID=5145]]",
       [](const evtx::SystemProperties& p) { return p.event_id == 5145; }},
      {"*[System[EventID=111 or EventID=5140]]",
       [](const evtx::SystemProperties& p) {
         return p.event_id == 111 || p.event_id == 5140;
       }},
      {"*[System[Level=0 and EventID!=5140]]",
       [](const evtx::SystemProperties& p) {
         return p.Has(evtx::SystemProperty::kLevel) && p.level == 0 &&
                p.event_id != 5140;
       }},
  };
  for (const auto& c : cases) {
    std::vector<uint64_t> expected;
    for (const evtx::SystemProperties& p : all) {
      if (c.keeps(p)) expected.push_back(p.event_record_id);
    }
    const Outcome got = RunQuery(file, c.xpath);
    EXPECT_GT(got.counts.full_trees, 0u) << c.xpath;
    EXPECT_FALSE(expected.empty()) << c.xpath;
    EXPECT_EQ(got.ids, expected) << c.xpath;
  }
}

TEST(RecordStreamTest, UndecodableRecordsArePassedOver) {
  testing::TempFolder dir;
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 20; ++i)
    events.push_back(testing::FixtureEvent(i, 4624, static_cast<uint32_t>(i)));
  const std::filesystem::path file = dir.path() / "d.evtx";
  std::vector<uint8_t> bytes = evtx::WriteEvtx(events);
  // Find the 10th record's signature and break its BinXml head.
  int seen = 0;
  for (size_t i = 4096 + 512; i + 30 < bytes.size(); ++i) {
    if (bytes[i] == '*' && bytes[i + 1] == '*' && bytes[i + 2] == 0 &&
        bytes[i + 3] == 0 && ++seen == 10) {
      for (size_t k = 24; k < 30; ++k) bytes[i + k] = 0xFF;
      break;
    }
  }
  ASSERT_EQ(seen, 10);
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  const Outcome all = RunQuery(file, "*");
  EXPECT_EQ(all.ids.size(), 19u);
  EXPECT_EQ(all.counts.undecodable, 1u);
  EXPECT_EQ(std::count(all.ids.begin(), all.ids.end(), 10u), 0);
}

}  // namespace
}  // namespace qrv::offline
