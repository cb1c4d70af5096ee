// Damaged and dirty files: every intact record is still delivered, what is
// broken is passed over and counted, nothing reads outside the bytes given.
// Also the oldest-first order of a log that has wrapped around.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "evtx_test_events.h"
#include "formats/evtx/bytes.h"
#include "formats/evtx/chunk_builder.h"
#include "formats/evtx/crc32.h"

namespace evtx {
namespace {

using testing::ReadFile;
using testing::SecurityEvent;

constexpr size_t kChunk0 = 4096;

// About 4 chunks of records with ids 1..n.
std::vector<uint8_t> FourChunkFile(size_t* count) {
  std::vector<WriterEvent> events;
  for (int i = 0; i < 600; ++i) {
    WriterEvent e = SecurityEvent(4624);
    e.event_data.push_back(
        {"Padding", WriterValue::String(std::string(150, 'p'))});
    events.push_back(e);
  }
  *count = events.size();
  auto file = WriteEvtx(events);
  EXPECT_GE(file.size(), kChunk0 + 4 * kChunkSize);
  return file;
}

size_t Chunks(const std::vector<uint8_t>& file) {
  return (file.size() - kChunk0) / kChunkSize;
}

std::vector<uint64_t> Ids(const testing::ReadBack& back) {
  std::vector<uint64_t> ids;
  for (size_t i = 0; i < back.records.size(); ++i) {
    if (back.status[i] == DecodeStatus::kOk)
      ids.push_back(back.props[i].event_record_id);
  }
  return ids;
}

TEST(FileReaderTest, RejectsBytesWithoutFileSignature) {
  FileReader reader;
  const uint8_t junk[200] = {'E', 'l', 'f'};
  EXPECT_FALSE(reader.Open(junk, sizeof(junk)));
  EXPECT_FALSE(reader.Open(junk, 3));
}

TEST(FileReaderTest, HeaderChunkCountTooLowStillReadsEveryChunk) {
  size_t n;
  auto file = FourChunkFile(&n);
  StoreU16(file.data() + 42, 1);  // as on dirty files; the CRC now fails too
  StoreU32(file.data() + 120, 1);
  const auto back = ReadFile(file);
  EXPECT_EQ(Ids(back).size(), n);
  EXPECT_EQ(back.stats.chunks_beyond_header_count, Chunks(file) - 1);
  EXPECT_TRUE(back.stats.header_bad_checksum);
  EXPECT_TRUE(back.stats.header_dirty);
}

TEST(FileReaderTest, BadChecksumsAreCountedAndRecordsStillDelivered) {
  size_t n;
  auto file = FourChunkFile(&n);
  file[kChunk0 + 60] ^= 0xFF;  // chunk 0 header, reserved but checksummed
  // Chunk 1: change one padding character inside a record's value.
  const size_t chunk1 = kChunk0 + kChunkSize;
  auto it =
      std::search(file.begin() + chunk1, file.begin() + chunk1 + kChunkSize,
                  std::begin("p\0p\0p"), std::end("p\0p\0p") - 1);
  ASSERT_NE(it, file.begin() + chunk1 + kChunkSize);
  *it = 'q';
  const auto back = ReadFile(file);
  EXPECT_EQ(Ids(back).size(), n);
  EXPECT_EQ(back.stats.chunks_bad_header_checksum, 1u);
  EXPECT_EQ(back.stats.chunks_bad_data_checksum, 1u);

  // With the data check off the same records come out and nothing is counted.
  FileReader reader;
  ASSERT_TRUE(reader.Open(file.data(), file.size()));
  RecordCursor cursor(reader, RecordOrder::kFileOrder);
  cursor.decoder().set_verify_data_checksum(false);
  size_t records = 0;
  while (cursor.Next()) ++records;
  EXPECT_EQ(records, n);
  EXPECT_EQ(cursor.stats().chunks_bad_data_checksum, 0u);
  EXPECT_EQ(cursor.stats().chunks_bad_header_checksum, 1u);
}

TEST(FileReaderTest, GarbageAndZeroSlotsArePassedOver) {
  size_t n;
  auto file = FourChunkFile(&n);
  const auto whole = Ids(ReadFile(file));
  const size_t chunks = Chunks(file);
  ASSERT_GE(chunks, 4u);
  std::fill(file.begin() + kChunk0 + kChunkSize,
            file.begin() + kChunk0 + 2 * kChunkSize, 0xAB);
  std::fill(file.begin() + kChunk0 + 2 * kChunkSize,
            file.begin() + kChunk0 + 3 * kChunkSize, 0);
  const auto back = ReadFile(file);
  EXPECT_EQ(back.stats.slots_garbage, 1u);
  EXPECT_EQ(back.stats.slots_empty, 1u);
  EXPECT_EQ(back.stats.chunks, chunks - 2);
  const auto ids = Ids(back);
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(ids.front(), 1u);
  EXPECT_EQ(ids.back(), whole.back());
  EXPECT_LT(ids.size(), whole.size());
}

TEST(FileReaderTest, TruncatedFileDeliversRecordsBeforeTheCut) {
  size_t n;
  auto file = FourChunkFile(&n);
  const auto whole = ReadFile(file);
  const size_t cut = kChunk0 + (Chunks(file) - 1) * kChunkSize + 3000;
  file.resize(cut);
  const auto back = ReadFile(file);
  EXPECT_EQ(back.stats.chunks_truncated, 1u);
  const auto ids = Ids(back);
  ASSERT_GT(ids.size(), 0u);
  // Every record that ended before the cut is there, in order. File order
  // restarts the in-chunk offsets at each new chunk.
  size_t expected = 0, chunk = 0;
  for (size_t i = 0; i < whole.records.size(); ++i) {
    if (i > 0 && whole.records[i].offset < whole.records[i - 1].offset) ++chunk;
    const RecordRef& r = whole.records[i];
    if (kChunk0 + chunk * kChunkSize + r.offset + r.size <= cut) ++expected;
  }
  ASSERT_LT(expected, n);
  EXPECT_EQ(ids.size(), expected);
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], i + 1);
}

