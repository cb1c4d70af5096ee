// Hostile BinXml: nesting past the cap, unbalanced elements, names outside
// the chunk and unknown tokens end the compile with a typed error and leave
// no partial ops behind.
#include <gtest/gtest.h>

#include "formats/evtx/binxml_program.h"
#include "formats/evtx/bytes.h"

namespace evtx {
namespace {

class BinXmlCompileTest : public ::testing::Test {
 protected:
  BinXmlCompileTest() : chunk_(4096, 0) {
    // A name record "A" at offset 16: next, hash, count 1, 'A', NUL.
    StoreU16(chunk_.data() + 16 + 6, 1);
    StoreU16(chunk_.data() + 16 + 8, 'A');
    names_.Reset(chunk_.data(), static_cast<uint32_t>(chunk_.size()));
  }
  // Bare (non-template) open element token referring to name "A".
  void Open(std::vector<uint8_t>* b) {
    b->push_back(0x01);
    for (int i = 0; i < 4; ++i) b->push_back(0);  // element size
    b->push_back(16);
    b->push_back(0);
    b->push_back(0);
    b->push_back(0);
  }
  DecodeStatus Compile(const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), chunk_.begin() + kAt);
    uint32_t stop = 0;
    ops_.clear();
    conds_.clear();
    return CompileBinXml(chunk_.data(), kAt,
                         kAt + static_cast<uint32_t>(bytes.size()), false,
                         &names_, &ops_, &conds_, &stop);
  }

  static constexpr uint32_t kAt = 512;
  std::vector<uint8_t> chunk_;
  NameTable names_;
  std::vector<Op> ops_;
  std::vector<uint16_t> conds_;
};

TEST_F(BinXmlCompileTest, BalancedElementsCompile) {
  std::vector<uint8_t> b;
  Open(&b);
  b.push_back(0x02);
  Open(&b);
  b.push_back(0x03);
  b.push_back(0x04);
  b.push_back(0x00);
  ASSERT_EQ(Compile(b), DecodeStatus::kOk);
  ASSERT_EQ(ops_.size(), 5u);
  EXPECT_EQ(ops_[0].end, 4u);
  EXPECT_EQ(names_.Get(ops_[0].name), "A");
}

TEST_F(BinXmlCompileTest, NestingPastTheCapIsRejected) {
  std::vector<uint8_t> b;
  for (uint32_t i = 0; i <= kMaxElementDepth; ++i) {
    Open(&b);
    b.push_back(0x02);
  }
  EXPECT_EQ(Compile(b), DecodeStatus::kTooDeep);
  EXPECT_TRUE(ops_.empty());
}

TEST_F(BinXmlCompileTest, UnbalancedOrMisplacedTokensAreErrors) {
  std::vector<uint8_t> unclosed;
  Open(&unclosed);
  unclosed.push_back(0x02);
  unclosed.push_back(0x00);
  EXPECT_NE(Compile(unclosed), DecodeStatus::kOk);
  EXPECT_EQ(Compile({0x04, 0x00}), DecodeStatus::kBadToken);
  EXPECT_EQ(Compile({0x0C, 0x00}), DecodeStatus::kBadToken);
  EXPECT_EQ(Compile({0x21, 0x00}), DecodeStatus::kBadToken);
  EXPECT_TRUE(ops_.empty());
}

TEST_F(BinXmlCompileTest, NamesAndTextOutsideTheChunkAreRejected) {
  std::vector<uint8_t> b = {0x01, 0,    0, 0, 0,
                            0xF0, 0x0F, 0, 0};  // name at 4080: 8 bytes left
  StoreU16(chunk_.data() + 4080 + 6, 100);      // claims 100 units
  EXPECT_EQ(Compile(b), DecodeStatus::kBadName);
  EXPECT_EQ(Compile({0x05, 0x01, 0xFF, 0xFF}), DecodeStatus::kOutOfBounds);
  EXPECT_EQ(Compile({0x0E, 0x01}), DecodeStatus::kOutOfBounds);
}

}  // namespace
}  // namespace evtx
