// Channel names <-> log file names, archives included.
#include "platform/offline/image/channel_file_names.h"

#include <gtest/gtest.h>

namespace qrv::offline {
namespace {

TEST(ChannelFileNamesTest, SlashBecomesPercentFourAndBack) {
  EXPECT_EQ(ChannelFileName("Microsoft-Windows-CAPI2/Operational"),
            "Microsoft-Windows-CAPI2%4Operational.evtx");
  EXPECT_EQ(ChannelFileName("Windows PowerShell"), "Windows PowerShell.evtx");
  EXPECT_EQ(ChannelFromFileName("Microsoft-Windows-CAPI2%4Operational.evtx"),
            "Microsoft-Windows-CAPI2/Operational");
  EXPECT_EQ(ChannelFromFileName("Security.EVTX"), "Security");
  // Only "%4" is an escape; other '%' stay.
  EXPECT_EQ(ChannelFromFileName("100%5.evtx"), "100%5");
  EXPECT_EQ(ChannelFromFileName("Security.evt"), std::nullopt);
  EXPECT_EQ(ChannelFromFileName(".evtx"), std::nullopt);
}

TEST(ChannelFileNamesTest, ArchiveNamesDecodeOnlyWithAWindowsTimestamp) {
  EXPECT_EQ(ChannelFromFileName("Archive-Security-2021-03-04-05-06-07-890.evtx"), "Security");
  EXPECT_EQ(ChannelFromFileName("archive-A%4B-2021-03-04-05-06-07-890.evtx"), "A/B");
  EXPECT_EQ(ChannelFromFileName("Archive-ForwardedEvents-test.evtx"), "Archive-ForwardedEvents-test");
  EXPECT_EQ(ChannelFromFileName("Archive-2021-03-04-05-06-07-890.evtx"),
            "Archive-2021-03-04-05-06-07-890");
}

TEST(ChannelFileNamesTest, ArchiveSuffixNeedsThePrefixTheStemAndADash) {
  EXPECT_EQ(ArchiveSuffix("Archive-Security-2021-03-04-05-06-07-890.evtx", "Security"),
            "2021-03-04-05-06-07-890");
  EXPECT_EQ(ArchiveSuffix("ARCHIVE-security-x.EVTX", "Security"), "x");
  EXPECT_EQ(ArchiveSuffix("Archive-Security-.evtx", "Security"), std::nullopt);
  EXPECT_EQ(ArchiveSuffix("Archive-SecurityX-1.evtx", "Security"), std::nullopt);
  EXPECT_EQ(ArchiveSuffix("Archive-Security-1.etl", "Security"), std::nullopt);
  EXPECT_TRUE(IsArchiveName("archive-x.evtx"));
  EXPECT_FALSE(IsArchiveName("Archiv-x.evtx"));
}

}  // namespace
}  // namespace qrv::offline
