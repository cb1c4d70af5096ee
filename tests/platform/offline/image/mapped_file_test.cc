// MappedFile: mapped and read paths, empty and missing files, moves.
#include "platform/offline/image/mapped_file.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "image_test_util.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;

std::string Bytes(const MappedFile& f) {
  return std::string(reinterpret_cast<const char*>(f.data()), f.size());
}

TEST(MappedFileTest, MapsARegularFileWhole) {
  TempFolder dir;
  std::string content(100000, 'x');
  content[0] = 'A';
  content.back() = 'Z';
  MappedFile f;
  ASSERT_TRUE(f.Open(dir.Write("big.bin", content)));
  EXPECT_TRUE(f.is_mapped());
  EXPECT_EQ(Bytes(f), content);
}

TEST(MappedFileTest, EmptyFileOpensAsNoBytes) {
  TempFolder dir;
  MappedFile f;
  ASSERT_TRUE(f.Open(dir.Write("empty.bin", "")));
  EXPECT_EQ(f.size(), 0u);
}

TEST(MappedFileTest, FilesReportingSizeZeroAreReadInstead) {
  // /proc files say 0 bytes but have content; a mapping would miss it.
  MappedFile f;
  if (!f.Open("/proc/self/status")) GTEST_SKIP() << "no /proc here";
  EXPECT_FALSE(f.is_mapped());
  EXPECT_NE(Bytes(f).find("Name:"), std::string::npos);
}

TEST(MappedFileTest, MissingFileAndFolderFailWithTheirErrno) {
  TempFolder dir;
  MappedFile f;
  int error = 0;
  EXPECT_FALSE(f.Open(dir.path() / "absent", &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(f.Open(dir.path(), &error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_EQ(f.data(), nullptr);
  EXPECT_EQ(f.size(), 0u);
}

TEST(MappedFileTest, MovedMappingStaysValidAndSourceIsEmpty) {
  TempFolder dir;
  MappedFile a;
  ASSERT_TRUE(a.Open(dir.Write("a.bin", "abcdef")));
  const uint8_t* bytes = a.data();
  MappedFile b(std::move(a));
  EXPECT_EQ(b.data(), bytes);
  EXPECT_EQ(Bytes(b), "abcdef");
  EXPECT_EQ(a.size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from state is specified
  MappedFile c;
  ASSERT_TRUE(c.Open(dir.Write("c.bin", "xyz")));
  c = std::move(b);
  EXPECT_EQ(Bytes(c), "abcdef");
  // Reopening replaces the old mapping.
  ASSERT_TRUE(c.Open(dir.path() / "c.bin"));
  EXPECT_EQ(Bytes(c), "xyz");
}

}  // namespace
}  // namespace qrv::offline
