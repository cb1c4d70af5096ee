// Opening a hive: which bytes are refused, which are damaged but readable.
#include "formats/regf/hive.h"

#include <gtest/gtest.h>

#include "formats/regf/hive_layout.h"
#include "formats/regf/hive_walk.h"
#include "regf_test_util.h"

namespace regf {
namespace {

using testing::FixChecksum;
using testing::PutU32;

class HiveOpenTest : public ::testing::Test {
 protected:
  void SetUp() override { bytes_ = WriteHive(*testing::SampleTree()); }
  std::vector<uint8_t> bytes_;
};

TEST_F(HiveOpenTest, NotAHive) {
  Hive empty(nullptr, 0);
  EXPECT_EQ(empty.status(), HiveStatus::kNotAHive);
  EXPECT_FALSE(empty.readable());
  EXPECT_FALSE(empty.Root());
  EXPECT_FALSE(empty.OpenKey("Select"));

  Hive short_hive(bytes_.data(), 100);
  EXPECT_EQ(short_hive.status(), HiveStatus::kNotAHive);
  EXPECT_TRUE(short_hive.issues() & kIssueTooSmall);

  std::vector<uint8_t> evtx = bytes_;
  std::copy_n("ElfFile", 8, evtx.begin());
  Hive other(evtx.data(), evtx.size());
  EXPECT_EQ(other.status(), HiveStatus::kNotAHive);
  EXPECT_TRUE(other.issues() & kIssueBadSignature);
}

TEST_F(HiveOpenTest, UnsupportedVersionsAndLogsAreRefused) {
  std::vector<uint8_t> v2 = bytes_;
  PutU32(v2, layout::kMajorOffset, 2);
  FixChecksum(v2);
  EXPECT_EQ(Hive(v2.data(), v2.size()).status(), HiveStatus::kNotAHive);

  std::vector<uint8_t> nt3 = bytes_;
  PutU32(nt3, layout::kMinorOffset, 1);
  FixChecksum(nt3);
  EXPECT_TRUE(Hive(nt3.data(), nt3.size()).issues() & kIssueUnsupportedVersion);

  std::vector<uint8_t> log = bytes_;
  PutU32(log, layout::kFileTypeOffset, 1);
  FixChecksum(log);
  Hive log_hive(log.data(), log.size());
  EXPECT_EQ(log_hive.status(), HiveStatus::kNotAHive);
  EXPECT_TRUE(log_hive.issues() & kIssueNotPrimaryFile);
}

TEST_F(HiveOpenTest, BadChecksumIsDamageButReadable) {
  bytes_[200] ^= 0x5A;  // reserved area, covered by the checksum
  Hive hive(bytes_.data(), bytes_.size());
  EXPECT_EQ(hive.status(), HiveStatus::kDamaged);
  EXPECT_EQ(hive.issues(), kIssueBadChecksum);
  EXPECT_TRUE(hive.readable());
  EXPECT_TRUE(hive.OpenKey("ControlSet001\\Services\\EventLog\\Application"));
}

TEST_F(HiveOpenTest, DirtyHiveIsStillOk) {
  PutU32(bytes_, layout::kPrimarySeqOffset, 7);
  FixChecksum(bytes_);
  Hive hive(bytes_.data(), bytes_.size());
  EXPECT_EQ(hive.status(), HiveStatus::kOk);
  EXPECT_EQ(hive.issues(), kIssueDirty);
}

TEST_F(HiveOpenTest, TruncatedFileKeepsWhatIsLeft) {
  // Grow the tree so it spans several bins, then cut off the last ones.
  auto tree = testing::SampleTree();
  for (int i = 0; i < 300; ++i) tree->AddKey("Filler").AddKey("k" + std::to_string(i)).SetString("v", "text");
  std::vector<uint8_t> bytes = WriteHive(*tree);
  ASSERT_GT(bytes.size(), 5u * 4096);
  Hive hive(bytes.data(), bytes.size() - 2 * 4096);
  EXPECT_EQ(hive.status(), HiveStatus::kDamaged);
  EXPECT_TRUE(hive.issues() & kIssueTruncated);
  EXPECT_TRUE(hive.OpenKey("Select"));
  EXPECT_TRUE(hive.OpenKey("Filler"));
  WalkStats stats = WalkHive(hive, [](const Key&, const std::string&) {});
  EXPECT_FALSE(stats.clean());
  EXPECT_GT(stats.keys, 9u);
}

TEST_F(HiveOpenTest, SlackAfterDeclaredBinsIsIgnored) {
  // SAM files carry unused space after the bins the header declares.
  std::vector<uint8_t> padded = bytes_;
  padded.resize(padded.size() + 3 * 4096, 0xCC);
  Hive hive(padded.data(), padded.size());
  EXPECT_EQ(hive.status(), HiveStatus::kOk);
  EXPECT_EQ(hive.bins_size(), bytes_.size() - 4096);
}

TEST_F(HiveOpenTest, BadRootIsUnreadable) {
  PutU32(bytes_, layout::kRootCellOffset, 0x12345678);
  FixChecksum(bytes_);
  Hive hive(bytes_.data(), bytes_.size());
  EXPECT_EQ(hive.status(), HiveStatus::kUnreadable);
  EXPECT_TRUE(hive.issues() & kIssueBadRoot);
  EXPECT_FALSE(hive.Root());
}

TEST_F(HiveOpenTest, BrokenBinHeaderIsSkippedAndLaterBinsFound) {
  auto tree = testing::SampleTree();
  for (int i = 0; i < 300; ++i) tree->AddKey("Filler").AddKey("k" + std::to_string(i)).SetString("v", "text");
  std::vector<uint8_t> bytes = WriteHive(*tree);
  // Break the signature of the second bin: cells in it are lost, the bins
  // after it are found again by their own headers.
  ASSERT_EQ(testing::GetU32(bytes, 4096 + 4096), layout::kBinSignature);
  PutU32(bytes, 4096 + 4096, 0);
  Hive hive(bytes.data(), bytes.size());
  EXPECT_EQ(hive.status(), HiveStatus::kDamaged);
  EXPECT_TRUE(hive.issues() & kIssueBadBins);
  std::optional<Key> filler = hive.OpenKey("Filler");
  ASSERT_TRUE(filler);
  uint32_t skipped = 0;
  size_t present = filler->Subkeys(&skipped).size();
  EXPECT_GT(present, 200u);
  EXPECT_GT(skipped, 0u);
}

TEST_F(HiveOpenTest, CellChecksRejectBadOffsets) {
  Hive hive(bytes_.data(), bytes_.size());
  uint32_t root = hive.Root()->cell_offset();
  EXPECT_FALSE(hive.Cell(root).empty());
  EXPECT_TRUE(hive.Cell(root + 4).empty());          // not 8-aligned
  EXPECT_TRUE(hive.Cell(0).empty());                 // inside the bin header
  EXPECT_TRUE(hive.Cell(hive.bins_size()).empty());  // past the end
  EXPECT_TRUE(hive.Cell(layout::kNoCell).empty());
  // A free cell holds stale data and is never followed.
  PutU32(bytes_, 4096 + root, 0x58);
  EXPECT_TRUE(hive.Cell(root).empty());
  // An allocated size running past its bin.
  PutU32(bytes_, 4096 + root, static_cast<uint32_t>(-0x2000));
  EXPECT_TRUE(hive.Cell(root).empty());
}

}  // namespace
}  // namespace regf
