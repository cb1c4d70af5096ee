// WholeFile: regular and size-less files, empty and missing files, moves.
#include "platform/offline/image/whole_file.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "image_test_util.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;

std::string Bytes(const WholeFile& f) {
  return std::string(reinterpret_cast<const char*>(f.data()), f.size());
}

TEST(WholeFileTest, ReadsARegularFileWhole) {
  TempFolder dir;
  std::string content(100000, 'x');
  content[0] = 'A';
  content.back() = 'Z';
  WholeFile f;
  ASSERT_TRUE(f.Open(dir.Write("big.bin", content)));
  EXPECT_EQ(Bytes(f), content);
}

TEST(WholeFileTest, EmptyFileOpensAsNoBytes) {
  TempFolder dir;
  WholeFile f;
  ASSERT_TRUE(f.Open(dir.Write("empty.bin", "")));
  EXPECT_EQ(f.size(), 0u);
}

TEST(WholeFileTest, FilesReportingSizeZeroAreReadToTheirEnd) {
  // /proc files say 0 bytes but have content.
  WholeFile f;
  if (!f.Open("/proc/self/status")) GTEST_SKIP() << "no /proc here";
  EXPECT_NE(Bytes(f).find("Name:"), std::string::npos);
}

TEST(WholeFileTest, MissingFileAndFolderFailWithTheirErrno) {
  TempFolder dir;
  WholeFile f;
  int error = 0;
  EXPECT_FALSE(f.Open(dir.path() / "absent", &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(f.Open(dir.path(), &error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_EQ(f.size(), 0u);
}

TEST(WholeFileTest, BytesOutliveTheFileAndMovesKeepThem) {
  TempFolder dir;
  WholeFile a;
  ASSERT_TRUE(a.Open(dir.Write("a.bin", "abcdef")));
  // A copy in memory: rewriting the file does not reach it.
  dir.Write("a.bin", "");
  const uint8_t* bytes = a.data();
  WholeFile b(std::move(a));
  EXPECT_EQ(b.data(), bytes);
  EXPECT_EQ(Bytes(b), "abcdef");
  EXPECT_EQ(a.size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from state is specified
  WholeFile c;
  ASSERT_TRUE(c.Open(dir.Write("c.bin", "xyz")));
  c = std::move(b);
  EXPECT_EQ(Bytes(c), "abcdef");
  ASSERT_TRUE(c.Open(dir.path() / "c.bin"));
  EXPECT_EQ(Bytes(c), "xyz");
}

}  // namespace
}  // namespace qrv::offline