TEST(FileReaderTest, OverwrittenRecordHeadIsSkippedAndTheRestDelivered) {
  size_t n;
  auto file = FourChunkFile(&n);
  const auto whole = ReadFile(file);
  const RecordRef victim = whole.records[3];  // in chunk 0
  file[kChunk0 + victim.offset] = 0x00;
  const auto back = ReadFile(file);
  const auto ids = Ids(back);
  EXPECT_EQ(ids.size(), n - 1);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), victim.record_id), 0);
  EXPECT_EQ(back.stats.records_torn, 1u);
}

TEST(FileReaderTest, TornSizeCopyStillOffersTheRecord) {
  size_t n;
  auto file = FourChunkFile(&n);
  const auto whole = ReadFile(file);
  const RecordRef victim = whole.records[5];
  StoreU32(file.data() + kChunk0 + victim.offset + victim.size - 4, 0);
  const auto back = ReadFile(file);
  EXPECT_EQ(Ids(back).size(), n);
  EXPECT_EQ(back.stats.records_bad_size_copy, 1u);
  EXPECT_FALSE(back.records[5].size_copy_ok);
}

TEST(FileReaderTest, BrokenTemplateMakesRecordsUnparsableNotFatal) {
  size_t n;
  auto file = FourChunkFile(&n);
  const auto whole = ReadFile(file);
  // The first record of chunk 0 defines the System template; break its data
  // size so that it and every later record of the chunk that uses it fail.
  const size_t def = kChunk0 + whole.records[0].offset + 24 + 4 + 10;
  StoreU32(file.data() + def + 20, 0xFFFFFF00u);
  const auto back = ReadFile(file);
  EXPECT_GT(back.stats.records_unparsable, 0u);
  const auto ids = Ids(back);
  EXPECT_EQ(ids.size() + back.stats.records_unparsable, n);
}

// Writes into `c` a template instance of <E>%0</E> whose value 0 is BinXml
// holding the same instance again, `depth` instances in all (the innermost
// value is null). The definition is written inline the first time.
void NestedInstance(ChunkBuilder& c, int depth) {
  constexpr uint32_t kId = 0x4E455354;
  c.Put8(0x0C);
  c.Put8(0x01);
  c.Put32(kId);
  uint32_t def = c.FindTemplate("E");
  if (def != 0) {
    c.Put32(def);
  } else {
    def = c.pos() + 4;
    c.Put32(def);
    c.Put32(0);  // next definition
    const uint8_t guid[16] = {1};
    c.PutBytes(guid, 16);
    const uint32_t size_at = c.pos();
    c.Put32(0);
    const uint8_t fragment[4] = {0x0F, 0x01, 0x01, 0x00};
    c.PutBytes(fragment, 4);
    c.Put8(0x01);  // <E> without attributes, in a template
    c.Put16(kNoIndex);
    const uint32_t element_at = c.pos();
    c.Put32(0);
    c.PutName("E");
    c.Put8(0x02);
    c.Put8(0x0E);  // optional substitution 0, BinXml
    c.Put16(0);
    c.Put8(static_cast<uint8_t>(ValueType::kBinXml));
    c.Put8(0x04);
    c.Patch32(element_at, c.pos() - (element_at + 4));
    c.Put8(0x00);
    c.Patch32(size_at, c.pos() - (size_at + 4));
    c.AddTemplate("E", def, kId);
  }
  c.Put32(1);
  const uint32_t desc_at = c.pos();
  c.Put16(0);
  c.Put8(depth > 1 ? static_cast<uint8_t>(ValueType::kBinXml) : 0);
  c.Put8(0);
  if (depth > 1) {
    const uint32_t start = c.pos();
    const uint8_t fragment[4] = {0x0F, 0x01, 0x01, 0x00};
    c.PutBytes(fragment, 4);
    NestedInstance(c, depth - 1);
    c.Put8(0x00);
    c.Patch16(desc_at, static_cast<uint16_t>(c.pos() - start));
  }
}

