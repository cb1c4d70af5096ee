// The sample image's message files read back through the PE readers (tables,
// manifests, the MUI split), and every logged event's message formatted the
// way the offline backend finds it: registry first, then the files.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "formats/pe/message_resources.h"
#include "formats/pe/pe_image.h"
#include "platform/offline/image/image.h"
#include "platform/offline/messages/message_catalog.h"
#include "sample_image_test_util.h"
#include "tools/sample_image_content.h"

namespace qrv::sample {
namespace {

using testing::BuiltImage;
using testing::ReadBytes;

constexpr char kSystem32[] = "Windows/System32";

// A PE file of the image, held with its parsed headers.
struct PeFile {
  explicit PeFile(const std::filesystem::path& path) : bytes(ReadBytes(path)) {
    parsed = pe::PeImage::Parse(bytes, &image) == pe::PeError::kOk;
  }
  std::vector<uint8_t> bytes;
  pe::PeImage image;
  bool parsed = false;
};

class SampleMessagesTest : public ::testing::Test {
 protected:
  SampleImage content_ = MakeSampleImage();
};

// Each declared message is in the file (or language file) that the
// provider's registration leads to, with its text unchanged.
TEST_F(SampleMessagesTest, EveryDeclaredMessageIsInItsTable) {
  for (const SampleProvider& provider : content_.providers) {
    SCOPED_TRACE(provider.name);
    const PeFile dll(BuiltImage() / kSystem32 / provider.file);
    ASSERT_TRUE(dll.parsed);
    pe::MessageTable table;
    uint16_t language = 0;
    std::unique_ptr<PeFile> mui;
    if (provider.messages_in_mui) {
      EXPECT_TRUE(pe::MessagesInMuiFile(dll.image));
      EXPECT_EQ(pe::LoadMessageTable(dll.image, pe::kLangEnUs, &table, &language),
                pe::PeError::kNotFound);
      mui = std::make_unique<PeFile>(BuiltImage() / kSystem32 / "en-US" / (provider.file + ".mui"));
      ASSERT_TRUE(mui->parsed);
      pe::MuiResource resource;
      ASSERT_EQ(pe::LoadMuiResource(mui->image, &resource), pe::PeError::kOk);
      EXPECT_EQ(resource.file_type, pe::kMuiFileTypeLanguage);
      EXPECT_EQ(resource.language, "en-US");
      ASSERT_EQ(pe::LoadMessageTable(mui->image, pe::kLangEnUs, &table, &language),
                pe::PeError::kOk);
    } else {
      EXPECT_FALSE(pe::MessagesInMuiFile(dll.image));
      ASSERT_EQ(pe::LoadMessageTable(dll.image, pe::kLangEnUs, &table, &language),
                pe::PeError::kOk);
    }
    EXPECT_EQ(language, pe::kLangEnUs);
    for (const DeclaredEvent& e : provider.events) {
      if (!e.message_file.empty()) continue;  // checked below
      std::string text;
      ASSERT_EQ(table.Find(e.MessageId(), &text), pe::PeError::kOk) << std::hex << e.MessageId();
      EXPECT_EQ(text, e.message);
    }
  }
  // QRV-Inventory's start message lives only in its second file.
  const PeFile common(BuiltImage() / kSystem32 / "qrvcommon.dll");
  pe::MessageTable table;
  uint16_t language = 0;
  ASSERT_EQ(pe::LoadMessageTable(common.image, pe::kLangEnUs, &table, &language), pe::PeError::kOk);
  std::string text;
  EXPECT_EQ(table.Find(0x400007D1, &text), pe::PeError::kOk);
  EXPECT_EQ(text, "The inventory agent started (version %1).\r\n");
}

TEST_F(SampleMessagesTest, ManifestsDeclareTheProvidersEvents) {
  for (const SampleProvider& provider : content_.providers) {
    if (!provider.is_manifest()) continue;
    SCOPED_TRACE(provider.name);
    const PeFile dll(BuiltImage() / kSystem32 / provider.file);
    pe::WevtManifest manifest;
    ASSERT_EQ(pe::LoadWevtManifest(dll.image, &manifest), pe::PeError::kOk);
    ASSERT_EQ(manifest.providers.size(), 1u);
    const pe::WevtProvider& read = manifest.providers[0];
    // The registry's key name, upper-cased, is the GUID the manifest holds.
    std::string guid = provider.guid;
    for (char& c : guid) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(read.guid.ToString(), guid);
    ASSERT_EQ(read.events.size(), provider.events.size());
    for (size_t i = 0; i < read.events.size(); ++i) {
      const pe::WevtEvent& r = read.events[i];
      const DeclaredEvent& e = provider.events[i];
      EXPECT_EQ(r.id, e.id);
      EXPECT_EQ(r.version, e.version);
      EXPECT_EQ(r.level, e.level);
      EXPECT_EQ(r.task, e.task);
      EXPECT_EQ(r.keywords, e.keywords);
      EXPECT_EQ(r.channel, e.channel_value);
      EXPECT_EQ(r.message_id, e.MessageId());
    }
    ASSERT_EQ(read.channels.size(), provider.channels.size());
    for (size_t i = 0; i < read.channels.size(); ++i) {
      EXPECT_EQ(read.channels[i].name, provider.channels[i].name);
      EXPECT_EQ(read.channels[i].value, provider.channels[i].value);
    }
  }
}

// Through the registry and the files, as the offline backend formats them.
class SampleCatalogTest : public SampleMessagesTest {
 protected:
  static std::optional<offline::EvtxFileSummary> NoSummary(const std::filesystem::path&) {
    return std::nullopt;
  }

