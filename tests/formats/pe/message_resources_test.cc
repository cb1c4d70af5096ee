// Message resources of whole images: language choice, MUI redirection, the
// corpus DLL, and images cut short at every length.
#include "formats/pe/message_resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/pe/pe_writer.h"
#include "formats/pe/resource_writer.h"
#include "pe_test_files.h"

namespace pe {
namespace {

WrittenResource Table(uint16_t language, const std::string& text) {
  return {ResourceId::Id(kRtMessageTable), ResourceId::Id(1), language,
          BuildMessageTable({{1, text + "\r\n", MessageEncoding::kUtf16},
                             {2, "ansi " + text, MessageEncoding::kAnsi}})};
}

std::string Lookup(const std::vector<uint8_t>& file, uint16_t wanted,
                   uint32_t id, uint16_t* language = nullptr) {
  PeImage image;
  if (PeImage::Parse(file, &image) != PeError::kOk) return "<no image>";
  MessageTable table;
  uint16_t used = 0;
  const PeError error = LoadMessageTable(image, wanted, &table, &used);
  if (error != PeError::kOk) return std::string("<") + PeErrorText(error) + ">";
  if (language != nullptr) *language = used;
  std::string text;
  if (table.Find(id, &text) != PeError::kOk) return "<no message>";
  return text;
}

TEST(PickLanguage, WantedThenEnUsThenNeutralThenFirst) {
  EXPECT_EQ(PickLanguage({0x407, 0x409, 0}, 0x407), 0u);
  EXPECT_EQ(PickLanguage({0x407, 0, 0x409}, 0x40C), 2u);
  EXPECT_EQ(PickLanguage({0x407, 0}, 0x40C), 1u);
  EXPECT_EQ(PickLanguage({0x407, 0x40C}, 0x411), 0u);
}

TEST(MessageResources, ChoosesTableLanguage) {
  const std::vector<uint8_t> file = BuildPeImage(
      {Table(0x407, "Deutsch"), Table(0x409, "English"), Table(0, "Neutral")});
  uint16_t used = 0;
  EXPECT_EQ(Lookup(file, 0x407, 1, &used), "Deutsch\r\n");
  EXPECT_EQ(used, 0x407);
  EXPECT_EQ(Lookup(file, 0x40C, 1, &used), "English\r\n");
  EXPECT_EQ(used, 0x409);
  EXPECT_EQ(Lookup(file, kLangEnUs, 2), "ansi English");
  const std::vector<uint8_t> no_english =
      BuildPeImage({Table(0x407, "Deutsch"), Table(0, "Neutral")});
  EXPECT_EQ(Lookup(no_english, kLangEnUs, 1), "Neutral\r\n");
  const std::vector<uint8_t> only_german =
      BuildPeImage({Table(0x407, "Deutsch")}, PeKind::kPe32);
  EXPECT_EQ(Lookup(only_german, kLangEnUs, 1), "Deutsch\r\n");
}

TEST(MessageResources, MissingTableAndManifestAreNotFound) {
  const std::vector<uint8_t> file = BuildPeImage(
      {{ResourceId::Id(16), ResourceId::Id(1), kLangEnUs, {0, 0, 0, 0}}});
  EXPECT_EQ(Lookup(file, kLangEnUs, 1), "<not found>");
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  WevtManifest manifest;
  EXPECT_EQ(LoadWevtManifest(image, &manifest), PeError::kNotFound);
  EXPECT_FALSE(MessagesInMuiFile(image));
}

MuiResource Mui(uint32_t file_type, std::vector<uint32_t> mui_ids) {
  MuiResource mui;
  mui.version = 0x10000;
  mui.file_type = file_type;
  mui.mui_id_types = std::move(mui_ids);
  mui.fallback_language = "en-US";
  if (file_type == kMuiFileTypeLanguage) mui.language = "de-DE";
  return mui;
}

WrittenResource MuiEntry(const MuiResource& mui) {
  return {ResourceId::Name(kTypeMui), ResourceId::Id(1), kLangNeutral,
          BuildMuiResource(mui)};
}

TEST(MessageResources, NeutralFileRedirectsToLanguageFile) {
  // The language-neutral file: a MUI resource and no message table.
  const std::vector<uint8_t> neutral =
      BuildPeImage({MuiEntry(Mui(kMuiFileTypeNeutral, {kRtMessageTable}))});
  PeImage image;
  ASSERT_EQ(PeImage::Parse(neutral, &image), PeError::kOk);
  EXPECT_TRUE(MessagesInMuiFile(image));
  EXPECT_EQ(Lookup(neutral, kLangEnUs, 1), "<not found>");
  MuiResource mui;
  ASSERT_EQ(LoadMuiResource(image, &mui), PeError::kOk);
  EXPECT_EQ(PickMuiLanguage({"de-DE", "en-US"}, "", mui.fallback_language),
            "en-US");

  // The caller then opens <dir>/en-US/<name>.mui: a PE with the table.
  const std::vector<uint8_t> language_file =
      BuildPeImage({Table(kLangEnUs, "from the mui"),
                    MuiEntry(Mui(kMuiFileTypeLanguage, {}))});
  ASSERT_EQ(PeImage::Parse(language_file, &image), PeError::kOk);
  EXPECT_FALSE(MessagesInMuiFile(image));
  EXPECT_EQ(Lookup(language_file, kLangEnUs, 1), "from the mui\r\n");
}

TEST(MessageResources, OwnTableWinsOverMuiRedirection) {
  const std::vector<uint8_t> both =
      BuildPeImage({Table(kLangEnUs, "own"),
                    MuiEntry(Mui(kMuiFileTypeNeutral, {kRtMessageTable}))});
  PeImage image;
  ASSERT_EQ(PeImage::Parse(both, &image), PeError::kOk);
  EXPECT_FALSE(MessagesInMuiFile(image));
  // A MUI resource that keeps only other types in the .mui redirects nothing.
  const std::vector<uint8_t> other =
      BuildPeImage({MuiEntry(Mui(kMuiFileTypeNeutral, {16}))});
  ASSERT_EQ(PeImage::Parse(other, &image), PeError::kOk);
  EXPECT_FALSE(MessagesInMuiFile(image));
}

TEST(MessageResources, ManifestAndTableInOneImage) {
  WevtProvider provider;
  provider.message_id = 0x90000001u;
  WevtEvent event;
  event.id = 7;
  event.level = 4;
  event.message_id = 0xB0000007u;
  provider.events.push_back(event);
  WevtManifest manifest;
  manifest.major_version = 3;
  manifest.minor_version = 1;
  manifest.providers.push_back(provider);
  const std::vector<uint8_t> file = BuildPeImage(
      {{ResourceId::Name(kTypeWevtTemplate), ResourceId::Id(1), kLangNeutral,
        BuildWevtManifest(manifest)},
       {ResourceId::Id(kRtMessageTable), ResourceId::Id(1), kLangEnUs,
        BuildMessageTable(
            {{0x90000001u, "Sample Provider\r\n", MessageEncoding::kUtf16},
             {0xB0000007u, "Event %1 happened.\r\n",
              MessageEncoding::kUtf16}})}});
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  WevtManifest read;
  ASSERT_EQ(LoadWevtManifest(image, &read), PeError::kOk);
  ASSERT_EQ(read.providers.size(), 1u);
  ASSERT_EQ(read.providers[0].events.size(), 1u);
  EXPECT_EQ(Lookup(file, kLangEnUs, read.providers[0].message_id),
            "Sample Provider\r\n");
  EXPECT_EQ(Lookup(file, kLangEnUs, read.providers[0].events[0].message_id),
            "Event %1 happened.\r\n");
}

TEST(MessageResources, ImageCutShortNeverYieldsWrongText) {
  const std::vector<uint8_t> file =
      BuildPeImage({Table(0x407, "Deutsch"), Table(kLangEnUs, "English")});
  // Every prefix either fails or, when the bytes it needs are all there,
  // gives exactly the full image's answer.
  for (size_t cut = 0; cut < file.size(); ++cut) {
    const std::vector<uint8_t> part(file.begin(), file.begin() + cut);
    const std::string text = Lookup(part, kLangEnUs, 1);
    if (text[0] != '<') {
      EXPECT_EQ(text, "English\r\n") << cut;
    }
  }
}

TEST(MessageResources, RealDllMessageTable) {
  const std::vector<uint8_t> file =
      pe_test::ReadCorpusFile("resources/plaso-wrc-test-wevt_template.dll");
  if (file.empty()) GTEST_SKIP() << "shared corpus not present";
  PeImage image;
  ASSERT_EQ(PeImage::Parse(file, &image), PeError::kOk);
  EXPECT_FALSE(MessagesInMuiFile(image));
  MessageTable table;
  uint16_t language = 0;
  ASSERT_EQ(LoadMessageTable(image, kLangEnUs, &table, &language),
            PeError::kOk);
  WevtManifest manifest;
  ASSERT_EQ(LoadWevtManifest(image, &manifest), PeError::kOk);
  std::string text;
  ASSERT_EQ(table.Find(manifest.providers[0].events[0].message_id, &text),
            PeError::kOk);
  EXPECT_EQ(text, "A test value\r\n");
  EXPECT_EQ(language, kLangEnUs);
  EXPECT_EQ(table.Ids(), std::vector<uint32_t>{0xB0010001u});
}

}  // namespace
}  // namespace pe
