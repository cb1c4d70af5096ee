// The line naming a root that gave no machine: each cause gets its own
// reason, and the path is kept on one line.
#include "platform/offline/unusable_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qrv::offline {
namespace {

namespace fs = std::filesystem;

class UnusableRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qrv-root-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_ / "locked", fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(UnusableRoot, EachCauseHasItsReason) {
  std::ofstream(dir_ / "plain-file") << "x";
  fs::create_directory(dir_ / "empty");
  fs::create_directories(dir_ / "other" / "Windows" / "System32");
  std::ofstream(dir_ / "other" / "notes.txt") << "x";
  const struct {
    fs::path root;
    std::string reason;
  } cases[] = {
      {"", "is empty"},
      {dir_ / "missing", "does not exist"},
      {dir_ / "missing" / "below", "does not exist"},
      {dir_ / "plain-file", "is not a folder"},
      {dir_ / "empty",
       "holds neither Windows/System32/config/SYSTEM or SOFTWARE nor .evtx or .evt files"},
      {dir_ / "other",
       "holds neither Windows/System32/config/SYSTEM or SOFTWARE nor .evtx or .evt files"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.root.string());
    EXPECT_EQ(UnusableRootReason(c.root), c.reason);
  }
}

TEST_F(UnusableRoot, AFolderWithoutReadPermissionCannotBeRead) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  const fs::path locked = dir_ / "locked";
  fs::create_directory(locked);
  fs::permissions(locked, fs::perms::none);
  EXPECT_EQ(UnusableRootReason(locked), "cannot be read: Permission denied");
}

TEST_F(UnusableRoot, TheLineNamesThePathOnOneLine) {
  EXPECT_EQ(UnusableRootLine(dir_ / "a\nb\tc"),
            "QRV_EventLog_Tools: QRV_EVENTLOG_ROOT '" + (dir_ / "a b c").string() +
                "' does not exist; answering as a computer without event logs\n");
}

}  // namespace
}  // namespace qrv::offline
