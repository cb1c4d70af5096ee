// SummarizeEvtxFile over files written with the EVTX writer, and a bare
// folder of such files read end to end by Image.
#include "platform/offline/image/evtx_summary.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/evtx/evtx_writer.h"
#include "image_test_util.h"
#include "platform/offline/image/image.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;

// {54849625-5478-4994-a5ba-3e3b0328c30d} in its on-disk byte order.
constexpr evtx::GuidBytes kAuditGuid = {
    {0x25, 0x96, 0x84, 0x54, 0x78, 0x54, 0x94, 0x49, 0xa5, 0xba, 0x3e, 0x3b, 0x03, 0x28, 0xc3, 0x0d}};
constexpr char kAuditGuidText[] = "{54849625-5478-4994-a5ba-3e3b0328c30d}";

evtx::WriterEvent Event(std::string provider, std::optional<evtx::GuidBytes> guid, std::string channel) {
  evtx::WriterEvent e;
  e.provider_name = std::move(provider);
  e.provider_guid = guid;
  e.channel = std::move(channel);
  e.event_id = 4624;
  e.computer = "host";
  e.time_created = 0x01D7000000000000;
  return e;
}

TEST(SummarizeEvtxFileTest, CountsEventsPerProviderWithTheirGuids) {
  TempFolder dir;
  const auto file = dir.Write("Security.evtx",
                              evtx::WriteEvtx({Event("Microsoft-Windows-Security-Auditing", kAuditGuid, "Security"),
                                               Event("EventLog", std::nullopt, "Security"),
                                               Event("Microsoft-Windows-Security-Auditing", kAuditGuid, "Security")}));
  std::optional<EvtxFileSummary> summary = SummarizeEvtxFile(file);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->channel, "Security");
  ASSERT_EQ(summary->providers.size(), 2u);
  EXPECT_EQ(summary->providers[0].name, "Microsoft-Windows-Security-Auditing");
  EXPECT_EQ(summary->providers[0].guid, kAuditGuidText);
  EXPECT_EQ(summary->providers[0].events, 2u);
  EXPECT_EQ(summary->providers[1].name, "EventLog");
  EXPECT_EQ(summary->providers[1].guid, "");
  EXPECT_EQ(summary->providers[1].events, 1u);
  EXPECT_TRUE(summary->other_channels.empty());
}

// An export made with a query over several logs: each record counts in the
// channel it names; records naming none count in the first record's channel.
TEST(SummarizeEvtxFileTest, RecordsOfSeveralChannelsCountInTheirOwn) {
  TempFolder dir;
  const auto file = dir.Write(
      "export.evtx", evtx::WriteEvtx({Event("EventLog", std::nullopt, ""),
                                      Event("Microsoft-Windows-Sysmon", std::nullopt, "Microsoft-Windows-Sysmon/Operational"),
                                      Event("Microsoft-Windows-Security-Auditing", kAuditGuid, "Security"),
                                      Event("Microsoft-Windows-Security-Auditing", std::nullopt, "SECURITY"),
                                      Event("EventLog", std::nullopt, "microsoft-windows-sysmon/operational"),
                                      Event("EventLog", std::nullopt, ""),
                                      Event("Service Control Manager", std::nullopt, std::string("System\0x", 8))}));
  std::optional<EvtxFileSummary> summary = SummarizeEvtxFile(file);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->channel, "Microsoft-Windows-Sysmon/Operational");
  ASSERT_EQ(summary->providers.size(), 2u);
  EXPECT_EQ(summary->providers[0].name, "EventLog");
  EXPECT_EQ(summary->providers[0].events, 3u);
  EXPECT_EQ(summary->providers[1].name, "Microsoft-Windows-Sysmon");
  ASSERT_EQ(summary->other_channels.size(), 2u);
  const ChannelSummary& security = summary->other_channels[0];
  EXPECT_EQ(security.name, "Security");
  ASSERT_EQ(security.providers.size(), 1u);
  EXPECT_EQ(security.providers[0].events, 2u);
  EXPECT_EQ(security.providers[0].guid, kAuditGuidText);
  // A channel is named up to its first NUL.
  EXPECT_EQ(summary->other_channels[1].name, "System");
  ASSERT_EQ(summary->other_channels[1].providers.size(), 1u);
  EXPECT_EQ(summary->other_channels[1].providers[0].name, "Service Control Manager");
}

TEST(SummarizeEvtxFileTest, EmptyLogsAndNonLogs) {
  TempFolder dir;
  std::optional<EvtxFileSummary> empty = SummarizeEvtxFile(dir.Write("empty.evtx", evtx::WriteEvtx({})));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->channel, "");
  EXPECT_TRUE(empty->providers.empty());
  EXPECT_FALSE(SummarizeEvtxFile(dir.Write("text.evtx", "not an event log")));
  EXPECT_FALSE(SummarizeEvtxFile(dir.path() / "absent.evtx"));
}

TEST(SummarizeEvtxFileTest, BareFolderOfWrittenLogsBecomesAMachine) {
  TempFolder dir;
  dir.Write("Security.evtx", evtx::WriteEvtx({Event("Microsoft-Windows-Security-Auditing", kAuditGuid, "Security")}));
  dir.Write("copy.evtx", evtx::WriteEvtx({Event("EventLog", std::nullopt, "security")}));
  dir.Write("Microsoft-Windows-Sysmon%4Operational.evtx", evtx::WriteEvtx({}));
  dir.Write("junk.evtx", "junk");
  Image image(dir.path());
  ASSERT_EQ(image.layout(), ImageLayout::kEvtxFolder);
  ASSERT_EQ(image.Channels().size(), 4u);
  EXPECT_EQ(image.Channels()[0].name, "Application");
  EXPECT_EQ(image.Channels()[1].name, "Microsoft-Windows-Sysmon/Operational");
  EXPECT_EQ(image.Channels()[2].name, "Security");
  EXPECT_EQ(image.Channels()[3].name, "System");
  EXPECT_EQ(image.LookupChannel("SECURITY")->files,
            (std::vector<std::filesystem::path>{dir.path() / "Security.evtx", dir.path() / "copy.evtx"}));
  HKey key = nullptr;
  ASSERT_EQ(image.registry().RegOpenKeyA(
                LocalMachineKey(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels\\Security", &key),
            0);
  char text[64];
  uint32_t size = sizeof text;
  ASSERT_EQ(image.registry().RegQueryValueExA(key, "OwningPublisher", nullptr, nullptr,
                                              reinterpret_cast<uint8_t*>(text), &size),
            0);
  EXPECT_STREQ(text, kAuditGuidText);
  image.registry().RegCloseKey(key);
}

}  // namespace
}  // namespace qrv::offline
