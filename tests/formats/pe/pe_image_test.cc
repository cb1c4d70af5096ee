// PE headers and RVA mapping on images from the writer (both PE kinds), the
// corpus DLL, and headers damaged field by field.
#include "formats/pe/pe_image.h"

#include <gtest/gtest.h>

#include <vector>

#include "formats/pe/pe_writer.h"
#include "pe_test_files.h"

namespace pe {
namespace {

std::vector<uint8_t> SmallImage(PeKind kind) {
  return BuildPeImage(
      {{ResourceId::Id(10), ResourceId::Id(1), kLangNeutral, {1, 2, 3, 4}}},
      kind);
}

TEST(PeImage, ReadsBothOptionalHeaderKinds) {
  for (const PeKind kind : {PeKind::kPe32Plus, PeKind::kPe32}) {
    const std::vector<uint8_t> file = SmallImage(kind);
    PeImage image;
    ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
    EXPECT_EQ(image.is_pe32_plus(), kind == PeKind::kPe32Plus);
    EXPECT_EQ(image.machine(), kind == PeKind::kPe32Plus ? 0x8664 : 0x14C);
    ASSERT_EQ(image.sections().size(), 1u);
    EXPECT_EQ(image.sections()[0].name, ".rsrc");
    const DataDirectory rsrc = image.Directory(kDirectoryResource);
    EXPECT_EQ(rsrc.rva, 0x1000u);
    EXPECT_GT(rsrc.size, 0u);
    EXPECT_EQ(image.Directory(200).rva, 0u);
  }
}

TEST(PeImage, RvaMapsToFileOffsetWithinRawData) {
  const std::vector<uint8_t> file = SmallImage(PeKind::kPe32Plus);
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  Bytes bytes;
  ASSERT_TRUE(image.BytesAtRva(0x1000, 16, &bytes));
  EXPECT_EQ(bytes.data(), file.data() + 0x200);
  const Section& s = image.sections()[0];
  ASSERT_LT(s.virtual_size, s.raw_size);
  // The start RVA must lie inside the virtual size; the range may then run
  // on into the raw padding the file stores. RVAs past the section, below
  // it, or wrapping around do not map.
  EXPECT_FALSE(image.BytesAtRva(s.virtual_address + s.raw_size - 1, 1, &bytes));
  EXPECT_TRUE(
      image.BytesAtRva(s.virtual_address + s.virtual_size - 1, 2, &bytes));
  EXPECT_FALSE(image.BytesAtRva(s.virtual_address, s.raw_size + 1, &bytes));
  EXPECT_FALSE(image.BytesAtRva(0x800, 1, &bytes));
  EXPECT_FALSE(image.BytesAtRva(0xFFFFFFF0u, 0x20, &bytes));
}

TEST(PeImage, RvaInVirtualOnlyPartIsNotFileBytes) {
  std::vector<uint8_t> file = SmallImage(PeKind::kPe32Plus);
  // Section header at 64 + 4 + 20 + 240; its virtual size at +8.
  pe_test::PutU32(&file, 328 + 8, 0x3000);
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  const Section& s = image.sections()[0];
  Bytes bytes;
  EXPECT_TRUE(image.BytesAtRva(s.virtual_address + s.raw_size - 1, 1, &bytes));
  EXPECT_FALSE(image.BytesAtRva(s.virtual_address + s.raw_size, 1, &bytes));
  EXPECT_FALSE(image.BytesAtRva(s.virtual_address + 0x2000, 1, &bytes));
}

TEST(PeImage, RefusesDamagedHeaders) {
  const std::vector<uint8_t> good = SmallImage(PeKind::kPe32Plus);
  PeImage image;
  {
    std::vector<uint8_t> f = good;
    f[0] = 'X';
    EXPECT_EQ(PeImage::Parse(f, &image), PeError::kBadSignature);
  }
  {
    std::vector<uint8_t> f = good;
    pe_test::PutU32(&f, 0x3C, 0xFFFFFFF0u);  // e_lfanew past the end
    EXPECT_EQ(PeImage::Parse(f, &image), PeError::kTruncated);
  }
  {
    std::vector<uint8_t> f = good;
    f[64 + 24] = 0x07;  // optional header magic
    EXPECT_EQ(PeImage::Parse(f, &image), PeError::kBadHeader);
  }
  {
    std::vector<uint8_t> f = good;
    f[64 + 6] = 0xFF;  // section count 0xFF01: table runs off the file
    f[64 + 7] = 0xFF;
    EXPECT_EQ(PeImage::Parse(f, &image), PeError::kTruncated);
  }
  for (size_t cut : {size_t{0}, size_t{1}, size_t{63}, size_t{100}}) {
    const std::vector<uint8_t> f(good.begin(), good.begin() + cut);
    EXPECT_NE(PeImage::Parse(f, &image), PeError::kOk) << cut;
  }
}

TEST(PeImage, RealDllHeaders) {
  const std::vector<uint8_t> file =
      pe_test::ReadCorpusFile("resources/plaso-wrc-test-wevt_template.dll");
  if (file.empty()) GTEST_SKIP() << "shared corpus not present";
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  EXPECT_FALSE(image.is_pe32_plus());
  EXPECT_EQ(image.machine(), 0x14C);
  ASSERT_EQ(image.sections().size(), 5u);
  EXPECT_EQ(image.sections()[0].name, ".text");
  EXPECT_EQ(image.sections()[3].name, ".rsrc");
  EXPECT_EQ(image.Directory(kDirectoryResource).rva, 0x4000u);
}

}  // namespace
}  // namespace pe
