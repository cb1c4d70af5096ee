// Variable expansion and the mapping of Windows paths onto an image root.
#include "platform/offline/image/windows_path.h"

#include <gtest/gtest.h>

namespace qrv::offline {
namespace {

using Parts = std::vector<std::string>;

TEST(ExpandImageVariablesTest, KnownVariablesIgnoreCase) {
  EXPECT_EQ(ExpandImageVariables("%SystemRoot%\\System32"), "C:\\Windows\\System32");
  EXPECT_EQ(ExpandImageVariables("%SYSTEMROOT%\\x;%windir%"), "C:\\Windows\\x;C:\\Windows");
  EXPECT_EQ(ExpandImageVariables("%SystemDrive%\\ProgramData"), "C:\\ProgramData");
  EXPECT_EQ(ExpandImageVariables("%ProgramFiles(x86)%\\App"), "C:\\Program Files (x86)\\App");
}

TEST(ExpandImageVariablesTest, UnknownVariablesAndLonePercentStay) {
  EXPECT_EQ(ExpandImageVariables("%NoSuchVar%\\x"), "%NoSuchVar%\\x");
  EXPECT_EQ(ExpandImageVariables("50%"), "50%");
  EXPECT_EQ(ExpandImageVariables("%%"), "%%");
  // The second '%' of an unknown name may open a known one.
  EXPECT_EQ(ExpandImageVariables("100%%windir%"), "100%C:\\Windows");
  EXPECT_EQ(ExpandImageVariables("a%unknown%windir%"), "a%unknownC:\\Windows");
}

TEST(ImagePathComponentsTest, SystemDrivePathsMapBelowTheRoot) {
  EXPECT_EQ(ImagePathComponents("%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx"),
            (Parts{"Windows", "System32", "Winevt", "Logs", "Application.evtx"}));
  EXPECT_EQ(ImagePathComponents("c:/Windows//Logs/./x.evtx"), (Parts{"Windows", "Logs", "x.evtx"}));
  EXPECT_EQ(ImagePathComponents("\\Windows\\..\\..\\Logs\\x.evtx"), (Parts{"Logs", "x.evtx"}));
  EXPECT_EQ(ImagePathComponents("\\\\?\\C:\\Logs\\a.evtx"), (Parts{"Logs", "a.evtx"}));
  EXPECT_EQ(ImagePathComponents("\\??\\C:\\Logs\\a.evtx"), (Parts{"Logs", "a.evtx"}));
  EXPECT_EQ(ImagePathComponents("C:\\"), Parts{});
}

TEST(ImagePathComponentsTest, PathsOutsideTheVolumeAreRefused) {
  EXPECT_EQ(ImagePathComponents("D:\\Logs\\a.evtx"), std::nullopt);
  EXPECT_EQ(ImagePathComponents("\\\\server\\share\\a.evtx"), std::nullopt);
  EXPECT_EQ(ImagePathComponents("Logs\\a.evtx"), std::nullopt);
  EXPECT_EQ(ImagePathComponents("C:a.evtx"), std::nullopt);
  EXPECT_EQ(ImagePathComponents(""), std::nullopt);
  EXPECT_EQ(ImagePathComponents("%Unknown%\\a.evtx"), std::nullopt);
}

}  // namespace
}  // namespace qrv::offline
