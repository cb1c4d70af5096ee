// Legacy records as the events the service serves: the XML each kind of
// record renders to, oldest first from a wrapped log, a record too large
// for a chunk kept with its strings cut, and events captured without a
// chunk equal to those read from one.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/evt/evt_writer.h"
#include "formats/evtx/chunk_decoder.h"
#include "platform/offline/service/legacy_log_source.h"
#include "platform/win32_types.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;

class LegacyLogSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() /
            ("qrv-legacy-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             ".evt");
  }
  void TearDown() override { fs::remove(path_); }

  void Write(const std::vector<uint8_t>& bytes) {
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // The XML of every event the source hands out.
  std::vector<std::string> ReadXml() {
    uint32_t error = 0;
    std::unique_ptr<LegacyLogSource> source = LegacyLogSource::Open(path_, "System", &error);
    EXPECT_NE(source, nullptr) << error;
    std::vector<std::string> out;
    if (!source) return out;
    std::vector<uint8_t> chunk(evtx::kChunkSize);
    evtx::ChunkDecoder decoder;
    evtx::ReaderStats stats;
    while (uint32_t size = source->NextChunk(chunk.data())) {
      EXPECT_TRUE(decoder.Load(chunk.data(), size, &stats));
      evtx::RecordRef record;
      while (decoder.NextRecord(&record)) {
        std::string xml;
        EXPECT_EQ(decoder.RenderXml(record, &xml), evtx::DecodeStatus::kOk);
        out.push_back(xml);
      }
    }
    return out;
  }

  fs::path path_;
};

evt::WriterRecord Record(uint32_t number, uint32_t event_id, uint16_t type) {
  evt::WriterRecord r;
  r.number = number;
  r.time_generated = 1311748907 + number;  // 2011-07-27T06:41:47Z + number
  r.time_written = r.time_generated + 5;
  r.event_id = event_id;
  r.event_type = type;
  r.category = 3;
  r.source = u"Src";
  r.computer = u"XP";
  return r;
}

constexpr char kHead[] = "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System>";

TEST_F(LegacyLogSourceTest, RecordsRenderAsClassicEventsOldestFirst) {
  std::vector<evt::WriterRecord> records = {
      Record(7, 0xC0001B58, evt::kTypeError), Record(8, 0x8000A001, evt::kTypeWarning),
      Record(9, 17, evt::kTypeInformation), Record(10, 528, evt::kTypeAuditSuccess),
      Record(11, 529, evt::kTypeAuditFailure)};
  records[0].strings = {u"Alerter", u"%%1053"};
  records[0].sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  records[0].data = {0xDE, 0xAD, 0x01};
  // The oldest record near the end of the file: the log has wrapped.
  Write(evt::WriteEvtLog(records, {0x1000, 0xF00}));

  const auto system = [](const char* id, const char* level, const char* keywords, int number,
                         const char* security) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "%s<Provider Name='Src'/>%s<Version>0</Version><Level>%s</Level><Task>3</Task>"
                  "<Opcode>0</Opcode><Keywords>%s</Keywords>"
                  "<TimeCreated SystemTime='2011-07-27T06:41:%02d.0000000Z'/>"
                  "<EventRecordID>%d</EventRecordID><Correlation/>"
                  "<Execution ProcessID='0' ThreadID='0'/><Channel>System</Channel>"
                  "<Computer>XP</Computer>%s</System>",
                  kHead, id, level, keywords, 47 + number, number, security);
    return std::string(text);
  };
  const std::vector<std::string> want = {
      system("<EventID Qualifiers='49152'>7000</EventID>", "2", "0x80000000000000", 7,
             "<Security UserID='S-1-5-18'/>") +
          "<EventData><Data>Alerter</Data><Data>%%1053</Data><Binary>DEAD01</Binary>"
          "</EventData></Event>",
      system("<EventID Qualifiers='32768'>40961</EventID>", "3", "0x80000000000000", 8,
             "<Security/>") + "<EventData></EventData></Event>",
      system("<EventID Qualifiers='0'>17</EventID>", "4", "0x80000000000000", 9,
             "<Security/>") + "<EventData></EventData></Event>",
      system("<EventID Qualifiers='0'>528</EventID>", "0", "0xa0000000000000", 10,
             "<Security/>") + "<EventData></EventData></Event>",
      system("<EventID Qualifiers='0'>529</EventID>", "0", "0x90000000000000", 11,
             "<Security/>") + "<EventData></EventData></Event>",
  };
  EXPECT_EQ(ReadXml(), want);
}

TEST_F(LegacyLogSourceTest, ARecordLargerThanAChunkIsKeptCut) {
  std::vector<evt::WriterRecord> records = {Record(1, 1, evt::kTypeInformation),
                                            Record(2, 2, evt::kTypeInformation),
                                            Record(3, 3, evt::kTypeInformation)};
  records[1].strings = {u"short", std::u16string(40000, u'x')};
  records[1].data = std::vector<uint8_t>(1000, 0x5A);
  Write(evt::WriteEvtLog(records, {0x40000}));
  const std::vector<std::string> xml = ReadXml();
  ASSERT_EQ(xml.size(), 3u);
  EXPECT_NE(xml[1].find("<Data>short</Data><Data>xxxx"), std::string::npos);
  EXPECT_EQ(xml[1].find("<Binary>"), std::string::npos);
  EXPECT_NE(xml[2].find("<EventRecordID>3</EventRecordID>"), std::string::npos);
}

