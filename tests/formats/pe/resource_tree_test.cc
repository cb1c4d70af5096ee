// Resource tree walk: order and ids of a written tree, type filtering, and
// damaged trees (loops, extra depth, bad offsets, shared-directory blow-up).
#include "formats/pe/resource_tree.h"

#include <gtest/gtest.h>

#include <vector>

#include "formats/pe/pe_writer.h"
#include "pe_test_files.h"

namespace pe {
namespace {

constexpr size_t kRsrcFileOffset = 0x200;  // where the writer puts .rsrc

std::vector<uint8_t> Data(uint8_t tag, size_t size) {
  return std::vector<uint8_t>(size, tag);
}

std::vector<uint8_t> SampleImage() {
  return BuildPeImage({
      {ResourceId::Id(kRtMessageTable), ResourceId::Id(1), 0x407, Data(1, 9)},
      {ResourceId::Name("WEVT_TEMPLATE"), ResourceId::Id(1), 0, Data(2, 5)},
      {ResourceId::Id(kRtMessageTable), ResourceId::Id(1), 0x409, Data(3, 3)},
      {ResourceId::Name("MUI"), ResourceId::Id(1), 0x409, Data(4, 12)},
      {ResourceId::Id(6), ResourceId::Name("strings"), 0, Data(5, 1)},
  });
}

PeError List(const std::vector<uint8_t>& file, const ResourceId* type,
             std::vector<Resource>* out) {
  PeImage image;
  const PeError error = PeImage::Parse(file, &image);
  if (error != PeError::kOk) return error;
  return ListResources(image, type, out);
}

TEST(ResourceTree, ListsEveryLeafInWindowsOrder) {
  const std::vector<uint8_t> file = SampleImage();  // `all` views into it
  std::vector<Resource> all;
  ASSERT_EQ(List(file, nullptr, &all), PeError::kOk);
  ASSERT_EQ(all.size(), 5u);
  // Named types first (upper-case order), then ids ascending; languages
  // ascending within a name.
  EXPECT_EQ(all[0].type.name, "MUI");
  EXPECT_EQ(all[1].type.name, "WEVT_TEMPLATE");
  EXPECT_EQ(all[2].type.id, 6u);
  EXPECT_TRUE(all[2].name.is_name);
  EXPECT_EQ(all[2].name.name, "strings");
  EXPECT_EQ(all[3].language, 0x407);
  EXPECT_EQ(all[4].language, 0x409);
  for (const Resource& r : all) {
    ASSERT_TRUE(r.in_file);
    ASSERT_EQ(r.data.size(), r.size);
  }
  EXPECT_EQ(all[0].data.size(), 12u);
  EXPECT_EQ(all[0].data[0], 4);
  EXPECT_EQ(all[3].data[0], 1);
  EXPECT_EQ(all[4].data[0], 3);
}

TEST(ResourceTree, FiltersByTypeIdOrCaseInsensitiveName) {
  const std::vector<uint8_t> file = SampleImage();
  std::vector<Resource> found;
  const ResourceId table = ResourceId::Id(kRtMessageTable);
  ASSERT_EQ(List(file, &table, &found), PeError::kOk);
  EXPECT_EQ(found.size(), 2u);
  const ResourceId wevt = ResourceId::Name("wevt_template");
  ASSERT_EQ(List(file, &wevt, &found), PeError::kOk);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].data[0], 2);
  const ResourceId absent = ResourceId::Id(3);
  ASSERT_EQ(List(file, &absent, &found), PeError::kOk);
  EXPECT_TRUE(found.empty());
}

TEST(ResourceTree, ImageWithoutResourceDirectoryIsNotFound) {
  std::vector<uint8_t> file = SampleImage();
  // Resource directory entry: optional header at 88, directories at +112.
  pe_test::PutU32(&file, 88 + 112 + 8 * 2, 0);
  std::vector<Resource> found;
  EXPECT_EQ(List(file, nullptr, &found), PeError::kNotFound);
}

// Offsets (from .rsrc start) of the first type directory and of the first
// name directory below it, read from the written tree.
struct TreeOffsets {
  uint32_t type_dir;
  uint32_t name_dir;
};

TreeOffsets FirstPath(const std::vector<uint8_t>& file) {
  TreeOffsets t;
  t.type_dir = pe_test::GetU32(file, kRsrcFileOffset + 16 + 4) & 0x7FFFFFFF;
  t.name_dir =
      pe_test::GetU32(file, kRsrcFileOffset + t.type_dir + 16 + 4) & 0x7FFFFFFF;
  return t;
}

TEST(ResourceTree, DirectoryPointingAtAnAncestorIsRefused) {
  std::vector<Resource> found;
  {
    std::vector<uint8_t> file = SampleImage();
    const TreeOffsets t = FirstPath(file);
    // The name directory's first entry leads back to the root.
    pe_test::PutU32(&file, kRsrcFileOffset + t.type_dir + 16 + 4, 0x80000000u);
    EXPECT_EQ(List(file, nullptr, &found), PeError::kLoop);
    EXPECT_TRUE(found.empty());
  }
  {
    std::vector<uint8_t> file = SampleImage();
    const TreeOffsets t = FirstPath(file);
    // A type directory whose entry names itself.
    pe_test::PutU32(&file, kRsrcFileOffset + t.type_dir + 16 + 4,
                    0x80000000u | t.type_dir);
    EXPECT_EQ(List(file, nullptr, &found), PeError::kLoop);
  }
}

