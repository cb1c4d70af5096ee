// A bare folder of .evtx files read through hand-made file summaries:
// grouping into channels, file order, and the registry made up from them.
#include "platform/offline/image/evtx_folder.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "platform/offline/image/image.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;
using Paths = std::vector<std::filesystem::path>;

constexpr char kAuditGuid[] = "{54849625-5478-4994-a5ba-3e3b0328c30d}";
constexpr char kPowerShellGuid[] = "{a0c1853b-5c40-4b15-8766-3cf1c58f985a}";
constexpr char kOtherGuid[] = "{11111111-2222-3333-4444-555555555555}";
constexpr char kWerGuid[] = "{0ead09bd-2157-539a-8d6d-c87f95b64d70}";

// Summaries by file name; every file asked for is recorded.
class FakeSummaries {
 public:
  void Add(std::string file, std::optional<EvtxFileSummary> summary) {
    summaries_[std::move(file)] = std::move(summary);
  }
  EvtxSummarizer Summarizer() {
    return [this](const std::filesystem::path& path) -> std::optional<EvtxFileSummary> {
      const std::string name = path.filename().string();
      asked_.push_back(name);
      auto it = summaries_.find(name);
      if (it == summaries_.end()) {
        ADD_FAILURE() << "unexpected file " << path;
        return std::nullopt;
      }
      return it->second;
    };
  }
  const std::vector<std::string>& asked() const { return asked_; }

 private:
  std::map<std::string, std::optional<EvtxFileSummary>> summaries_;
  std::vector<std::string> asked_;
};

class EvtxFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Put("Security.evtx", {"Security", {{"Microsoft-Windows-Security-Auditing", kAuditGuid, 10}, {"EventLog", "", 1}}});
    // Another spelling of the same channel, and an archive of it.
    Put("sec-copy.evtx", {"SECURITY", {{"microsoft-windows-security-auditing", "", 5}}});
    Put("Archive-Security-2021-01-01-00-00-00-000.evtx", {"Security", {{"EventLog", "", 2}}});
    // No record names a channel: the file name does.
    Put("Microsoft-Windows-Sysmon%4Operational.evtx", {"", {}});
    // The records' channel wins over the file name.
    Put("renamed.evtx", {"Microsoft-Windows-PowerShell/Operational",
                         {{"Microsoft-Windows-PowerShell", kPowerShellGuid, 3}, {"Other", kOtherGuid, 7}}});
    Put("Application.evtx", {"Application", {{"Application Error", "", 4}, {"Microsoft-Windows-WER", kWerGuid, 2}}});
    Put("Windows PowerShell.evtx", {"Windows PowerShell", {{"PowerShell", "", 1}, {"Other", kOtherGuid, 1}}});
    // Not an event log, though named like one.
    dir_.Write("broken.evtx", "x");
    fake_.Add("broken.evtx", std::nullopt);
    // Neither read nor listed.
    dir_.Write("readme.txt", "x");
    dir_.Write("sub/Deeper.evtx", "x");
  }

  void Put(const std::string& file, EvtxFileSummary summary) {
    dir_.Write(file, "x");
    fake_.Add(file, std::move(summary));
  }

  TempFolder dir_;
  FakeSummaries fake_;
};

