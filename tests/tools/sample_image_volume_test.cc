// The sample image the build wrote, opened as the offline backend opens it:
// a Windows volume whose registry lists the logs and channels, whose log
// files are where the registry says, and whose registrations name files that
// exist in the image.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/image/image.h"
#include "platform/offline/messages/file_access.h"
#include "platform/registry_api.h"
#include "sample_image_test_util.h"

namespace qrv::offline {
namespace {

using qrv::sample::testing::BuiltImage;
using Names = std::vector<std::string>;

constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
constexpr char kChannelsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels";
constexpr char kPublishersKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers";
constexpr char kOperational[] = "Microsoft-Windows-QRV-Sample/Operational";
constexpr char kDebug[] = "Microsoft-Windows-QRV-Sample/Debug";

std::optional<EvtxFileSummary> NoSummary(const std::filesystem::path&) {
  ADD_FAILURE() << "a volume's logs are found through its registry, not read";
  return std::nullopt;
}

// One key opened below HKEY_LOCAL_MACHINE through the Win32-shaped calls,
// closed when the object goes.
class OpenKey {
 public:
  OpenKey(RegistryApi& api, const std::string& path) : api_(api) {
    opened_ = api_.RegOpenKeyA(LocalMachineKey(), path.c_str(), &key_) == 0;
  }
  ~OpenKey() {
    if (opened_) api_.RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  bool opened() const { return opened_; }

  Names Subkeys() const {
    Names names;
    char name[260];
    for (uint32_t i = 0; opened_ && api_.RegEnumKeyA(key_, i, name, sizeof name) == 0; ++i) {
      names.emplace_back(name);
    }
    return names;
  }

  // Text of a string value (type in *type), nullopt when it cannot be read.
  std::optional<std::string> Text(const char* value, uint32_t* type = nullptr) const {
    char data[1024];
    uint32_t size = sizeof data;
    uint32_t stored_type = 0;
    if (!opened_ || api_.RegQueryValueExA(key_, value, nullptr, &stored_type,
                                          reinterpret_cast<uint8_t*>(data), &size) != 0) {
      return std::nullopt;
    }
    if (type != nullptr) *type = stored_type;
    return std::string(data, strnlen(data, size));
  }

  std::optional<uint32_t> Dword(const char* value) const {
    uint32_t data = 0;
    uint32_t size = sizeof data;
    uint32_t type = 0;
    if (!opened_ ||
        api_.RegQueryValueExA(key_, value, nullptr, &type, reinterpret_cast<uint8_t*>(&data),
                              &size) != 0 ||
        type != kRegDword) {
      return std::nullopt;
    }
    return data;
  }

 private:
  RegistryApi& api_;
  HKey key_ = nullptr;
  bool opened_ = false;
};

class SampleVolumeTest : public ::testing::Test {
 protected:
  Image image_{BuiltImage(), NoSummary};
};

TEST_F(SampleVolumeTest, ChannelsAreTheLogsThenTheOtherRegisteredChannels) {
  ASSERT_EQ(image_.layout(), ImageLayout::kWindowsVolume) << BuiltImage();
  Names names;
  for (const ChannelFiles& c : image_.Channels()) names.push_back(c.name);
  EXPECT_EQ(names, (Names{"Application", "Security", "System", kDebug, kOperational}));
}

TEST_F(SampleVolumeTest, LookupChannelGivesEachLogItsFile) {
  const std::filesystem::path logs = BuiltImage() / "Windows/System32/winevt/Logs";
  for (const char* log : {"Application", "System", "Security"}) {
    const std::optional<ChannelFiles> found = image_.LookupChannel(log);
    ASSERT_TRUE(found.has_value()) << log;
    EXPECT_EQ(found->files,
              (std::vector<std::filesystem::path>{logs / (std::string(log) + ".evtx")}));
  }
  const std::optional<ChannelFiles> operational =
      image_.LookupChannel("microsoft-windows-qrv-sample/OPERATIONAL");
  ASSERT_TRUE(operational.has_value());
  EXPECT_EQ(operational->name, kOperational);
  EXPECT_EQ(operational->files, (std::vector<std::filesystem::path>{
                                    logs / "Microsoft-Windows-QRV-Sample%4Operational.evtx"}));
}

TEST_F(SampleVolumeTest, RegisteredChannelWithoutFileExistsAndIsEmpty) {
  const std::optional<ChannelFiles> debug = image_.LookupChannel(kDebug);
  ASSERT_TRUE(debug.has_value());
  EXPECT_TRUE(debug->files.empty());
  EXPECT_FALSE(std::filesystem::exists(BuiltImage() / "Windows/System32/winevt/Logs" /
                                       "Microsoft-Windows-QRV-Sample%4Debug.evtx"));
  EXPECT_FALSE(image_.LookupChannel("Setup").has_value());
}

TEST_F(SampleVolumeTest, EventLogKeyHoldsTheLogsAndTheTwoKeysThatAreNotLogs) {
  OpenKey service(image_.registry(), kEventLogKey);
  ASSERT_TRUE(service.opened());
  EXPECT_EQ(service.Subkeys(), (Names{"Application", "Parameters", "Security", "State", "System"}));
  EXPECT_EQ(OpenKey(image_.registry(), std::string(kEventLogKey) + "\\Application").Subkeys(),
            (Names{"QRV-Backup", "QRV-Health-Monitor", "QRV-Inventory"}));
  EXPECT_EQ(OpenKey(image_.registry(), std::string(kEventLogKey) + "\\System").Subkeys(),
            (Names{"QRV-Disk", "QRV-ServiceControl"}));
  EXPECT_EQ(OpenKey(image_.registry(), std::string(kEventLogKey) + "\\Security").Subkeys(),
            (Names{"Microsoft-Windows-Security-Auditing"}));

  uint32_t type = 0;
  OpenKey application(image_.registry(), std::string(kEventLogKey) + "\\Application");
  EXPECT_EQ(application.Text("File", &type),
            "%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx");
  EXPECT_EQ(type, kRegExpandSz);
}

TEST_F(SampleVolumeTest, ChannelsKeyListsEveryChannelAndItsOwner) {
  OpenKey channels(image_.registry(), kChannelsKey);
  EXPECT_EQ(channels.Subkeys(), (Names{"Application", kDebug, kOperational, "Security", "System"}));

  // Classic logs have no owning publisher, as on Windows.
  EXPECT_FALSE(OpenKey(image_.registry(), std::string(kChannelsKey) + "\\Application")
                   .Text("OwningPublisher"));

  OpenKey operational(image_.registry(), std::string(kChannelsKey) + "\\" + kOperational);
  const std::optional<std::string> owner = operational.Text("OwningPublisher");
  ASSERT_TRUE(owner.has_value());
  EXPECT_EQ(*owner, "{6a1f3c52-8d4e-4b7a-9e21-5c0d7f3b8a14}");
  EXPECT_EQ(operational.Dword("Enabled"), 1u);
  EXPECT_EQ(operational.Dword("Type"), 1u);
  OpenKey debug(image_.registry(), std::string(kChannelsKey) + "\\" + kDebug);
  EXPECT_EQ(debug.Text("OwningPublisher"), owner);
  EXPECT_EQ(debug.Dword("Enabled"), 0u);
  EXPECT_EQ(debug.Dword("Type"), 3u);

  OpenKey publisher(image_.registry(), std::string(kPublishersKey) + "\\" + *owner);
  EXPECT_EQ(publisher.Text(""), "Microsoft-Windows-QRV-Sample");
  EXPECT_EQ(OpenKey(image_.registry(),
                    std::string(kPublishersKey) + "\\{54849625-5478-4994-a5ba-3e3b0328c30d}")
                .Text(""),
            "Microsoft-Windows-Security-Auditing");
}

TEST_F(SampleVolumeTest, ChannelReferencesNameTheChannelsAndTheirValues) {
  const std::string refs =
      std::string(kPublishersKey) + "\\{6a1f3c52-8d4e-4b7a-9e21-5c0d7f3b8a14}\\ChannelReferences";
  EXPECT_EQ(OpenKey(image_.registry(), refs).Dword("Count"), 2u);
  OpenKey first(image_.registry(), refs + "\\0");
  EXPECT_EQ(first.Text(""), kOperational);
  EXPECT_EQ(first.Dword("Id"), 16u);
  OpenKey second(image_.registry(), refs + "\\1");
  EXPECT_EQ(second.Text(""), kDebug);
  EXPECT_EQ(second.Dword("Id"), 17u);
}

TEST_F(SampleVolumeTest, SystemRootAndCurrentControlSet) {
  EXPECT_EQ(OpenKey(image_.registry(), "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")
                .Text("SystemRoot"),
            "C:\\Windows");
  EXPECT_EQ(OpenKey(image_.registry(), "SYSTEM\\Select").Dword("Current"), 1u);
  // CurrentControlSet is ControlSet001: both paths reach the same values.
  EXPECT_EQ(
      OpenKey(image_.registry(), "SYSTEM\\ControlSet001\\Services\\EventLog\\System").Subkeys(),
      OpenKey(image_.registry(), std::string(kEventLogKey) + "\\System").Subkeys());
}

// Every file a registration names exists in the image, so message lookups
// find what the registry promises.
TEST_F(SampleVolumeTest, EveryRegisteredMessageFileIsInTheImage) {
  const PathResolver resolver(BuiltImage());
  size_t files_checked = 0;
  auto check_list = [&](const OpenKey& key, const char* value, const std::string& where) {
    uint32_t type = 0;
    const std::optional<std::string> list = key.Text(value, &type);
    if (!list) return;
    EXPECT_EQ(type, kRegExpandSz) << where << " " << value;
    for (const std::string& file : SplitFileList(*list)) {
      EXPECT_TRUE(resolver.ResolveWindowsPath(file).has_value())
          << where << " " << value << ": " << file;
      ++files_checked;
    }
  };
  for (const char* log : {"Application", "System", "Security"}) {
    const std::string log_key = std::string(kEventLogKey) + "\\" + log;
    for (const std::string& source : OpenKey(image_.registry(), log_key).Subkeys()) {
      const std::string path = log_key + "\\" + source;
      OpenKey key(image_.registry(), path);
      EXPECT_TRUE(key.Text("EventMessageFile").has_value()) << path;
      for (const char* value :
           {"EventMessageFile", "ParameterMessageFile", "CategoryMessageFile"}) {
        check_list(key, value, path);
      }
    }
  }
  for (const std::string& guid : OpenKey(image_.registry(), kPublishersKey).Subkeys()) {
    const std::string path = std::string(kPublishersKey) + "\\" + guid;
    OpenKey key(image_.registry(), path);
    for (const char* value : {"ResourceFileName", "MessageFileName", "ParameterFileName"}) {
      check_list(key, value, path);
    }
  }
  // 6 sources with 7 EventMessageFile entries, 1 ParameterMessageFile and
  // 1 CategoryMessageFile; 3 publishers with 2 files each, 1 ParameterFileName.
  EXPECT_EQ(files_checked, 16u);
}

}  // namespace
}  // namespace qrv::offline