TEST(ResourceTree, SubdirectoryBelowLanguageLevelIsRefused) {
  std::vector<uint8_t> file = SampleImage();
  const TreeOffsets t = FirstPath(file);
  // A language entry that points at a directory instead of a data entry.
  pe_test::PutU32(&file, kRsrcFileOffset + t.name_dir + 16 + 4,
                  0x80000000u | t.type_dir);
  std::vector<Resource> found;
  EXPECT_EQ(List(file, nullptr, &found), PeError::kTooDeep);
}

TEST(ResourceTree, BadOffsetsAreErrorsAndBadDataIsFlagged) {
  std::vector<Resource> found;
  {
    std::vector<uint8_t> file = SampleImage();
    pe_test::PutU32(&file, kRsrcFileOffset + 16 + 4, 0x80FFFFF0u);
    EXPECT_EQ(List(file, nullptr, &found), PeError::kBadOffset);
  }
  {
    std::vector<uint8_t> file = SampleImage();
    // Root's first entry is named: its name offset leaves the section.
    pe_test::PutU32(&file, kRsrcFileOffset + 16, 0x8000FFF0u);
    EXPECT_EQ(List(file, nullptr, &found), PeError::kBadOffset);
  }
  {
    std::vector<uint8_t> file = SampleImage();
    // Root claims 0xFFFF id entries: more than the section holds.
    file[kRsrcFileOffset + 14] = 0xFF;
    file[kRsrcFileOffset + 15] = 0xFF;
    EXPECT_EQ(List(file, nullptr, &found), PeError::kTruncated);
  }
  {
    std::vector<uint8_t> file = SampleImage();
    const TreeOffsets t = FirstPath(file);
    const uint32_t leaf =
        pe_test::GetU32(file, kRsrcFileOffset + t.name_dir + 16 + 4);
    pe_test::PutU32(&file, kRsrcFileOffset + leaf, 0x7FFF0000u);  // data RVA
    ASSERT_EQ(List(file, nullptr, &found), PeError::kOk);
    ASSERT_EQ(found.size(), 5u);
    EXPECT_FALSE(found[0].in_file);
    EXPECT_TRUE(found[0].data.empty());
    EXPECT_TRUE(found[1].in_file);
  }
}

TEST(ResourceTree, SharedDirectoriesCannotMultiplyWithoutBound) {
  // One resource of 30000 bytes leaves room in .rsrc for a crafted tree:
  // 1000 types -> one shared type directory of 1000 names -> one shared
  // name directory of 1000 languages = 10^9 leaves on paper.
  std::vector<uint8_t> file =
      BuildPeImage({{ResourceId::Id(1), ResourceId::Id(1), 0, Data(0, 30000)}});
  constexpr uint32_t kFanOut = 1000;
  constexpr uint32_t kDirSize = 16 + 8 * kFanOut;
  const uint32_t data_entry = 3 * kDirSize;
  for (uint32_t level = 0; level < 3; ++level) {
    const size_t dir = kRsrcFileOffset + level * kDirSize;
    std::fill(file.begin() + dir, file.begin() + dir + 16, 0);
    file[dir + 14] = kFanOut & 0xFF;
    file[dir + 15] = kFanOut >> 8;
    for (uint32_t i = 0; i < kFanOut; ++i) {
      pe_test::PutU32(&file, dir + 16 + 8 * i, i + 1);
      pe_test::PutU32(
          &file, dir + 16 + 8 * i + 4,
          level < 2 ? 0x80000000u | ((level + 1) * kDirSize) : data_entry);
    }
  }
  pe_test::PutU32(&file, kRsrcFileOffset + data_entry, 0x1000);
  pe_test::PutU32(&file, kRsrcFileOffset + data_entry + 4, 4);
  std::vector<Resource> found;
  EXPECT_EQ(List(file, nullptr, &found), PeError::kTooLarge);
  EXPECT_TRUE(found.empty());
}

TEST(ResourceTree, RealDllResources) {
  const std::vector<uint8_t> file =
      pe_test::ReadCorpusFile("resources/plaso-wrc-test-wevt_template.dll");
  if (file.empty()) GTEST_SKIP() << "shared corpus not present";
  std::vector<Resource> all;
  ASSERT_EQ(List(file, nullptr, &all), PeError::kOk);
  bool wevt = false;
  bool table = false;
  for (const Resource& r : all) {
    EXPECT_TRUE(r.in_file);
    if (r.type.Matches(ResourceId::Name(kTypeWevtTemplate))) wevt = true;
    if (r.type.Matches(ResourceId::Id(kRtMessageTable))) table = true;
  }
  EXPECT_TRUE(wevt);
  EXPECT_TRUE(table);
}

}  // namespace
}  // namespace pe
