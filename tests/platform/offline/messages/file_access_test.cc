// Registry file lists and the host file loader.
#include "platform/offline/messages/file_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qrv::offline {
namespace {

TEST(SplitFileList, SplitsTrimsAndDropsEmptyEntries) {
  EXPECT_EQ(SplitFileList("a.dll"), std::vector<std::string>{"a.dll"});
  EXPECT_EQ(SplitFileList(" %SystemRoot%\\a.dll ;\tb.dll;;  ;c d.dll;"),
            (std::vector<std::string>{"%SystemRoot%\\a.dll", "b.dll",
                                      "c d.dll"}));
  EXPECT_TRUE(SplitFileList("").empty());
  EXPECT_TRUE(SplitFileList(" ; ").empty());
}

TEST(HostFileLoader, ReadsFilesAndListsSubdirectories) {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() /
      ("qrv_messages_" + std::to_string(::testing::UnitTest::GetInstance()
                                            ->random_seed()));
  std::filesystem::create_directories(root / "en-US");
  std::filesystem::create_directories(root / "de-DE");
  {
    std::ofstream out(root / "x.dll", std::ios::binary);
    out.write("MZ\0\x01", 4);
  }
  HostFileLoader loader;
  const std::optional<std::vector<uint8_t>> bytes =
      loader.Read((root / "x.dll").string());
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, (std::vector<uint8_t>{'M', 'Z', 0, 1}));
  EXPECT_FALSE(loader.Read((root / "missing.dll").string()).has_value());
  EXPECT_FALSE(loader.Read((root / "en-US").string()).has_value());
  std::vector<std::string> dirs = loader.Subdirectories(root.string());
  std::sort(dirs.begin(), dirs.end());
  EXPECT_EQ(dirs, (std::vector<std::string>{"de-DE", "en-US"}));
  EXPECT_TRUE(loader.Subdirectories((root / "nowhere").string()).empty());
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace qrv::offline
