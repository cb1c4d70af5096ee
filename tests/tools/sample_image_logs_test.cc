// The sample image's .evtx files read back through the EVTX reader: each holds
// the records its content lists (count, ids, levels, keywords, times, data),
// and together they cover what the image promises its users: every level,
// exact audit keywords, classic and manifest events, a fixed date window.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/evtx/file_reader.h"
#include "formats/pe/wevt_manifest.h"
#include "sample_image_test_util.h"
#include "tools/sample_image_content.h"

namespace qrv::sample {
namespace {

using testing::BuiltImage;
using testing::ReadBytes;
using P = evtx::SystemProperty;

// 2024-03-04T00:00:00Z and 2024-03-08T00:00:00Z as FILETIME.
constexpr uint64_t kWindowStart = 133539840000000000ULL;
constexpr uint64_t kWindowEnd = 133543296000000000ULL;

struct ReadRecord {
  evtx::SystemProperties props;
  std::string provider;
  std::string channel;
  std::string guid;  // braced, upper case; empty when absent
  std::string xml;
};

// The records of one log, oldest first; their text fields copied out, since
// the reader's views end with the next record.
std::vector<ReadRecord> ReadLog(const std::string& channel) {
  std::string file;
  for (const char c : channel) file += c == '/' ? std::string("%4") : std::string(1, c);
  const std::vector<uint8_t> bytes =
      ReadBytes(BuiltImage() / "Windows/System32/winevt/Logs" / (file + ".evtx"));
  std::vector<ReadRecord> out;
  evtx::FileReader reader;
  if (!reader.Open(bytes.data(), bytes.size())) {
    ADD_FAILURE() << "not an event log: " << file;
    return out;
  }
  evtx::RecordCursor cursor(reader, evtx::RecordOrder::kOldestFirst);
  while (cursor.Next()) {
    ReadRecord r;
    EXPECT_EQ(cursor.decoder().ReadSystem(cursor.record(), &r.props), evtx::DecodeStatus::kOk);
    EXPECT_EQ(cursor.decoder().RenderXml(cursor.record(), &r.xml), evtx::DecodeStatus::kOk);
    r.provider = r.props.provider_name.ToUtf8();
    r.channel = r.props.channel.ToUtf8();
    if (r.props.Has(P::kProviderGuid)) {
      pe::Guid guid;
      std::copy(std::begin(r.props.provider_guid.bytes), std::end(r.props.provider_guid.bytes),
                guid.bytes.begin());
      r.guid = guid.ToString();
    }
    out.push_back(std::move(r));
  }
  // A sound file: checksums right, nothing passed over, closed cleanly.
  const evtx::ReaderStats& stats = cursor.stats();
  EXPECT_FALSE(stats.header_bad_checksum || stats.header_dirty) << channel;
  EXPECT_EQ(stats.chunks_bad_header_checksum + stats.chunks_bad_data_checksum + stats.records_torn +
                stats.records_unparsable,
            0u)
      << channel;
  return out;
}

// The EventData part of the event XML the content implies.
std::string ExpectedEventData(const SampleEvent& e) {
  std::string xml = "<EventData>";
  for (size_t i = 0; i < e.record.event_data.size(); ++i) {
    const std::string& name = e.record.event_data[i].name;
    xml += name.empty() ? "<Data>" : "<Data Name='" + name + "'>";
    xml += e.inserts[i] + "</Data>";
  }
  return xml + "</EventData>";
}

class SampleLogsTest : public ::testing::Test {
 protected:
  SampleImage content_ = MakeSampleImage();
};

TEST_F(SampleLogsTest, EachLogHoldsItsRecordsInOrder) {
  const std::map<std::string, size_t> expected_counts = {
      {"Application", 36},
      {"System", 30},
      {"Security", 40},
      {"Microsoft-Windows-QRV-Sample/Operational", 24}};
  for (const auto& [channel, count] : expected_counts) {
    SCOPED_TRACE(channel);
    const std::vector<ReadRecord> read = ReadLog(channel);
    const std::vector<const SampleEvent*> written = content_.EventsOf(channel);
    ASSERT_EQ(read.size(), count);
    ASSERT_EQ(written.size(), count);
    for (size_t i = 0; i < count; ++i) {
      SCOPED_TRACE(i);
      const evtx::WriterEvent& w = written[i]->record;
      const evtx::SystemProperties& p = read[i].props;
      EXPECT_EQ(p.event_record_id, i + 1);
      EXPECT_EQ(read[i].provider, w.provider_name);
      EXPECT_EQ(read[i].channel, channel);
      EXPECT_EQ(p.event_id, w.event_id);
      ASSERT_EQ(p.Has(P::kQualifiers), w.qualifiers.has_value());
      if (w.qualifiers) {
        EXPECT_EQ(p.qualifiers, *w.qualifiers);
      }
      EXPECT_EQ(p.version, w.version);
      EXPECT_EQ(p.level, w.level);
      EXPECT_EQ(p.task, w.task);
      EXPECT_EQ(p.keywords, w.keywords);
      EXPECT_EQ(p.time_created, w.time_created);
      EXPECT_NE(read[i].xml.find(ExpectedEventData(*written[i])), std::string::npos) << read[i].xml;
      if (i > 0) {
        EXPECT_GT(p.time_created, read[i - 1].props.time_created);
      }
      EXPECT_GE(p.time_created, kWindowStart);
      EXPECT_LT(p.time_created, kWindowEnd);
    }
  }
}

TEST_F(SampleLogsTest, EveryLevelOccursAndOnlyAuditsHaveLevelZero) {
  std::set<uint8_t> levels;
  for (const char* channel :
       {"Application", "System", "Security", "Microsoft-Windows-QRV-Sample/Operational"}) {
    for (const ReadRecord& r : ReadLog(channel)) {
      levels.insert(r.props.level);
      if (r.props.level == 0) {
        EXPECT_STREQ(channel, "Security");
      }
    }
  }
  EXPECT_EQ(levels, (std::set<uint8_t>{0, 1, 2, 3, 4, 5}));
}

TEST_F(SampleLogsTest, SecurityHoldsAuditsWithExactKeywordsAndNoQualifiers) {
  size_t successes = 0;
  size_t failures = 0;
  for (const ReadRecord& r : ReadLog("Security")) {
    EXPECT_EQ(r.provider, "Microsoft-Windows-Security-Auditing");
    EXPECT_EQ(r.guid, "{54849625-5478-4994-A5BA-3E3B0328C30D}");
    EXPECT_FALSE(r.props.Has(P::kQualifiers));
    EXPECT_EQ(r.props.level, 0);
    if (r.props.keywords == 0x8020000000000000ULL) {
      ++successes;
    } else if (r.props.keywords == 0x8010000000000000ULL) {
      ++failures;
      EXPECT_EQ(r.props.event_id, 4625);
    } else {
      ADD_FAILURE() << std::hex << r.props.keywords;
    }
  }
  EXPECT_EQ(successes, 28u);
  EXPECT_EQ(failures, 12u);
}

// Classic events: Qualifiers, the Classic keyword, unnamed <Data>, no GUID.
// Manifest events: the provider GUID, no Qualifiers, named <Data>.
TEST_F(SampleLogsTest, ClassicAndManifestEventsKeepTheirShapes) {
  size_t classic = 0;
  size_t manifest = 0;
  for (const char* channel :
       {"Application", "System", "Security", "Microsoft-Windows-QRV-Sample/Operational"}) {
    for (const ReadRecord& r : ReadLog(channel)) {
      SCOPED_TRACE(r.xml);
      if (r.props.Has(P::kQualifiers)) {
        ++classic;
        EXPECT_TRUE(r.guid.empty());
        EXPECT_EQ(r.props.keywords, 0x0080000000000000ULL);
        EXPECT_NE(r.xml.find("<EventData><Data>"), std::string::npos);
        EXPECT_EQ(r.xml.find("<Data Name="), std::string::npos);
      } else {
        ++manifest;
        EXPECT_FALSE(r.guid.empty());
        EXPECT_NE(r.xml.find("<EventData><Data Name='"), std::string::npos);
      }
    }
  }
  // Application: 21 classic of 36; System: all 30.
  EXPECT_EQ(classic, 51u);
  EXPECT_EQ(manifest, 79u);
}

}  // namespace
}  // namespace qrv::sample
