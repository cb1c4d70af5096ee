// PathResolver: component-wise case-insensitive lookup inside an image.
#include "platform/offline/image/path_resolver.h"

#include <gtest/gtest.h>

#include "image_test_util.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;

TEST(PathResolverTest, EachComponentMatchesIgnoringCase) {
  TempFolder dir;
  dir.Write("Windows/System32/winevt/Logs/Application.evtx", "x");
  PathResolver resolver(dir.path());
  EXPECT_EQ(resolver.Resolve({"WINDOWS", "system32", "WinEvt", "LOGS", "application.EVTX"}),
            dir.path() / "Windows/System32/winevt/Logs/Application.evtx");
  EXPECT_EQ(resolver.ResolveWindowsPath("%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx"),
            dir.path() / "Windows/System32/winevt/Logs/Application.evtx");
  EXPECT_EQ(resolver.Resolve({}), dir.path());
}

TEST(PathResolverTest, NonAsciiNamesFoldLikeTheRegistry) {
  TempFolder dir;
  dir.Write("Journaux/Événements.evtx", "x");
  PathResolver resolver(dir.path());
  EXPECT_EQ(resolver.Resolve({"JOURNAUX", "ÉVÉNEMENTS.EVTX"}), dir.path() / "Journaux/Événements.evtx");
}

TEST(PathResolverTest, ExactSpellingWinsOverAnotherCase) {
  TempFolder dir;
  dir.Write("Logs/APP.evtx", "upper");
  dir.Write("Logs/app.evtx", "lower");
  PathResolver resolver(dir.path());
  EXPECT_EQ(resolver.Resolve({"Logs", "app.evtx"}), dir.path() / "Logs/app.evtx");
  EXPECT_EQ(resolver.Resolve({"Logs", "APP.evtx"}), dir.path() / "Logs/APP.evtx");
  // No exact match: the first in byte order.
  EXPECT_EQ(resolver.Resolve({"Logs", "App.evtx"}), dir.path() / "Logs/APP.evtx");
}

TEST(PathResolverTest, MissingComponentsAndFilesUsedAsFoldersFail) {
  TempFolder dir;
  dir.Write("Windows/file.txt", "x");
  PathResolver resolver(dir.path());
  EXPECT_EQ(resolver.Resolve({"Windows", "absent"}), std::nullopt);
  EXPECT_EQ(resolver.Resolve({"Windows", "file.txt", "below"}), std::nullopt);
  EXPECT_EQ(resolver.ResolveWindowsPath("D:\\Windows\\file.txt"), std::nullopt);
  PathResolver nowhere(dir.path() / "no-such-root");
  EXPECT_EQ(nowhere.Resolve({"Windows"}), std::nullopt);
  EXPECT_TRUE(nowhere.List(nowhere.root()).empty());
}

TEST(PathResolverTest, ListingIsSortedAndTyped) {
  TempFolder dir;
  dir.Write("b.evtx", "x");
  dir.MakeFolder("a-folder");
  PathResolver resolver(dir.path());
  const std::vector<DirEntry>& entries = resolver.List(dir.path());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a-folder");
  EXPECT_TRUE(entries[0].is_directory);
  EXPECT_FALSE(entries[0].is_regular_file);
  EXPECT_EQ(entries[1].name, "b.evtx");
  EXPECT_TRUE(entries[1].is_regular_file);
}

}  // namespace
}  // namespace qrv::offline
