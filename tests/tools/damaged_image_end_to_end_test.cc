// The program over a Windows volume damaged in transit or by a hostile hand:
// the sample image with bytes of its hives, message files or logs
// overwritten at random (fixed seeds), or cut short. Whatever the damage,
// every command ends normally (status 0, nothing on standard error) and
// every line keeps the shape of its kind, so a script reading the output is
// never handed a broken line. Damage to one kind of file must not change what
// the other kinds give: channels do not come from message files, and the
// publisher catalogue does not come from the logs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>
#include <string>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/support/run_tool.h"
#include "tools/image_folder.h"
#include "tools/sample_image_content.h"
#include "tools/sample_image_files.h"

namespace qrv::sample {
namespace {

using test_support::RunTool;
using test_support::SplitOutput;
using test_support::ToolResult;

enum class Kind { kHive, kMessageFile, kLog };

Kind KindOf(const ImageFile& file) {
  if (file.path.rfind(kConfigFolder, 0) == 0) return Kind::kHive;
  if (file.path.rfind(kLogsFolder, 0) == 0) return Kind::kLog;
  return Kind::kMessageFile;
}

const std::vector<ImageFile>& SampleFiles() {
  static const std::vector<ImageFile> files = BuildSampleImageFiles(MakeSampleImage());
  return files;
}

// The sample's files with those of `kind` damaged: single bytes overwritten
// at random (about one byte in `spacing`), and with `cut`, each file also cut
// at a random length.
std::vector<ImageFile> Damaged(Kind kind, unsigned seed, size_t spacing, bool cut) {
  std::mt19937 random(seed);
  std::vector<ImageFile> files = SampleFiles();
  for (ImageFile& file : files) {
    if (KindOf(file) != kind || file.bytes.empty()) continue;
    std::uniform_int_distribution<size_t> at(0, file.bytes.size() - 1);
    for (size_t n = file.bytes.size() / spacing + 1; n > 0; --n) {
      file.bytes[at(random)] = static_cast<uint8_t>(random());
    }
    if (cut) file.bytes.resize(at(random));
  }
  return files;
}

class DamagedImageEndToEnd : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  // Writes `files` as the image and makes it the machine.
  void Use(const std::vector<ImageFile>& files) {
    std::string error;
    ASSERT_TRUE(WriteImageFolder(files, folder_, &error)) << error;
    setenv("QRV_EVENTLOG_ROOT", folder_.c_str(), 1);
  }

  // The output of a command that must end normally, each line checked
  // against its kind: `fields` tab-separated fields, an empty line, or a
  // line of a failure block.
  static std::string Run(const std::string& command, size_t fields) {
    const ToolResult run = RunTool(QRV_TOOL_PATH, {"NOWARN", command});
    EXPECT_FALSE(run.timed_out) << command;
    EXPECT_EQ(run.term_signal, 0) << command;
    EXPECT_EQ(run.exit_status, 0) << command;
    EXPECT_EQ(run.err, "") << command;
    EXPECT_EQ(run.out.find('\0'), std::string::npos) << command;
    for (const std::string& line : SplitOutput(run.out, '\n')) {
      if (line.empty() || line.rfind("Failed to ", 0) == 0) continue;
      EXPECT_EQ(SplitOutput(line, '\t').size(), fields) << command << ": " << line;
      EXPECT_EQ(line.find('\r'), std::string::npos) << command << ": " << line;
    }
    return run.out;
  }

  qrv::offline::testing::TempFolder temp_;
  std::filesystem::path folder_ = temp_.path() / "image";
};

constexpr size_t kEventFields = 6;
constexpr size_t kPublisherFields = 4;

TEST_F(DamagedImageEndToEnd, EveryCommandEndsNormallyWhateverTheDamage) {
  struct Case {
    Kind kind;
    size_t spacing;
    bool cut;
  };
  const Case cases[] = {
      {Kind::kHive, 64, false},       {Kind::kHive, 4096, false},
      {Kind::kHive, 1 << 20, true},   {Kind::kMessageFile, 64, false},
      {Kind::kMessageFile, 512, false}, {Kind::kMessageFile, 1 << 20, true},
      {Kind::kLog, 256, false},       {Kind::kLog, 8192, false},
      {Kind::kLog, 1 << 20, true},
  };
  for (unsigned seed = 1; seed <= 4; ++seed) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(c.kind) << ", seed "
                                        << seed << ", spacing " << c.spacing
                                        << (c.cut ? ", cut" : ""));
      Use(Damaged(c.kind, seed, c.spacing, c.cut));
      Run("GETLISTCHANNELS", 1);
      Run("GETLIST", kPublisherFields);
      Run("GETEVENTS", kEventFields);
      if (HasFatalFailure() || HasFailure()) return;
    }
  }
}

TEST_F(DamagedImageEndToEnd, DamageStaysWithTheFilesItHit) {
  Use(SampleFiles());
  const std::string channels = Run("GETLISTCHANNELS", 1);
  const std::string publishers = Run("GETLIST", kPublisherFields);
  const std::string events = Run("GETEVENTS", kEventFields);
  ASSERT_NE(channels, "");
  ASSERT_NE(publishers, "");
  for (unsigned seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    Use(Damaged(Kind::kMessageFile, seed, 64, false));
    EXPECT_EQ(Run("GETLISTCHANNELS", 1), channels);
    Use(Damaged(Kind::kLog, seed, 256, false));
    EXPECT_EQ(Run("GETLISTCHANNELS", 1), channels);
    EXPECT_EQ(Run("GETLIST", kPublisherFields), publishers);
    // Damaged logs lose records (and a damaged value may print otherwise),
    // but damage never adds one.
    EXPECT_LE(SplitOutput(Run("GETEVENTS", kEventFields), '\n').size(),
              SplitOutput(events, '\n').size());
  }
}

}  // namespace
}  // namespace qrv::sample