TEST_F(EvtxFolderTest, FilesGroupIntoChannelsByTheirRecords) {
  PathResolver resolver(dir_.path());
  std::vector<FolderChannel> channels = ScanEvtxFolder(resolver, fake_.Summarizer());
  std::vector<std::string> names;
  for (const FolderChannel& c : channels) names.push_back(c.channel.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Application", "Microsoft-Windows-PowerShell/Operational",
                                             "Microsoft-Windows-Sysmon/Operational", "Security",
                                             "Windows PowerShell"}));
  EXPECT_EQ(fake_.asked().size(), 8u);  // every .evtx directly in the folder, once
  const FolderChannel& security = channels[3];
  // Archives first, then the other files in name order.
  EXPECT_EQ(security.channel.files,
            (Paths{dir_.path() / "Archive-Security-2021-01-01-00-00-00-000.evtx", dir_.path() / "Security.evtx",
                   dir_.path() / "sec-copy.evtx"}));
  // Providers summed over the files, ignoring case, first GUID seen kept.
  ASSERT_EQ(security.providers.size(), 2u);
  EXPECT_EQ(security.providers[0].name, "EventLog");
  EXPECT_EQ(security.providers[0].events, 3u);
  EXPECT_EQ(security.providers[1].name, "Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(security.providers[1].events, 15u);
  EXPECT_EQ(security.providers[1].guid, kAuditGuid);
  EXPECT_EQ(channels[2].channel.files, Paths{dir_.path() / "Microsoft-Windows-Sysmon%4Operational.evtx"});
  for (const FolderChannel& c : channels) EXPECT_TRUE(c.channel.shared.empty()) << c.channel.name;
}

// Exports that hold records of several channels join each of them, shared;
// a file of one channel still belongs to its channel whole.
TEST_F(EvtxFolderTest, FilesOfSeveralChannelsJoinEach) {
  Put("export.evtx", {"Security",
                      {{"Microsoft-Windows-Security-Auditing", kAuditGuid, 4}},
                      {{"Microsoft-Windows-Sysmon/Operational", {{"Microsoft-Windows-Sysmon", kOtherGuid, 6}}},
                       {std::string("security\0x", 10), {{"EventLog", "", 1}}}}});
  PathResolver resolver(dir_.path());
  std::vector<FolderChannel> channels = ScanEvtxFolder(resolver, fake_.Summarizer());
  ASSERT_EQ(channels.size(), 5u);
  const ChannelFiles& security = channels[3].channel;
  ASSERT_EQ(security.name, "Security");
  EXPECT_EQ(security.files,
            (Paths{dir_.path() / "Archive-Security-2021-01-01-00-00-00-000.evtx", dir_.path() / "Security.evtx",
                   dir_.path() / "export.evtx", dir_.path() / "sec-copy.evtx"}));
  // The channel cut at its NUL is the file's own: shared with Sysmon only.
  ASSERT_EQ(security.shared.size(), 1u);
  EXPECT_EQ(security.shared[0].path, dir_.path() / "export.evtx");
  EXPECT_TRUE(security.shared[0].takes_unnamed);
  EXPECT_EQ(channels[3].providers[1].events, 19u);
  EXPECT_EQ(channels[3].providers[0].events, 4u);  // EventLog: 2 + 1 + 1
  const FolderChannel& sysmon = channels[2];
  EXPECT_EQ(sysmon.channel.files, (Paths{dir_.path() / "Microsoft-Windows-Sysmon%4Operational.evtx",
                                         dir_.path() / "export.evtx"}));
  ASSERT_EQ(sysmon.channel.shared.size(), 1u);
  EXPECT_EQ(sysmon.channel.shared[0].path, dir_.path() / "export.evtx");
  EXPECT_FALSE(sysmon.channel.shared[0].takes_unnamed);
  ASSERT_EQ(sysmon.providers.size(), 1u);
  EXPECT_EQ(sysmon.providers[0].events, 6u);
}

class EvtxFolderImageTest : public EvtxFolderTest {
 protected:
  HKey Open(const char* path) {
    HKey key = nullptr;
    EXPECT_EQ(image_->registry().RegOpenKeyA(LocalMachineKey(), path, &key), 0) << path;
    return key;
  }
  std::vector<std::string> Subkeys(const char* path) {
    HKey key = Open(path);
    std::vector<std::string> names;
    char name[260];
    for (uint32_t i = 0; image_->registry().RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) {
      names.emplace_back(name);
    }
    image_->registry().RegCloseKey(key);
    return names;
  }
  // A string value's text, or "<missing>".
  std::string Text(const char* path, const char* value) {
    HKey key = Open(path);
    char data[260];
    uint32_t size = sizeof data;
    const int32_t rc = image_->registry().RegQueryValueExA(key, value, nullptr, nullptr,
                                                           reinterpret_cast<uint8_t*>(data), &size);
    image_->registry().RegCloseKey(key);
    return rc == 0 ? std::string(data) : "<missing>";
  }

