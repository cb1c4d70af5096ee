// The program over a Windows volume from a hostile machine: the sample image
// with its provider and publisher names rewritten to hold a tab, CR and LF,
// in the hives, the message files' manifests and the records alike. Every
// line must keep its fields, with each such character printed as a space,
// in the event lines and the catalogue lines.
#include <gtest/gtest.h>
#include <stdlib.h>

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

// Renames a provider everywhere the image names it.
void Rename(SampleImage& image, const std::string& from, const std::string& to) {
  for (SampleProvider& provider : image.providers) {
    if (provider.name == from) provider.name = to;
  }
  for (SampleEvent& event : image.events) {
    if (event.record.provider_name == from) event.record.provider_name = to;
  }
}

class ForgedImageEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleImage image = MakeSampleImage();
    // A classic source with a manifest (listed under its log) and the
    // publisher that owns the sample's channels.
    Rename(image, "QRV-Health-Monitor", "QRV\tHealth\r\nMonitor");
    Rename(image, "Microsoft-Windows-QRV-Sample", "Microsoft\tWindows\nQRV-Sample");
    std::string error;
    ASSERT_TRUE(WriteImageFolder(BuildSampleImageFiles(image), folder_, &error)) << error;
    setenv("QRV_EVENTLOG_ROOT", folder_.c_str(), 1);
  }
  void TearDown() override { unsetenv("QRV_EVENTLOG_ROOT"); }

  // The output of a run that must succeed quietly.
  static std::string Run(const std::vector<std::string>& args) {
    ToolResult run = RunTool(QRV_TOOL_PATH, args);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    return run.out;
  }

  // What the program prints over the sample image as built, with the two
  // providers' names, wherever a whole field holds one, written as the
  // forged names must print.
  static std::string ExpectedFromSample(const std::vector<std::string>& args) {
    setenv("QRV_EVENTLOG_ROOT", QRV_SAMPLE_IMAGE_DIR, 1);
    const std::string sample = Run(args);
    std::string expected;
    for (const std::string& line : SplitOutput(sample, '\n')) {
      std::vector<std::string> fields = SplitOutput(line, '\t');
      for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i] == "QRV-Health-Monitor") fields[i] = "QRV Health  Monitor";
        if (fields[i] == "Microsoft-Windows-QRV-Sample") fields[i] = "Microsoft Windows QRV-Sample";
        expected += (i == 0 ? "" : "\t") + fields[i];
      }
      expected += "\n";
    }
    return expected;
  }

  qrv::offline::testing::TempFolder temp_;
  std::filesystem::path folder_ = temp_.path() / "image";
};

TEST_F(ForgedImageEndToEnd, EventLinesKeepTheirFields) {
  const std::string forged = Run({"NOWARN", "GETEVENTS"});
  const std::string expected = ExpectedFromSample({"NOWARN", "GETEVENTS"});
  EXPECT_NE(forged.find("\tQRV Health  Monitor\t"), std::string::npos);
  EXPECT_NE(forged.find("\tMicrosoft Windows QRV-Sample\t"), std::string::npos);
  EXPECT_EQ(forged, expected);
}

TEST_F(ForgedImageEndToEnd, CatalogueLinesKeepTheirFields) {
  const std::string forged = Run({"NOWARN", "GETLIST"});
  const std::string expected = ExpectedFromSample({"NOWARN", "GETLIST"});
  EXPECT_NE(forged.find("\tQRV Health  Monitor\t"), std::string::npos);
  EXPECT_NE(forged.find("\tMicrosoft Windows QRV-Sample\t"), std::string::npos);
  EXPECT_EQ(forged, expected);
}

}  // namespace
}  // namespace qrv::sample