// What an event captured from a legacy record says, whichever way it was
// captured: its System values, names, data items and XML.
// `reader` is shared by the events of a list, as the service shares one:
// what it has loaded for one event must not serve the next.
std::string Describe(const CapturedEvent& e, CapturedRecordReader& reader) {
  const evtx::SystemProperties& p = e.system;
  // Code units as they are: a name's unpaired surrogate must not vanish.
  const auto units = [](const std::u16string& name) {
    return std::string(reinterpret_cast<const char*>(name.data()), name.size() * 2);
  };
  std::string text = std::to_string(p.present) + " " + std::to_string(p.layout) + " " +
                     std::to_string(p.event_id) + " " + std::to_string(p.qualifiers) + " " +
                     std::to_string(p.level) + " " + std::to_string(p.task) + " " +
                     std::to_string(p.keywords) + " " + std::to_string(p.time_created) + " " +
                     std::to_string(p.event_record_id) + " " + std::to_string(p.process_id) + " " +
                     units(e.provider_name) + "|" + units(e.channel) + "|" + units(e.computer) +
                     "|" +
                     std::string(e.user_sid.begin(), e.user_sid.end()) + "|";
  std::vector<std::string> items;
  EXPECT_TRUE(reader.ReadDataItems(e, &items));
  for (const std::string& item : items) text += item + "|";
  std::string xml;
  EXPECT_TRUE(reader.RenderXml(e, &xml));
  return text + xml;
}

TEST_F(LegacyLogSourceTest, EventsCapturedWithoutAChunkEqualThoseReadFromOne) {
  std::vector<evt::WriterRecord> records;
  const uint16_t types[] = {evt::kTypeError, evt::kTypeWarning, evt::kTypeInformation,
                            evt::kTypeAuditSuccess, evt::kTypeAuditFailure};
  for (uint32_t i = 0; i < 5; ++i) records.push_back(Record(20 + i, 0x40000000u | i, types[i]));
  records[0].sid = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8,
                    9, 10, 11, 12, 0xE9, 3, 0, 0};
  records[1].sid = {1, 9, 0, 0, 0, 0, 0, 5};  // claims more parts than it holds
  records[2].source = u"Src\xD800";               // an unpaired surrogate
  records[2].strings = {u"a\xDC00" u"b", u"", u"two words"};
  records[2].data = {1, 2, 3};
  records[3].strings = {std::u16string(20000, u'y'), u"after"};  // past the direct size
  records[2].sid = records[0].sid;
  records[4].sid = records[0].sid;  // the same SID again, after one without
  Write(evt::WriteEvtLog(records, {0x40000}));

  uint32_t error = 0;
  std::unique_ptr<LegacyLogSource> by_chunk = LegacyLogSource::Open(path_, "System", &error);
  std::unique_ptr<LegacyLogSource> by_event = LegacyLogSource::Open(path_, "System", &error);
  ASSERT_NE(by_chunk, nullptr);
  ASSERT_NE(by_event, nullptr);
  auto chunk = std::make_shared<ChunkSnapshot>();
  std::vector<std::string> from_chunks;
  CapturedRecordReader chunk_reader;
  while ((chunk->size = by_chunk->NextChunk(chunk->bytes)) != 0) {
    evtx::ChunkDecoder decoder;
    evtx::ReaderStats stats;
    ASSERT_TRUE(decoder.Load(chunk->bytes, chunk->size, &stats));
    evtx::RecordRef record;
    while (decoder.NextRecord(&record)) {
      evtx::SystemProperties props;
      ASSERT_EQ(decoder.ReadSystem(record, &props), evtx::DecodeStatus::kOk);
      CapturedEvent event;
      CaptureEvent(props, chunk, record, &event);
      from_chunks.push_back(Describe(event, chunk_reader));
    }
    chunk = std::make_shared<ChunkSnapshot>();
  }
  std::vector<std::string> direct;
  // One event filled again and again, as a worker's spare is.
  CapturedEvent event;
  CapturedRecordReader direct_reader;
  while (by_event->NextEvent(&event)) direct.push_back(Describe(event, direct_reader));
  ASSERT_EQ(direct.size(), records.size());
  EXPECT_EQ(direct, from_chunks);
}

TEST_F(LegacyLogSourceTest, OpenTellsMissingFromNotALegacyLog) {
  uint32_t error = 0;
  EXPECT_EQ(LegacyLogSource::Open(path_, "System", &error), nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
  Write(std::vector<uint8_t>(0x1000, 0));
  EXPECT_EQ(LegacyLogSource::Open(path_, "System", &error), nullptr);
  EXPECT_EQ(error, kErrorFileCorrupt);
}

}  // namespace
}  // namespace qrv::offline