// A one-chunk file whose records hold NestedInstance `depths[i]` deep.
std::vector<uint8_t> NestedFile(const std::vector<int>& depths) {
  ChunkBuilder c;
  uint64_t id = 1;
  for (const int depth : depths) {
    const uint32_t start = c.pos();
    const uint8_t magic[4] = {0x2A, 0x2A, 0, 0};
    c.PutBytes(magic, 4);
    c.Put32(0);
    c.Put64(id);
    c.Put64(testing::kTime);
    const uint8_t fragment[4] = {0x0F, 0x01, 0x01, 0x00};
    c.PutBytes(fragment, 4);
    NestedInstance(c, depth);
    c.Put8(0x00);
    const uint32_t size = c.pos() + 4 - start;
    c.Put32(size);
    c.Patch32(start + 4, size);
    c.NoteRecord(id++, start);
  }
  EXPECT_FALSE(c.overflow());
  c.Finalize();
  // The file header of a one-chunk file from the writer.
  std::vector<uint8_t> file = WriteEvtx({SecurityEvent(1)});
  file.resize(kChunk0);
  file.insert(file.end(), c.data(), c.data() + kChunkSize);
  return file;
}

TEST(FileReaderTest, ValuesNestedPastTheCapAreRefusedAndTheNextRecordRead) {
  // The record's own instance and kMaxValueNesting levels of values below
  // it are read; 2,000 levels would overflow a stack that followed them, but
  // the walk stops at its cap and only that record is lost.
  const auto file = NestedFile({kMaxValueNesting + 1, kMaxValueNesting + 2, 2000, 3});
  FileReader reader;
  ASSERT_TRUE(reader.Open(file.data(), file.size()));
  RecordCursor cursor(reader, RecordOrder::kFileOrder);
  std::vector<DecodeStatus> rendered, built;
  std::vector<std::string> xml;
  while (cursor.Next()) {
    xml.emplace_back();
    rendered.push_back(cursor.decoder().RenderXml(cursor.record(), &xml.back()));
    EventTree tree;
    built.push_back(cursor.decoder().BuildTree(cursor.record(), &tree));
  }
  ASSERT_EQ(rendered.size(), 4u);
  EXPECT_EQ(rendered[0], DecodeStatus::kOk);
  EXPECT_EQ(rendered[1], DecodeStatus::kTooDeep);
  EXPECT_EQ(rendered[2], DecodeStatus::kTooDeep);
  EXPECT_EQ(rendered[3], DecodeStatus::kOk);
  EXPECT_EQ(built, rendered);
  // The innermost <E> has only a null optional value, so it is left out.
  EXPECT_EQ(xml[3], "<E><E></E></E>");
}

TEST(FileReaderTest, OldestFirstStartsAtTheChunkWithTheLowestRecordNumber) {
  size_t n;
  const auto file = FourChunkFile(&n);
  const size_t chunks = Chunks(file);
  // A wrapped log: the newest chunk sits in slot 0, the oldest in slot 1.
  std::vector<uint8_t> wrapped(file.begin(), file.begin() + kChunk0);
  for (size_t slot = 0; slot < chunks; ++slot) {
    const size_t from = (slot + chunks - 1) % chunks;
    wrapped.insert(wrapped.end(), file.begin() + kChunk0 + from * kChunkSize,
                   file.begin() + kChunk0 + (from + 1) * kChunkSize);
  }
  const auto oldest = Ids(ReadFile(wrapped, RecordOrder::kOldestFirst));
  ASSERT_EQ(oldest.size(), n);
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(oldest[i], i + 1);
  const auto file_order = Ids(ReadFile(wrapped, RecordOrder::kFileOrder));
  ASSERT_EQ(file_order.size(), n);
  EXPECT_GT(file_order.front(), 1u);
}

// Random damage anywhere must never crash or read outside the bytes (run
// under ASan in the sanitizer build).
TEST(FileReaderTest, RandomByteDamageNeverCrashes) {
  size_t n;
  const auto pristine = FourChunkFile(&n);
  std::mt19937 rng(12345);
  for (int round = 0; round < 200; ++round) {
    auto file = pristine;
    const int flips = 1 + static_cast<int>(rng() % 64);
    for (int i = 0; i < flips; ++i) {
      // Aim at the first chunk's records, where structure is densest.
      const size_t pos = kChunk0 + 512 + rng() % (kChunkSize - 512);
      file[pos] = static_cast<uint8_t>(rng());
    }
    if (round % 10 == 0) file.resize(kChunk0 + rng() % (file.size() - kChunk0));
    FileReader reader;
    ASSERT_TRUE(reader.Open(file.data(), file.size()));
    RecordCursor cursor(reader, RecordOrder::kOldestFirst);
    std::string xml;
    EventTree tree;
    SystemProperties props;
    size_t delivered = 0;
    while (cursor.Next()) {
      if (cursor.decoder().ReadSystem(cursor.record(), &props) ==
          DecodeStatus::kOk)
        ++delivered;
      cursor.decoder().RenderXml(cursor.record(), &xml);
      cursor.decoder().BuildTree(cursor.record(), &tree);
    }
    EXPECT_LE(delivered, n + 64);
  }
}

}  // namespace
}  // namespace evtx