  std::string Format(const SampleEvent& e, uint32_t* error) {
    std::shared_ptr<const offline::MessageProvider> provider =
        catalog_.Open(e.record.provider_name, error);
    if (provider == nullptr) return {};
    offline::EventMessageRequest request;
    request.provider = e.record.provider_name;
    request.event_id = e.record.event_id;
    request.qualifiers = e.record.qualifiers;
    request.version = e.record.version;
    request.level = e.record.level;
    request.task = e.record.task;
    request.opcode = e.record.opcode;
    request.keywords = e.record.keywords;
    request.channel = e.record.channel;
    request.inserts = e.inserts;
    std::string text;
    *error = provider->FormatEvent(request, &text);
    return text;
  }

  // The first record of `channel` with this event id.
  const SampleEvent& First(const std::string& channel, uint16_t event_id) {
    for (const SampleEvent* e : content_.EventsOf(channel)) {
      if (e->record.event_id == event_id) return *e;
    }
    ADD_FAILURE() << "no event " << event_id << " in " << channel;
    return *content_.EventsOf(channel).front();
  }

  offline::Image image_{BuiltImage(), NoSummary};
  offline::HostFileLoader loader_;
  offline::PathResolver resolver_{BuiltImage()};
  offline::MessageCatalog catalog_{
      image_.registry(),
      [this](std::string_view windows_path) -> std::optional<std::string> {
        const auto path = resolver_.ResolveWindowsPath(windows_path);
        if (!path) return std::nullopt;
        return path->string();
      },
      loader_};
};

TEST_F(SampleCatalogTest, EveryLoggedEventHasItsMessageFilledIn) {
  ASSERT_FALSE(content_.events.empty());
  for (const SampleEvent& e : content_.events) {
    SCOPED_TRACE(e.record.provider_name + " " + std::to_string(e.record.event_id));
    uint32_t error = 0;
    const std::string text = Format(e, &error);
    ASSERT_EQ(error, kErrorSuccess);
    EXPECT_FALSE(text.empty());
    // Every insert and parameter resolved: no %1 or %%2313 left over.
    EXPECT_EQ(text.find('%'), std::string::npos) << text;
  }
}

TEST_F(SampleCatalogTest, MessagesReadAsTheEventsMean) {
  uint32_t error = 0;
  // Texts keep the message compiler's closing CR LF, as FormatMessage does.
  EXPECT_EQ(Format(First("System", 7036), &error),
            "The QRV Sample Agent service entered the running state.\r\n");
  EXPECT_EQ(Format(First("System", 7), &error),
            "The device, \\Device\\Harddisk1\\DR1, has a bad block.\r\n");
  // %%1001 in the data comes from the source's ParameterMessageFile.
  EXPECT_EQ(Format(First("Application", 100), &error),
            "The full backup of volume C: completed successfully. 15320 files (8120 MB) were "
            "copied.\r\n");
  // Found in the second EventMessageFile entry.
  EXPECT_EQ(Format(First("Application", 2001), &error),
            "The inventory agent started (version 3.2.0).\r\n");
  // The manifest message of a publisher that is also a classic source.
  EXPECT_EQ(Format(First("Application", 1000), &error),
            "The health monitor found the Database component in a critical state: the "
            "transaction log disk is full.\r\n");
  // Messages in the en-US .mui file.
  EXPECT_EQ(Format(First("Microsoft-Windows-QRV-Sample/Operational", 103), &error),
            "The synchronization store SyncStore-B is corrupt and was taken offline.\r\n");
  // %%2313 from the publisher's ParameterFileName.
  const std::string failure = Format(First("Security", 4625), &error);
  EXPECT_NE(failure.find("Failure Reason:\tUnknown user name or bad password.\r\n"),
            std::string::npos)
      << failure;
  EXPECT_EQ(failure.rfind("An account failed to log on.\r\n\r\nAccount Name:\tbob\r\n", 0), 0u)
      << failure;
}

}  // namespace
}  // namespace qrv::sample
