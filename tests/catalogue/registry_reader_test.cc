#include "catalogue/registry_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;

constexpr char kLogs[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog";

class RegistryReaderTest : public ::testing::Test {
 protected:
  void ExpectAllKeysClosed() {
    EXPECT_EQ(fake_.registry.open_keys(), 0);
    EXPECT_TRUE(fake_.registry.violations().empty());
  }
  fake::FakePlatform fake_;
  fake::FakeScope scope_{fake_};
};

TEST_F(RegistryReaderTest, MissingKeyFailsEveryReadAndLeavesOutputsAlone) {
  std::vector<std::string> names = {"kept"};
  std::string text = "kept";
  EXPECT_FALSE(RegistryKeyExists("SOFTWARE\\Nowhere"));
  EXPECT_FALSE(GetRegistrySubkeys("SOFTWARE\\Nowhere", names));
  EXPECT_FALSE(GetRegistryValue("SOFTWARE\\Nowhere", "Name", text));
  EXPECT_FALSE(GetRegistryDefaultValue("SOFTWARE\\Nowhere", text));
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
  EXPECT_EQ(text, "kept");
  ExpectAllKeysClosed();
}

TEST_F(RegistryReaderTest, SubkeysFollowWhatTheArrayHeldInEnumerationOrder) {
  fake_.registry.AddKey(std::string(kLogs) + "\\System");
  fake_.registry.AddKey(std::string(kLogs) + "\\ Application ");
  fake_.registry.AddKey(std::string(kLogs) + "\\Parameters");
  fake_.registry.AddKey("SOFTWARE\\Empty");
  std::vector<std::string> names = {"earlier"};
  EXPECT_TRUE(RegistryKeyExists(kLogs));
  EXPECT_TRUE(GetRegistrySubkeys(kLogs, names));
  // Unchanged: not trimmed, not sorted, not filtered.
  EXPECT_EQ(names, (std::vector<std::string>{"earlier", "System",
                                             " Application ", "Parameters"}));
  std::vector<std::string> none;
  EXPECT_TRUE(GetRegistrySubkeys("SOFTWARE\\Empty", none));
  EXPECT_TRUE(none.empty());
  ExpectAllKeysClosed();
}

TEST_F(RegistryReaderTest, EnumerationStopsQuietlyAtTheFirstError) {
  fake_.registry.AddKey("SOFTWARE\\K\\a");
  fake_.registry.AddKey("SOFTWARE\\K\\b");
  fake_.registry.AddKey("SOFTWARE\\K\\c");
  fake_.faults.Fail(Call::kRegEnumKeyA, 2, kErrorAccessDenied);
  std::vector<std::string> names;
  EXPECT_TRUE(GetRegistrySubkeys("SOFTWARE\\K", names));
  EXPECT_EQ(names, std::vector<std::string>{"a"});
  EXPECT_EQ(fake_.faults.Count(Call::kRegEnumKeyA), 2);
  ExpectAllKeysClosed();
}

TEST_F(RegistryReaderTest, LongestDoubleByteNameFitsAndOneThatDoesNotIsSkipped) {
  // 255 characters of two bytes each, as in code page 932.
  std::string longest;
  for (int i = 0; i < 255; ++i) longest += "\x82\xa0";
  fake_.registry.AddKey("SOFTWARE\\K\\" + longest);
  fake_.registry.AddKey("SOFTWARE\\K\\" + std::string(511, 'x'));
  fake_.registry.AddKey("SOFTWARE\\K\\after");
  std::vector<std::string> names;
  EXPECT_TRUE(GetRegistrySubkeys("SOFTWARE\\K", names));
  // The name that does not fit (ERROR_MORE_DATA) is skipped, not the rest.
  EXPECT_EQ(names, (std::vector<std::string>{longest, "after"}));
  ExpectAllKeysClosed();
}

TEST_F(RegistryReaderTest, ValuesAreReadAsTextUpToTheFirstNul) {
  const std::string key = "SOFTWARE\\V";
  fake_.registry.SetString(key, "Sz", "Microsoft-Windows-Kernel");
  fake_.registry.SetValue(key, "NoNul", "abc");
  fake_.registry.SetValue(key, "Empty", "");
  fake_.registry.SetValue(key, "Embedded", std::string("ab\0cd", 5));
  fake_.registry.SetValue(key, "Dword", std::string("A\0\0\0", 4), kRegDword);
  fake_.registry.SetString(key, "", "default text");
  std::string text;
  EXPECT_TRUE(GetRegistryValue(key, "Sz", text));
  EXPECT_EQ(text, "Microsoft-Windows-Kernel");
  EXPECT_TRUE(GetRegistryValue(key, "NoNul", text));
  EXPECT_EQ(text, "abc");
  EXPECT_TRUE(GetRegistryValue(key, "Empty", text));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(GetRegistryValue(key, "Embedded", text));
  EXPECT_EQ(text, "ab");
  EXPECT_TRUE(GetRegistryValue(key, "Dword", text));  // type not examined
  EXPECT_EQ(text, "A");
  EXPECT_TRUE(GetRegistryDefaultValue(key, text));
  EXPECT_EQ(text, "default text");
  text = "kept";
  EXPECT_FALSE(GetRegistryValue(key, "Missing", text));
  EXPECT_EQ(text, "kept");
  ExpectAllKeysClosed();
}

TEST_F(RegistryReaderTest, ValuesLongerThanTheBufferAreNotRead) {
  const std::string key = "SOFTWARE\\V";
  const std::string fits(260, 'f');  // fills the buffer, no NUL
  fake_.registry.SetValue(key, "Fits", fits);
  fake_.registry.SetValue(key, "TooLong", std::string(261, 't'));
  fake_.registry.SetString(key, "", std::string(260, 'd'));  // 261 with NUL
  std::string text = "kept";
  EXPECT_FALSE(GetRegistryValue(key, "TooLong", text));
  EXPECT_FALSE(GetRegistryDefaultValue(key, text));
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(GetRegistryValue(key, "Fits", text));
  EXPECT_EQ(text, fits);
  ExpectAllKeysClosed();
}

TEST_F(RegistryReaderTest, GeneralFormsReadRelativeToTheGivenRoot) {
  fake_.registry.AddKey("SOFTWARE\\Vendor\\Sub\\Child");
  fake_.registry.SetString("SOFTWARE\\Vendor\\Sub", "Name", "value");
  fake_.registry.SetString("SOFTWARE\\Vendor\\Sub", "", "default");
  RegKeyOwner vendor;
  ASSERT_EQ(RegOpenKeyA(LocalMachineKey(), "SOFTWARE\\Vendor", vendor.Receive()),
            0);
  std::vector<std::string> names;
  std::string text;
  EXPECT_TRUE(RegistryKeyExists(vendor.Get(), "Sub"));
  EXPECT_FALSE(RegistryKeyExists(vendor.Get(), "SOFTWARE"));
  EXPECT_TRUE(GetRegistrySubkeys(vendor.Get(), "Sub", names));
  EXPECT_EQ(names, std::vector<std::string>{"Child"});
  EXPECT_TRUE(GetRegistryValue(vendor.Get(), "Sub", "Name", text));
  EXPECT_EQ(text, "value");
  EXPECT_TRUE(GetRegistryDefaultValue(vendor.Get(), "Sub", text));
  EXPECT_EQ(text, "default");
  vendor.Reset();
  ExpectAllKeysClosed();
}

TEST(JoinRegistryPathTest, JoinsWithExactlyOneBackslashAddedAndNothingElse) {
  EXPECT_EQ(JoinRegistryPath(
                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers",
                "{5770385f-c22a-43e0-bf4c-06f5698ffbd9}"),
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Publishers\\"
            "{5770385f-c22a-43e0-bf4c-06f5698ffbd9}");
  EXPECT_EQ(JoinRegistryPath("A", ""), "A\\");
  EXPECT_EQ(JoinRegistryPath("", "B"), "\\B");
  EXPECT_EQ(JoinRegistryPath("A\\", "\\B"), "A\\\\\\B");
}

}  // namespace
}  // namespace qrv