  void SetUp() override {
    EvtxFolderTest::SetUp();
    image_ = std::make_unique<Image>(dir_.path(), fake_.Summarizer());
  }
  std::unique_ptr<Image> image_;
};

TEST_F(EvtxFolderImageTest, ChannelsAreLookedUpIgnoringCase) {
  EXPECT_EQ(image_->layout(), ImageLayout::kEvtxFolder);
  EXPECT_EQ(image_->Channels().size(), 6u);  // System added, without files
  EXPECT_TRUE(image_->LookupChannel("system")->files.empty());
  std::optional<ChannelFiles> sysmon = image_->LookupChannel("microsoft-windows-sysmon/OPERATIONAL");
  ASSERT_TRUE(sysmon);
  EXPECT_EQ(sysmon->name, "Microsoft-Windows-Sysmon/Operational");
  EXPECT_FALSE(image_->LookupChannel("renamed"));
  EXPECT_FALSE(image_->LookupChannel("broken"));
  EXPECT_FALSE(image_->LookupChannel("Deeper"));
}

TEST_F(EvtxFolderImageTest, ClassicLogsAreServiceLogsWithTheirSources) {
  EXPECT_EQ(Subkeys("SYSTEM\\CurrentControlSet\\Services\\EventLog"),
            (std::vector<std::string>{"Application", "Security", "System", "Windows PowerShell"}));
  EXPECT_TRUE(Subkeys("SYSTEM\\CurrentControlSet\\Services\\EventLog\\System").empty());
  EXPECT_EQ(Subkeys("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security"),
            (std::vector<std::string>{"EventLog", "Microsoft-Windows-Security-Auditing"}));
  EXPECT_EQ(Subkeys("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"),
            (std::vector<std::string>{"Application Error", "Microsoft-Windows-WER"}));
}

TEST_F(EvtxFolderImageTest, EveryChannelIsRegisteredWithItsBusiestPublisher) {
  const char kChannels[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels";
  std::vector<std::string> names = Subkeys(kChannels);
  EXPECT_EQ(names.size(), 6u);
  auto owner = [&](const std::string& channel) {
    return Text((std::string(kChannels) + "\\" + channel).c_str(), "OwningPublisher");
  };
  EXPECT_EQ(owner("Security"), kAuditGuid);
  EXPECT_EQ(owner("Microsoft-Windows-PowerShell/Operational"), kOtherGuid);
  // The busiest provider of Application has no GUID: no owner.
  EXPECT_EQ(owner("Application"), "<missing>");
  EXPECT_EQ(owner("Microsoft-Windows-Sysmon/Operational"), "<missing>");
  EXPECT_EQ(owner("System"), "<missing>");
}

TEST_F(EvtxFolderImageTest, PublishersWithGuidsAreRegisteredByName) {
  const std::string publishers = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers";
  EXPECT_EQ(Subkeys(publishers.c_str()),
            (std::vector<std::string>{kWerGuid, kOtherGuid, kAuditGuid, kPowerShellGuid}));
  EXPECT_EQ(Text((publishers + "\\" + kAuditGuid).c_str(), nullptr), "Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(Text((publishers + "\\" + kOtherGuid).c_str(), ""), "Other");
  // Looked up in any case, as Windows looks up GUID keys.
  EXPECT_EQ(Text((publishers + "\\{A0C1853B-5C40-4B15-8766-3CF1C58F985A}").c_str(), nullptr),
            "Microsoft-Windows-PowerShell");
}

}  // namespace
}  // namespace qrv::offline
