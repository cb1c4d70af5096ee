// Image over a Windows volume layout written with the hive writer, and over
// folders that are no image at all.
#include "platform/offline/image/image.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/regf/hive_writer.h"
#include "image_test_util.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;
using Paths = std::vector<std::filesystem::path>;

constexpr char kLogs[] = "Windows/System32/winevt/Logs/";

std::optional<EvtxFileSummary> NoSummary(const std::filesystem::path&) {
  ADD_FAILURE() << "a volume's logs are found through its registry, not read";
  return std::nullopt;
}

std::vector<uint8_t> SystemHive() {
  regf::WriterKey root("SYSTEM");
  root.AddKey("Select").SetDword("Current", 1);
  regf::WriterKey& logs = root.AddPath("ControlSet001\\Services\\EventLog");
  logs.AddKey("Application").SetString("File", "%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx",
                                       regf::kRegExpandSz);
  logs.AddKey("System");
  logs.AddKey("Security").SetString("File", "C:\\Logs\\Sec.evtx");
  logs.AddKey("HardwareEvents");
  logs.AddKey("Remote").SetString("File", "D:\\Logs\\Remote.evtx");
  logs.AddKey("Parameters");
  logs.AddKey("state");
  return regf::WriteHive(root);
}

std::vector<uint8_t> SoftwareHive() {
  regf::WriterKey root("SOFTWARE");
  regf::WriterKey& channels = root.AddPath("Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
  channels.AddKey("APPLICATION");
  channels.AddKey("Application-Extra");
  channels.AddKey("Microsoft-Windows-CAPI2/Operational");
  channels.AddKey("Custom/Admin").SetString("File", "%SystemDrive%\\Custom\\custom.evtx", regf::kRegExpandSz);
  channels.AddKey("Setup");
  return regf::WriteHive(root);
}

class VolumeImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Folder names in other cases than the paths the registry gives.
    dir_.Write("windows/system32/CONFIG/system", SystemHive());
    dir_.Write("windows/system32/CONFIG/Software", SoftwareHive());
    logs_ = dir_.MakeFolder("windows/system32/WINEVT/logs");
    for (const char* name : {"application.evtx", "Archive-Application-2021-01-02-03-04-05-006.evtx",
                             "Archive-Application-2020-12-31-00-00-00-000.evtx",
                             "Archive-Application-Extra-2021-01-01-00-00-00-000.evtx", "System.evtx",
                             "Microsoft-Windows-CAPI2%4Operational.evtx", "Unregistered.evtx",
                             "HardwareEvents.evtx.bak"}) {
      dir_.Write(std::string("windows/system32/WINEVT/logs/") + name, "x");
    }
    dir_.Write("Logs/Sec.evtx", "x");
    dir_.Write("Logs/Archive-Sec-2022-01-01-00-00-00-000.evtx", "x");
    dir_.Write("custom/CUSTOM.evtx", "x");
  }

  TempFolder dir_;
  std::filesystem::path logs_;
};

TEST_F(VolumeImageTest, ChannelsAreTheRegisteredOnesInRegistryOrder) {
  Image image(dir_.path(), NoSummary);
  EXPECT_EQ(image.layout(), ImageLayout::kWindowsVolume);
  std::vector<std::string> names;
  for (const ChannelFiles& c : image.Channels()) names.push_back(c.name);
  // Service logs (no Parameters, no State), then channels not seen already.
  EXPECT_EQ(names, (std::vector<std::string>{"Application", "HardwareEvents", "Remote", "Security", "System",
                                             "Application-Extra", "Custom/Admin",
                                             "Microsoft-Windows-CAPI2/Operational", "Setup"}));
}

TEST_F(VolumeImageTest, LiveLogIsTheRegistryPathOrTheDefaultOne) {
  Image image(dir_.path(), NoSummary);
  std::optional<ChannelFiles> system = image.LookupChannel("SYSTEM");
  ASSERT_TRUE(system);
  EXPECT_EQ(system->name, "System");
  EXPECT_EQ(system->files, Paths{logs_ / "System.evtx"});
  std::optional<ChannelFiles> capi = image.LookupChannel("microsoft-windows-capi2/operational");
  ASSERT_TRUE(capi);
  EXPECT_EQ(capi->files, Paths{logs_ / "Microsoft-Windows-CAPI2%4Operational.evtx"});
  // File values, expanded inside the image and matched ignoring case.
  EXPECT_EQ(image.LookupChannel("Custom/Admin")->files, Paths{dir_.path() / "custom/CUSTOM.evtx"});
}

