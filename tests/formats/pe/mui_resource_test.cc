// MUI resource parsing (written and corpus) and the choice of language folder.
#include "formats/pe/mui_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/pe/resource_writer.h"
#include "pe_test_files.h"

namespace pe {
namespace {

MuiResource NeutralFileMui() {
  MuiResource mui;
  mui.version = 0x10000;
  mui.file_type = kMuiFileTypeNeutral;
  mui.main_name_types = {"WEVT_TEMPLATE", "MUI"};
  mui.main_id_types = {16};
  mui.mui_name_types = {"MUI"};
  mui.mui_id_types = {kMuiFileTypeNeutral - 6, 16};  // 11 = RT_MESSAGETABLE
  mui.fallback_language = "en-US";
  return mui;
}

TEST(MuiResource, RoundTripsThroughWriter) {
  const MuiResource written = NeutralFileMui();
  MuiResource read;
  ASSERT_EQ(ParseMuiResource(BuildMuiResource(written), &read), PeError::kOk);
  EXPECT_EQ(read.version, written.version);
  EXPECT_EQ(read.file_type, written.file_type);
  EXPECT_EQ(read.main_name_types, written.main_name_types);
  EXPECT_EQ(read.main_id_types, written.main_id_types);
  EXPECT_EQ(read.mui_name_types, written.mui_name_types);
  EXPECT_EQ(read.mui_id_types, (std::vector<uint32_t>{11, 16}));
  EXPECT_EQ(read.language, "");
  EXPECT_EQ(read.fallback_language, "en-US");
}

TEST(MuiResource, RefusesDamage) {
  const std::vector<uint8_t> good = BuildMuiResource(NeutralFileMui());
  MuiResource mui;
  {
    std::vector<uint8_t> blob = good;
    blob[0] = 0;
    EXPECT_EQ(ParseMuiResource(blob, &mui), PeError::kBadSignature);
  }
  {
    std::vector<uint8_t> blob = good;
    pe_test::PutU32(&blob, 88, 0xFFFFFF00u);  // size of the main name types
    EXPECT_EQ(ParseMuiResource(blob, &mui), PeError::kBadOffset);
  }
  {
    const std::vector<uint8_t> blob(good.begin(), good.begin() + 131);
    EXPECT_EQ(ParseMuiResource(blob, &mui), PeError::kTruncated);
  }
}

TEST(MuiResource, CorpusBlob) {
  const std::vector<uint8_t> blob =
      pe_test::ReadCorpusFile("resources/libwrc-mui_resource.1");
  if (blob.empty()) GTEST_SKIP() << "shared corpus not present";
  MuiResource mui;
  ASSERT_EQ(ParseMuiResource(blob, &mui), PeError::kOk);
  EXPECT_EQ(mui.file_type, kMuiFileTypeNeutral);
  EXPECT_EQ(mui.main_name_types,
            (std::vector<std::string>{"WEVT_TEMPLATE", "MUI"}));
  EXPECT_EQ(mui.main_id_types, (std::vector<uint32_t>{11, 16}));
  EXPECT_EQ(mui.mui_name_types, std::vector<std::string>{"MUI"});
  EXPECT_EQ(mui.mui_id_types, (std::vector<uint32_t>{11, 16}));
  EXPECT_EQ(mui.language, "");
  EXPECT_EQ(mui.fallback_language, "en-US");
}

TEST(PickMuiLanguage, PreferenceOrder) {
  const std::vector<std::string> many = {"de-DE", "en-GB", "fr-FR", "EN-us"};
  EXPECT_EQ(PickMuiLanguage(many, "fr-fr", ""), "fr-FR");
  EXPECT_EQ(PickMuiLanguage(many, "", ""), "EN-us");
  EXPECT_EQ(PickMuiLanguage(many, "ja-JP", "de-DE"), "EN-us");
  const std::vector<std::string> no_us = {"de-DE", "en-GB", "fr-FR"};
  EXPECT_EQ(PickMuiLanguage(no_us, "", "fr-FR"), "fr-FR");
  EXPECT_EQ(PickMuiLanguage(no_us, "", ""), "en-GB");
  const std::vector<std::string> none_english = {"ja-JP", "de-DE"};
  EXPECT_EQ(PickMuiLanguage(none_english, "", ""), "ja-JP");
  EXPECT_EQ(PickMuiLanguage({}, "en-US", "en-US"), std::nullopt);
}

}  // namespace
}  // namespace pe
