// Key lookup and enumeration: case-insensitive paths, Windows order, values
// by name and the default value.
#include "formats/regf/key.h"

#include <gtest/gtest.h>

#include "formats/regf/hive.h"
#include "regf_test_util.h"

namespace regf {
namespace {

class KeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto tree = testing::SampleTree();
    WriterKey& channels = tree->AddPath("Software\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
    channels.AddKey("Microsoft-Windows-PowerShell/Operational").SetDword("Enabled", 1);
    channels.AddKey("MediaFoundationDS");
    channels.AddKey("MediaFoundationDeviceProxy");
    channels.AddKey("Application");
    tree->AddKey("\xc3\x89t\xc3\xa9");  // "Été"
    bytes_ = WriteHive(*tree);
    hive_ = std::make_unique<Hive>(bytes_.data(), bytes_.size());
    ASSERT_EQ(hive_->status(), HiveStatus::kOk);
  }
  std::vector<uint8_t> bytes_;
  std::unique_ptr<Hive> hive_;
};

TEST_F(KeyTest, OpenPathIgnoresCase) {
  std::optional<Key> key = hive_->OpenKey("controlset001\\SERVICES\\eventlog\\aPPLICATION");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Name(), "Application");  // the stored spelling
  EXPECT_EQ(key->cell_offset(), hive_->OpenKey("ControlSet001\\Services\\EventLog\\Application")->cell_offset());
  // Non-ASCII letters fold too.
  ASSERT_TRUE(hive_->OpenKey("\xc3\xa9T\xc3\x89"));
  EXPECT_EQ(hive_->OpenKey("\xc3\xa9T\xc3\x89")->Name(), "\xc3\x89t\xc3\xa9");
}

TEST_F(KeyTest, OpenPathStepsFromAnyKey) {
  std::optional<Key> services = hive_->OpenKey("ControlSet001\\Services");
  ASSERT_TRUE(services);
  std::optional<Key> app = services->OpenPath("EventLog\\Application");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->cell_offset(), hive_->OpenKey("ControlSet001\\Services\\EventLog\\Application")->cell_offset());
  EXPECT_EQ(services->OpenPath("")->cell_offset(), services->cell_offset());
}

TEST_F(KeyTest, MissingComponentsFail) {
  EXPECT_FALSE(hive_->OpenKey("ControlSet002"));
  EXPECT_FALSE(hive_->OpenKey("ControlSet001\\Services\\Nope"));
  EXPECT_FALSE(hive_->OpenKey("ControlSet001\\Services\\EventLog\\Application\\Deeper"));
  // No prefix matching.
  EXPECT_FALSE(hive_->OpenKey("ControlSet00"));
  EXPECT_FALSE(hive_->OpenKey("ControlSet0011"));
}

TEST_F(KeyTest, SlashIsPartOfAName) {
  const char* kChannels = "Software\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels";
  std::optional<Key> channel =
      hive_->OpenKey(std::string(kChannels) + "\\microsoft-windows-powershell/operational");
  ASSERT_TRUE(channel);
  EXPECT_EQ(channel->Name(), "Microsoft-Windows-PowerShell/Operational");
  EXPECT_FALSE(hive_->OpenKey(std::string(kChannels) + "\\Microsoft-Windows-PowerShell"));
}

TEST_F(KeyTest, EmptyPathComponentsAreSkipped) {
  EXPECT_EQ(hive_->OpenKey("")->cell_offset(), hive_->Root()->cell_offset());
  EXPECT_TRUE(hive_->OpenKey("\\ControlSet001\\\\Services\\"));
}

TEST_F(KeyTest, SubkeysEnumerateInUppercaseOrder) {
  std::optional<Key> channels = hive_->OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
  ASSERT_TRUE(channels);
  std::vector<std::string> names;
  for (const Key& key : channels->Subkeys()) names.push_back(key.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Application", "MediaFoundationDeviceProxy", "MediaFoundationDS",
                                             "Microsoft-Windows-PowerShell/Operational"}));
  std::vector<std::string> root_names;
  for (const Key& key : hive_->Root()->Subkeys()) root_names.push_back(key.Name());
  EXPECT_EQ(root_names,
            (std::vector<std::string>{"ControlSet001", "Select", "Software", "Types", "\xc3\x89t\xc3\xa9"}));
  EXPECT_TRUE(hive_->OpenKey("Select")->Subkeys().empty());
}

TEST_F(KeyTest, ValuesByNameIgnoreCase) {
  std::optional<Key> app = hive_->OpenKey("ControlSet001\\Services\\EventLog\\Application");
  ASSERT_TRUE(app);
  std::optional<Value> size = app->FindValue("maxsize");
  ASSERT_TRUE(size);
  EXPECT_EQ(size->Name(), "MaxSize");
  EXPECT_EQ(size->AsDword(), 0x01400000u);
  EXPECT_FALSE(app->FindValue("MaxSiz"));
  // The key has no default value: "" finds nothing.
  EXPECT_FALSE(app->FindValue(""));
}

TEST_F(KeyTest, DefaultValueHasEmptyName) {
  std::optional<Key> system = hive_->OpenKey("ControlSet001\\Services\\EventLog\\System");
  ASSERT_TRUE(system);
  std::optional<Value> value = system->FindValue("");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsDefault());
  EXPECT_EQ(value->Name(), "");
  EXPECT_EQ(value->AsString(), "system default");
}

TEST_F(KeyTest, ValuesKeepStoredOrder) {
  std::optional<Key> types = hive_->OpenKey("Types");
  ASSERT_TRUE(types);
  std::vector<std::string> names;
  for (const Value& value : types->Values()) names.push_back(value.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"", "Sz", "Expand", "Multi", "Dword", "DwordBE", "Qword", "Binary",
                                             "None", "Link", "Rid"}));
  EXPECT_EQ(types->LastWriteTime(), 0x01D0000000000001u);
}

}  // namespace
}  // namespace regf