TEST_F(VolumeImageTest, ArchivesJoinTheirLogOldestFirst) {
  Image image(dir_.path(), NoSummary);
  EXPECT_EQ(image.LookupChannel("Application")->files,
            (Paths{logs_ / "Archive-Application-2020-12-31-00-00-00-000.evtx",
                   logs_ / "Archive-Application-2021-01-02-03-04-05-006.evtx", logs_ / "application.evtx"}));
  // The longer stem claims its own archive; the log itself was never written.
  EXPECT_EQ(image.LookupChannel("Application-Extra")->files,
            Paths{logs_ / "Archive-Application-Extra-2021-01-01-00-00-00-000.evtx"});
  // Archives sit beside the configured live log, named after its file.
  EXPECT_EQ(image.LookupChannel("Security")->files,
            (Paths{dir_.path() / "Logs/Archive-Sec-2022-01-01-00-00-00-000.evtx", dir_.path() / "Logs/Sec.evtx"}));
}

TEST_F(VolumeImageTest, RegisteredChannelsWithoutFilesAreEmptyAndFilesAloneAreNoChannels) {
  Image image(dir_.path(), NoSummary);
  for (const char* name : {"HardwareEvents", "Setup", "Remote"}) {
    std::optional<ChannelFiles> c = image.LookupChannel(name);
    ASSERT_TRUE(c) << name;
    EXPECT_TRUE(c->files.empty()) << name;
  }
  EXPECT_FALSE(image.LookupChannel("Unregistered"));
  EXPECT_FALSE(image.LookupChannel("Parameters"));
  EXPECT_FALSE(image.LookupChannel("Applicatio"));
}

TEST_F(VolumeImageTest, RegistryServesBothHives) {
  Image image(dir_.path(), NoSummary);
  RegistryApi& registry = image.registry();
  HKey key = nullptr;
  ASSERT_EQ(registry.RegOpenKeyA(LocalMachineKey(), "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security", &key), 0);
  char data[64];
  uint32_t size = sizeof data;
  ASSERT_EQ(registry.RegQueryValueExA(key, "File", nullptr, nullptr, reinterpret_cast<uint8_t*>(data), &size), 0);
  EXPECT_STREQ(data, "C:\\Logs\\Sec.evtx");
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  ASSERT_EQ(registry.RegOpenKeyA(LocalMachineKey(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels\\Setup", &key), 0);
  EXPECT_EQ(registry.RegCloseKey(key), 0);
}

TEST(VolumeImageEdgeTest, UnreadableHiveLeavesItsKeyMissing) {
  TempFolder dir;
  dir.Write("Windows/System32/config/SYSTEM", "not a hive at all");
  dir.Write("Windows/System32/config/SOFTWARE", SoftwareHive());
  Image image(dir.path(), NoSummary);
  EXPECT_EQ(image.layout(), ImageLayout::kWindowsVolume);
  HKey key = nullptr;
  EXPECT_EQ(image.registry().RegOpenKeyA(LocalMachineKey(), "SYSTEM", &key), static_cast<int32_t>(kErrorFileNotFound));
  char name[16];
  ASSERT_EQ(image.registry().RegEnumKeyA(LocalMachineKey(), 0, name, sizeof name), 0);
  EXPECT_STREQ(name, "SOFTWARE");
  EXPECT_EQ(image.registry().RegEnumKeyA(LocalMachineKey(), 1, name, sizeof name),
            static_cast<int32_t>(kErrorNoMoreItems));
  // Channels still come from SOFTWARE alone.
  ASSERT_EQ(image.Channels().size(), 5u);
  EXPECT_EQ(image.Channels()[0].name, "APPLICATION");
}

// A folder that is neither layout is a machine with nothing in it.
void ExpectEmptyMachine(const std::filesystem::path& root) {
  Image image(root, NoSummary);
  EXPECT_EQ(image.layout(), ImageLayout::kEmpty);
  EXPECT_TRUE(image.Channels().empty());
  EXPECT_FALSE(image.LookupChannel("Application"));
  char name[16];
  EXPECT_EQ(image.registry().RegEnumKeyA(LocalMachineKey(), 0, name, sizeof name),
            static_cast<int32_t>(kErrorNoMoreItems));
  HKey key = nullptr;
  EXPECT_EQ(image.registry().RegOpenKeyA(LocalMachineKey(), "SYSTEM\\CurrentControlSet", &key),
            static_cast<int32_t>(kErrorFileNotFound));
}

TEST(UnusableRootTest, MissingFolderFileAndFoldersWithoutLogsAreEmptyMachines) {
  TempFolder dir;
  ExpectEmptyMachine(dir.path() / "absent");
  ExpectEmptyMachine(dir.Write("plain-file", "x"));
  ExpectEmptyMachine(dir.MakeFolder("empty"));
  // Logs without hives, and logs in subfolders only, are neither layout.
  dir.Write("no-hives/Windows/System32/winevt/Logs/System.evtx", "x");
  ExpectEmptyMachine(dir.path() / "no-hives");
  ExpectEmptyMachine(std::filesystem::path());
}

}  // namespace
}  // namespace qrv::offline
