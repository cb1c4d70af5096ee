// Damaged hives: broken records are skipped and counted, loops end, forged
// counts and sizes never drive reads or allocations past the file, and what
// is intact stays readable.
#include <gtest/gtest.h>

#include "formats/regf/hive.h"
#include "formats/regf/hive_layout.h"
#include "formats/regf/hive_walk.h"
#include "regf_test_util.h"

namespace regf {
namespace {

using testing::GetU32;
using testing::PutU16;
using testing::PutU32;
using testing::RecordAt;

WalkStats Walk(const Hive& hive) {
  return WalkHive(hive, [](const Key& key, const std::string&) {
    for (const Value& value : key.Values()) {
      (void)value.Name();
      (void)value.AsString();
      (void)value.AsMultiString();
    }
  });
}

class DamagedHiveTest : public ::testing::Test {
 protected:
  // Root with "Many" (20 subkeys, split 5 per leaf under an ri) and the
  // sample tree.
  void Build(SubkeyListKind kind = SubkeyListKind::kLh, uint32_t max_leaf = 5) {
    auto tree = testing::SampleTree();
    WriterKey& many = tree->AddKey("Many");
    for (int i = 0; i < 20; ++i) many.AddKey("k" + std::to_string(100 + i)).SetDword("n", i);
    WriterOptions options;
    options.list_kind = kind;
    options.max_leaf_entries = max_leaf;
    bytes_ = WriteHive(*tree, options);
    hive_ = std::make_unique<Hive>(bytes_.data(), bytes_.size());
    ASSERT_EQ(hive_->status(), HiveStatus::kOk);
  }
  uint32_t Offset(const char* path) { return hive_->OpenKey(path)->cell_offset(); }
  uint32_t NkField(uint32_t key, uint32_t field) { return GetU32(bytes_, RecordAt(key) + field); }
  void SetNkField(uint32_t key, uint32_t field, uint32_t value) { PutU32(bytes_, RecordAt(key) + field, value); }

