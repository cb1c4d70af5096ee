// Finding the sample image from the program's path: beside the program in
// the build tree, under share/ after install, and not in folders that merely
// carry the name.
#include "platform/offline/sample_image_location.h"

#include <gtest/gtest.h>

#include "platform/offline/image/image_test_util.h"
#include "sample_image_test_util.h"

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

constexpr char kHive[] = "Windows/System32/config/SYSTEM";

TEST(SampleImageLocationTest, FindsTheBuildsImageBesideTheProgram) {
  const std::optional<fs::path> found =
      FindSampleImage(fs::path(QRV_BUILD_DIR) / "QRV_EventLog_Tools");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(*found, qrv::sample::testing::BuiltImage().lexically_normal());
}

TEST(SampleImageLocationTest, FindsTheInstalledImageUnderShare) {
  TempFolder prefix;
  prefix.MakeFolder("bin");
  prefix.Write(std::string("share/qrv-eventlog-tools/sample-image/") + kHive, "hive");
  const std::optional<fs::path> found =
      FindSampleImage(prefix.path() / "bin" / "QRV_EventLog_Tools");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(*found, prefix.path() / "share" / "qrv-eventlog-tools" / "sample-image");
}

TEST(SampleImageLocationTest, PrefersTheImageBesideTheProgram) {
  TempFolder prefix;
  prefix.Write(std::string("bin/sample-image/") + kHive, "hive");
  prefix.Write(std::string("share/qrv-eventlog-tools/sample-image/") + kHive, "hive");
  EXPECT_EQ(FindSampleImage(prefix.path() / "bin" / "QRV_EventLog_Tools"),
            prefix.path() / "bin" / "sample-image");
}

TEST(SampleImageLocationTest, FoldersWithoutTheSystemHiveDoNotCount) {
  TempFolder prefix;
  prefix.MakeFolder("bin/sample-image/Windows/System32/config");
  prefix.Write("share/qrv-eventlog-tools/sample-image/Windows/System32/config/SOFTWARE", "hive");
  EXPECT_FALSE(FindSampleImage(prefix.path() / "bin" / "QRV_EventLog_Tools").has_value());
  EXPECT_FALSE(FindSampleImage(prefix.path() / "nowhere" / "QRV_EventLog_Tools").has_value());
}

TEST(SampleImageLocationTest, RunningExecutableIsThisTestProgram) {
  const std::optional<fs::path> self = RunningExecutablePath();
  ASSERT_TRUE(self.has_value());
  EXPECT_TRUE(self->is_absolute());
  EXPECT_EQ(self->filename(), "tools_test");
  EXPECT_TRUE(fs::is_regular_file(*self));
}

}  // namespace
}  // namespace qrv::offline
