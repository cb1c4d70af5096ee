// The generator run as the build runs it: the same bytes on every run (and
// the same as the build's own image), a fresh image in place of an old one,
// and no harm to a folder that is not an image.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/offline/image/image_test_util.h"
#include "sample_image_test_util.h"

namespace qrv::sample {
namespace {

namespace fs = std::filesystem;
using offline::testing::TempFolder;
using testing::BuiltImage;
using testing::ReadBytes;
using Files = std::map<std::string, std::vector<uint8_t>>;

// Exit status of the generator run with `arguments` (already quoted).
int RunGenerator(const std::string& arguments) {
  const std::string command =
      std::string("'") + QRV_MAKE_SAMPLE_IMAGE + "' " + arguments + " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunGenerator(const fs::path& out) { return RunGenerator("'" + out.string() + "'"); }

// Every regular file below `folder`, by relative path.
Files FilesOf(const fs::path& folder) {
  Files files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), folder).generic_string()] = ReadBytes(entry.path());
  }
  return files;
}

TEST(SampleImageGenerationTest, EveryRunWritesTheSameBytes) {
  TempFolder tmp;
  ASSERT_EQ(RunGenerator(tmp.path() / "first"), 0);
  ASSERT_EQ(RunGenerator(tmp.path() / "second"), 0);
  const Files first = FilesOf(tmp.path() / "first");
  // 2 hives, 4 logs, 8 DLLs and 1 language file.
  EXPECT_EQ(first.size(), 15u);
  EXPECT_TRUE(first == FilesOf(tmp.path() / "second"));
  EXPECT_TRUE(first == FilesOf(BuiltImage()));
  EXPECT_FALSE(fs::exists(tmp.path() / "first.new"));
}

TEST(SampleImageGenerationTest, RerunReplacesTheWholeOldImage) {
  TempFolder tmp;
  const fs::path out = tmp.path() / "image";
  ASSERT_EQ(RunGenerator(out), 0);
  const Files before = FilesOf(out);
  tmp.Write("image/Windows/System32/winevt/Logs/Stale.evtx", "left from an older generator");
  tmp.Write("image/Windows/System32/qrvbackup.dll", "damaged");
  ASSERT_EQ(RunGenerator(out), 0);
  EXPECT_TRUE(FilesOf(out) == before);
}

TEST(SampleImageGenerationTest, LeavesAFolderThatIsNoImageAlone) {
  TempFolder tmp;
  const fs::path notes = tmp.Write("data/notes.txt", "keep me");
  EXPECT_EQ(RunGenerator(tmp.path() / "data"), 1);
  EXPECT_TRUE(fs::exists(notes));
  EXPECT_FALSE(fs::exists(tmp.path() / "data" / "Windows"));
  EXPECT_FALSE(fs::exists(tmp.path() / "data.new"));
}

TEST(SampleImageGenerationTest, WithoutAnOutputFolderPrintsUsage) {
  EXPECT_EQ(RunGenerator(std::string()), 2);
}

}  // namespace
}  // namespace qrv::sample
