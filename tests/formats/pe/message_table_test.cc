// Message table lookup over written tables (every encoding, several blocks)
// and the corpus blob, and refusal of damaged tables.
#include "formats/pe/message_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/pe/resource_writer.h"
#include "pe_test_files.h"

namespace pe {
namespace {

std::string Find(const MessageTable& table, uint32_t id) {
  std::string text;
  const PeError error = table.Find(id, &text);
  return error == PeError::kOk ? text
                               : std::string("<") + PeErrorText(error) + ">";
}

TEST(MessageTable, RoundTripsEveryEncodingAcrossBlocks) {
  const std::vector<WrittenMessage> messages_in = {
      {0xC0000005u, "Zugriff verweigert f\xC3\xBCr %1.\r\n",
       MessageEncoding::kUtf16},
      {1, "Caf\xC3\xA9 \xE2\x82\xAC\r\n", MessageEncoding::kAnsi},
      {2, "second\r\n", MessageEncoding::kUtf16},
      {3, "\xE6\x97\xA5\xE6\x9C\xAC %1\r\n", MessageEncoding::kUtf8},
      {0x40001B7Cu, "The %1 service entered the %2 state.\r\n",
       MessageEncoding::kUtf16},
      {7, "abc", MessageEncoding::kAnsi},  // 3 bytes + NUL: no padding
  };
  const std::vector<uint8_t> blob = BuildMessageTable(messages_in);
  MessageTable table;
  ASSERT_EQ(MessageTable::Parse(blob, &table), PeError::kOk);
  // Runs: {1,2,3}, {7}, {0x40001B7C}, {0xC0000005}.
  ASSERT_EQ(table.blocks().size(), 4u);
  EXPECT_EQ(table.blocks()[0].low_id, 1u);
  EXPECT_EQ(table.blocks()[0].high_id, 3u);
  EXPECT_EQ(table.size(), messages_in.size());
  for (const WrittenMessage& s : messages_in)
    EXPECT_EQ(Find(table, s.id), s.text);
  EXPECT_EQ(Find(table, 4), "<not found>");
  EXPECT_EQ(Find(table, 0), "<not found>");
  EXPECT_EQ(table.Ids(),
            (std::vector<uint32_t>{1, 2, 3, 7, 0x40001B7Cu, 0xC0000005u}));
}

TEST(MessageTable, EmptyTableFindsNothing) {
  const std::vector<uint8_t> blob = BuildMessageTable({});
  MessageTable table;
  ASSERT_EQ(MessageTable::Parse(blob, &table), PeError::kOk);
  EXPECT_EQ(Find(table, 1), "<not found>");
}

TEST(MessageTable, FirstBlockWinsForRepeatedIds) {
  std::vector<uint8_t> blob =
      BuildMessageTable({{5, "first", MessageEncoding::kAnsi},
                         {9, "second", MessageEncoding::kAnsi}});
  // Make the second block claim id 5 too.
  pe_test::PutU32(&blob, 4 + 12, 5);
  pe_test::PutU32(&blob, 4 + 12 + 4, 5);
  MessageTable table;
  ASSERT_EQ(MessageTable::Parse(blob, &table), PeError::kOk);
  EXPECT_EQ(Find(table, 5), "first");
  EXPECT_EQ(Find(table, 9), "<not found>");
}

TEST(MessageTable, UnknownEntryFlagsAreReportedPerEntry) {
  std::vector<uint8_t> blob = BuildMessageTable(
      {{1, "one", MessageEncoding::kAnsi}, {2, "two", MessageEncoding::kAnsi}});
  const uint32_t first_entry = pe_test::GetU32(blob, 4 + 8);
  blob[first_entry + 2] = 7;  // flags of id 1
  MessageTable table;
  ASSERT_EQ(MessageTable::Parse(blob, &table), PeError::kOk);
  EXPECT_EQ(Find(table, 1), "<malformed entry>");
  EXPECT_EQ(Find(table, 2), "two");
}

TEST(MessageTable, RefusesDamagedTables) {
  const std::vector<uint8_t> good =
      BuildMessageTable({{1, "one", MessageEncoding::kUtf16},
                         {2, "two", MessageEncoding::kUtf16}});
  const uint32_t first_entry = pe_test::GetU32(good, 4 + 8);
  MessageTable table;
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 0, 0x10000000u);  // block count
    EXPECT_EQ(MessageTable::Parse(blob, &table), PeError::kTooLarge);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 4 + 8, 0xFFFFFF00u);  // entries offset
    EXPECT_EQ(MessageTable::Parse(blob, &table), PeError::kTruncated);
  }
  {
    std::vector<uint8_t> blob = good;
    blob[first_entry] = 2;  // entry length under its own header
    blob[first_entry + 1] = 0;
    EXPECT_EQ(MessageTable::Parse(blob, &table), PeError::kBadEntry);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 4 + 4, 0xFFFFFFFFu);  // high id: runs off the end
    EXPECT_EQ(MessageTable::Parse(blob, &table), PeError::kTruncated);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 4, 3);  // low id above high id
    EXPECT_EQ(MessageTable::Parse(blob, &table), PeError::kBadEntry);
  }
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const std::vector<uint8_t> blob(good.begin(), good.begin() + cut);
    EXPECT_NE(MessageTable::Parse(blob, &table), PeError::kOk) << cut;
  }
}

TEST(MessageTable, OverlappingBlocksCannotMultiplyEntries) {
  // 200 blocks that all start at the same entries, each claiming 100 ids:
  // 20000 entries from a blob that holds a few hundred bytes of text.
  std::vector<WrittenMessage> messages_in;
  for (uint32_t id = 0; id < 100; ++id) {
    messages_in.push_back({id, "", MessageEncoding::kAnsi});
  }
  const std::vector<uint8_t> one = BuildMessageTable(messages_in);
  const uint32_t entries = pe_test::GetU32(one, 4 + 8);
  std::vector<uint8_t> blob(4 + 12 * 200, 0);
  pe_test::PutU32(&blob, 0, 200);
  const uint32_t moved = static_cast<uint32_t>(blob.size());
  for (uint32_t b = 0; b < 200; ++b) {
    pe_test::PutU32(&blob, 4 + 12 * b, 1000 * b);
    pe_test::PutU32(&blob, 4 + 12 * b + 4, 1000 * b + 99);
    pe_test::PutU32(&blob, 4 + 12 * b + 8, moved);
  }
  blob.insert(blob.end(), one.begin() + entries, one.end());
  MessageTable table;
  EXPECT_EQ(MessageTable::Parse(blob, &table), PeError::kTooLarge);
}

TEST(MessageTable, CorpusBlob) {
  const std::vector<uint8_t> blob =
      pe_test::ReadCorpusFile("resources/libwrc-message_table_resource.1");
  if (blob.empty()) GTEST_SKIP() << "shared corpus not present";
  MessageTable table;
  ASSERT_EQ(MessageTable::Parse(blob, &table), PeError::kOk);
  EXPECT_EQ(table.blocks().size(), 2u);
  EXPECT_EQ(Find(table, 1), "Category\r\n");
  EXPECT_EQ(Find(table, 2), "My message with parameters %1 %2.\r\n");
  EXPECT_EQ(Find(table, 1000), "My message without parameters\r\n");
  EXPECT_EQ(Find(table, 3), "<not found>");
  EXPECT_EQ(Find(table, 1001), "<not found>");
}

}  // namespace
}  // namespace pe
