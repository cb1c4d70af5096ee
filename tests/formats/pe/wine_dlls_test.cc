// Real PE files from Debian's wine64 package, when it is installed: Wine's
// kernelbase.dll carries the system error message table in 30-odd
// languages, and every DLL of the package must read without error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/pe/message_resources.h"

namespace pe {
namespace {

const char kWineDir[] = "/usr/lib/x86_64-linux-gnu/wine";

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

TEST(WineDlls, KernelbaseSystemMessages) {
  const std::vector<uint8_t> file = ReadFile(
      std::filesystem::path(kWineDir) / "x86_64-windows" / "kernelbase.dll");
  if (file.empty()) GTEST_SKIP() << "wine64 not installed";
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  EXPECT_TRUE(image.is_pe32_plus());
  const ResourceId type = ResourceId::Id(kRtMessageTable);
  std::vector<Resource> tables;
  ASSERT_EQ(ListResources(image, &type, &tables), PeError::kOk);
  ASSERT_GT(tables.size(), 10u);
  // Every language holds the same ids.
  std::vector<uint32_t> ids;
  for (const Resource& r : tables) {
    MessageTable table;
    ASSERT_EQ(MessageTable::Parse(r.data, &table), PeError::kOk)
        << "language " << r.language;
    if (ids.empty()) ids = table.Ids();
    EXPECT_EQ(table.Ids(), ids) << "language " << r.language;
  }
  EXPECT_GT(ids.size(), 700u);
  MessageTable table;
  uint16_t language = 0;
  ASSERT_EQ(LoadMessageTable(image, kLangEnUs, &table, &language),
            PeError::kOk);
  EXPECT_EQ(language, kLangEnUs);
  std::string text;
  // Wine's message compiler ends lines with LF alone, unlike mc.exe.
  ASSERT_EQ(table.Find(2, &text), PeError::kOk);  // ERROR_FILE_NOT_FOUND
  EXPECT_EQ(text, "File not found.\n");
  ASSERT_EQ(table.Find(5, &text), PeError::kOk);  // ERROR_ACCESS_DENIED
  EXPECT_EQ(text, "Access denied.\n");
  EXPECT_FALSE(MessagesInMuiFile(image));
}

TEST(WineDlls, EveryDllReadsCleanly) {
  const std::filesystem::path dir =
      std::filesystem::path(kWineDir) / "x86_64-windows";
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    GTEST_SKIP() << "wine64 not installed";
  }
  size_t files = 0;
  size_t with_tables = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() != ".dll") continue;
    const std::vector<uint8_t> file = ReadFile(entry.path());
    const std::string name = entry.path().filename().string();
    PeImage image;
    ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk) << name;
    std::vector<Resource> all;
    const PeError listed = ListResources(image, nullptr, &all);
    ASSERT_TRUE(listed == PeError::kOk || listed == PeError::kNotFound)
        << name << ": " << PeErrorText(listed);
    for (const Resource& r : all) EXPECT_TRUE(r.in_file) << name;
    MessageTable table;
    const PeError loaded = LoadMessageTable(image, kLangEnUs, &table, nullptr);
    ASSERT_TRUE(loaded == PeError::kOk || loaded == PeError::kNotFound)
        << name << ": " << PeErrorText(loaded);
    if (loaded == PeError::kOk) ++with_tables;
    ++files;
  }
  EXPECT_GT(files, 100u);
  EXPECT_GT(with_tables, 0u);
}

}  // namespace
}  // namespace pe