  std::vector<uint8_t> bytes_;
  std::unique_ptr<Hive> hive_;
};

TEST_F(DamagedHiveTest, BrokenSubkeyIsSkippedOthersRemain) {
  Build();
  uint32_t victim = Offset("Many\\k105");
  PutU16(bytes_, RecordAt(victim), 0x4141);  // no longer "nk"
  uint32_t skipped = 0;
  std::vector<Key> subkeys = hive_->OpenKey("Many")->Subkeys(&skipped);
  EXPECT_EQ(subkeys.size(), 19u);
  EXPECT_EQ(skipped, 1u);
  EXPECT_EQ(subkeys[4].Name(), "k104");
  EXPECT_EQ(subkeys[5].Name(), "k106");
  EXPECT_FALSE(hive_->OpenKey("Many\\k105"));
  EXPECT_TRUE(hive_->OpenKey("Many\\k119"));
  WalkStats stats = Walk(*hive_);
  EXPECT_EQ(stats.skipped_subkeys, 1u);
  EXPECT_EQ(stats.keys, 9u + 1 + 19);
}

TEST_F(DamagedHiveTest, NameLongerThanCellRejectsKey) {
  Build();
  PutU16(bytes_, RecordAt(Offset("Many\\k110")) + layout::kNkNameLength, 0x7FFF);
  EXPECT_FALSE(hive_->OpenKey("Many\\k110"));
  EXPECT_EQ(hive_->OpenKey("Many")->Subkeys().size(), 19u);
}

TEST_F(DamagedHiveTest, IndexRootListingItselfIsRefused) {
  Build();
  uint32_t many = Offset("Many");
  uint32_t ri = NkField(many, layout::kNkSubkeyList);
  ASSERT_EQ(LoadU16(std::span<const uint8_t>(bytes_), RecordAt(ri)), layout::kRiSig);
  PutU32(bytes_, RecordAt(ri) + 4, ri);  // first leaf replaced by the ri itself
  uint32_t skipped = 0;
  std::vector<Key> subkeys = hive_->OpenKey("Many")->Subkeys(&skipped);
  EXPECT_EQ(skipped, 1u);
  ASSERT_EQ(subkeys.size(), 15u);
  EXPECT_EQ(subkeys[0].Name(), "k105");

  // Every element pointing back at the ri: nothing to enumerate, no hang.
  for (uint32_t i = 0; i < 4; ++i) PutU32(bytes_, RecordAt(ri) + 4 + i * 4, ri);
  EXPECT_TRUE(hive_->OpenKey("Many")->Subkeys().empty());
  EXPECT_FALSE(hive_->OpenKey("Many\\k100"));
}

TEST_F(DamagedHiveTest, KeyListingItselfIsSkipped) {
  Build(SubkeyListKind::kLf, 100);
  uint32_t many = Offset("Many");
  uint32_t leaf = NkField(many, layout::kNkSubkeyList);
  PutU32(bytes_, RecordAt(leaf) + 4, many);
  uint32_t skipped = 0;
  EXPECT_EQ(hive_->OpenKey("Many")->Subkeys(&skipped).size(), 19u);
  EXPECT_EQ(skipped, 1u);
}

TEST_F(DamagedHiveTest, LoopsThroughAncestorsEndTheWalk) {
  Build(SubkeyListKind::kLi, 100);
  // k100 lists the root's subkeys as its own, Many (its parent) among them.
  uint32_t k100 = Offset("Many\\k100");
  uint32_t root = hive_->Root()->cell_offset();
  SetNkField(k100, layout::kNkSubkeyList, NkField(root, layout::kNkSubkeyList));
  SetNkField(k100, layout::kNkSubkeyCount, NkField(root, layout::kNkSubkeyCount));
  EXPECT_TRUE(hive_->OpenKey("Many\\k100\\Many\\k100\\Many\\k101"));
  WalkStats stats = Walk(*hive_);
  EXPECT_EQ(stats.keys, 9u + 1 + 20);
  EXPECT_EQ(stats.repeated_keys, 4u);  // ControlSet001, Many, Select, Types again
}

TEST_F(DamagedHiveTest, ForgedCountsAreBoundedByTheirCells) {
  Build(SubkeyListKind::kLh, 100);
  uint32_t many = Offset("Many");
  SetNkField(many, layout::kNkSubkeyCount, 0xFFFFFFFF);
  uint32_t leaf = NkField(many, layout::kNkSubkeyList);
  PutU16(bytes_, RecordAt(leaf) + 2, 0xFFFF);
  // The leaf cell holds 20 entries and is followed by other cells; entries
  // past its end are not read.
  EXPECT_EQ(hive_->OpenKey("Many")->Subkeys().size(), 20u);

  uint32_t types = Offset("Types");
  SetNkField(types, layout::kNkValueCount, 0xFFFFFFFF);
  uint32_t skipped = 0;
  std::vector<Value> values = hive_->OpenKey("Types")->Values(&skipped);
  EXPECT_GE(values.size(), 11u);  // the list cell may have padding slots
  EXPECT_LE(values.size(), 12u);
  EXPECT_GT(skipped, 0xFFFF0000u);
}

TEST_F(DamagedHiveTest, FewerListEntriesThanDeclaredEndEarly) {
  Build(SubkeyListKind::kLh, 100);
  uint32_t many = Offset("Many");
  SetNkField(many, layout::kNkSubkeyCount, 3);
  std::vector<Key> three = hive_->OpenKey("Many")->Subkeys();
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[2].Name(), "k102");
  EXPECT_FALSE(hive_->OpenKey("Many\\k110"));  // past the declared count
}

TEST_F(DamagedHiveTest, UnreadableDataIsReportedNotInvented) {
  Build();
  std::optional<Key> types = hive_->OpenKey("Types");
  Value binary = *types->FindValue("Binary");
  PutU32(bytes_, RecordAt(binary.cell_offset()) + layout::kVkData, 0x7FFFFFF8);
  EXPECT_FALSE(binary.Data());
  EXPECT_EQ(binary.Type(), kRegBinary);  // the record itself is fine

  Value sz = *types->FindValue("Sz");
  PutU32(bytes_, RecordAt(sz.cell_offset()) + layout::kVkDataSize, 0x1000);  // larger than its cell
  EXPECT_FALSE(sz.Data());
  EXPECT_FALSE(sz.AsString());

  Value dword = *types->FindValue("Dword");
  PutU32(bytes_, RecordAt(dword.cell_offset()) + layout::kVkDataSize, 0x80000005);  // inline but 5 bytes
  EXPECT_FALSE(dword.Data());
  EXPECT_FALSE(dword.AsDword());

  WalkStats stats = Walk(*hive_);
  EXPECT_EQ(stats.unreadable_data, 3u);
  EXPECT_EQ(stats.skipped_values, 0u);
}

TEST_F(DamagedHiveTest, ForgedBigDataIsRefused) {
  auto tree = testing::SampleTree();
  std::vector<uint8_t> payload(50000);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
  tree->AddKey("Big").SetValue("Blob", kRegBinary, payload);
  bytes_ = WriteHive(*tree);
  Hive hive(bytes_.data(), bytes_.size());
  Value blob = *hive.OpenKey("Big")->FindValue("Blob");
  ASSERT_EQ(blob.Data(), payload);
  const size_t vk = RecordAt(blob.cell_offset());
  const uint32_t db = GetU32(bytes_, vk + layout::kVkData);
  const uint32_t list = GetU32(bytes_, RecordAt(db) + 4);
  const std::vector<uint8_t> original = bytes_;

  // Size claims more segments than the record has.
  PutU32(bytes_, vk + layout::kVkDataSize, 4 * layout::kBigDataSegmentSize + 1);
  EXPECT_FALSE(blob.Data());
  // A size far beyond the file is refused before anything is reserved.
  PutU16(bytes_, RecordAt(db) + 2, 0xFFFF);
  PutU32(bytes_, vk + layout::kVkDataSize, 0x7FFFFFF0);
  EXPECT_FALSE(blob.Data());
  bytes_ = original;
  // A segment pointing outside the hive.
  PutU32(bytes_, RecordAt(list) + 4, 0x7FFFFFF8);
  EXPECT_FALSE(blob.Data());
  bytes_ = original;
  // The same segment named twice still yields exactly `size` bytes.
  PutU32(bytes_, RecordAt(list) + 4, GetU32(bytes_, RecordAt(list)));
  std::optional<std::vector<uint8_t>> repeated = blob.Data();
  ASSERT_TRUE(repeated);
  EXPECT_EQ(repeated->size(), payload.size());
}

TEST_F(DamagedHiveTest, DeepNestingIsCutAtTheDepthCap) {
  WriterKey root("r");
  WriterKey* key = &root;
  std::string path;
  for (uint32_t depth = 1; depth <= kMaxKeyDepth + 10; ++depth) {
    key = &key->AddKey("d");
    path += "d\\";
  }
  bytes_ = WriteHive(root);
  Hive hive(bytes_.data(), bytes_.size());
  WalkStats stats = Walk(hive);
  EXPECT_EQ(stats.keys, kMaxKeyDepth + 1);
  EXPECT_EQ(stats.too_deep, 1u);
  EXPECT_TRUE(hive.OpenKey(path));  // explicit paths are not recursive either
}

// Flips bits across a whole small hive: whatever the damage, opening and
// walking it must end without reading outside the buffer.
TEST_F(DamagedHiveTest, EveryByteFlipIsSurvived) {
  Build();
  const std::vector<uint8_t> original = bytes_;
  size_t readable = 0;
  for (size_t pos = 0; pos < original.size(); ++pos) {
    for (uint8_t mask : {0x01, 0x80, 0xFF}) {
      std::vector<uint8_t> damaged = original;
      damaged[pos] ^= mask;
      Hive hive(damaged.data(), damaged.size());
      if (hive.readable()) ++readable;
      Walk(hive);
    }
  }
  // Flips in the base block padding, the slack and free cells leave the tree
  // readable; most flips must not turn the hive unreadable.
  EXPECT_GT(readable, original.size() * 3 / 2);
}

TEST_F(DamagedHiveTest, EveryTruncationIsSurvived) {
  Build();
  for (size_t size = 0; size <= bytes_.size(); size += 8) {
    Hive hive(bytes_.data(), size);
    WalkStats stats = Walk(hive);
    if (size >= bytes_.size()) {
      EXPECT_TRUE(stats.clean());
    }
  }
}

}  // namespace
}  // namespace regf
