// SynthesizeRegistry on hand-made channels: the publisher name chosen for a
// GUID, and names that cannot be keys; the classic logs every folder gets.
#include "platform/offline/image/synthetic_registry.h"

#include <gtest/gtest.h>

namespace qrv::offline {
namespace {

constexpr char kGuid[] = "{aaaaaaaa-0000-0000-0000-000000000001}";

FolderChannel Channel(std::string name, std::vector<ProviderCount> providers) {
  return FolderChannel{ChannelFiles{std::move(name), {}}, std::move(providers)};
}

std::string DefaultText(const MemoryKey& key) {
  const MemoryValue* v = key.FindValue("");
  if (v == nullptr) return "<missing>";
  std::string text;
  for (size_t i = 0; i + 1 < v->data.size() && v->data[i] != 0; i += 2) text.push_back(static_cast<char>(v->data[i]));
  return text;
}

TEST(SynthesizeRegistryTest, GuidKeyIsNamedByItsBusiestProviderOverAllChannels) {
  MemoryKey system("SYSTEM");
  MemoryKey software("SOFTWARE");
  // "A" logs 3 + 3 events in two channels, "B" 5 in one: "A" wins.
  SynthesizeRegistry({Channel("One/Operational", {{"A", kGuid, 3}, {"B", kGuid, 5}}),
                      Channel("Two/Operational", {{"A", kGuid, 3}})},
                     &system, &software);
  const MemoryKey* publisher = software.AddPath("Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers").FindSubkey(kGuid);
  ASSERT_NE(publisher, nullptr);
  EXPECT_EQ(DefaultText(*publisher), "A");
  // Channels with '/' are not service logs; the key exists but is empty.
  EXPECT_TRUE(system.AddPath("ControlSet001\\Services\\EventLog").subkeys().empty());
  const MemoryKey* select = system.FindSubkey("Select");
  ASSERT_NE(select, nullptr);
  ASSERT_NE(select->FindValue("Current"), nullptr);
  EXPECT_EQ(select->FindValue("Current")->data, (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST(SynthesizeRegistryTest, NamesThatCannotBeKeysAreLeftOut) {
  MemoryKey system("SYSTEM");
  MemoryKey software("SOFTWARE");
  SynthesizeRegistry({Channel("Bad\\Name", {{"P", "", 1}}), Channel(std::string(256, 'x'), {}),
                      Channel("Good", {{"Back\\Slash", "", 1}, {"", "", 1}, {"Fine", "", 1}})},
                     &system, &software);
  const MemoryKey& channels = software.AddPath("Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
  ASSERT_EQ(channels.subkeys().size(), 1u);
  EXPECT_EQ(channels.subkeys()[0]->name(), "Good");
  const MemoryKey* good = system.AddPath("ControlSet001\\Services\\EventLog").FindSubkey("Good");
  ASSERT_NE(good, nullptr);
  ASSERT_EQ(good->subkeys().size(), 1u);
  EXPECT_EQ(good->subkeys()[0]->name(), "Fine");
}

TEST(AddClassicLogsTest, EveryFolderHasTheThreeClassicLogsInRegistryOrder) {
  const struct {
    std::vector<std::string> before;
    std::vector<std::string> after;
  } kCases[] = {
      {{}, {"Application", "Security", "System"}},
      {{"Microsoft-Windows-Sysmon/Operational"},
       {"Application", "Microsoft-Windows-Sysmon/Operational", "Security", "System"}},
      // Present in another letter case: kept as spelled, not added again.
      {{"application", "SECURITY", "Setup", "system", "Windows PowerShell"},
       {"application", "SECURITY", "Setup", "system", "Windows PowerShell"}},
      {{"Security", "Zeta"}, {"Application", "Security", "System", "Zeta"}},
  };
  for (const auto& c : kCases) {
    std::vector<FolderChannel> channels;
    for (const std::string& name : c.before) channels.push_back(Channel(name, {{"P", "", 1}}));
    AddClassicLogs(&channels);
    std::vector<std::string> names;
    for (const FolderChannel& channel : channels) {
      names.push_back(channel.channel.name);
      if (channel.providers.empty()) {
        EXPECT_TRUE(channel.channel.files.empty()) << channel.channel.name;
      }
    }
    EXPECT_EQ(names, c.after);
  }
}

}  // namespace
}  // namespace qrv::offline
