// ImageRegistry over written hives and over in-memory keys: the Win32
// contract of the four registry calls, CurrentControlSet, enumeration order.
#include "platform/offline/image/image_registry.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/regf/hive.h"
#include "formats/regf/hive_writer.h"
#include "platform/offline/image/memory_key.h"
#include "platform/offline/image/registry_tree.h"

namespace qrv::offline {
namespace {

std::vector<uint8_t> Utf16Le(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<uint8_t>(u));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

std::unique_ptr<regf::WriterKey> SystemTree(uint32_t current) {
  auto root = std::make_unique<regf::WriterKey>("CMI-CreateHive{C4E7BA2B-68E8-499C-B1A1-371AC8D717C7}");
  root->AddKey("Select").SetDword("Current", current);
  root->AddPath("ControlSet001\\Services\\EventLog\\Application");
  regf::WriterKey& logs = root->AddPath("ControlSet002\\Services\\EventLog");
  logs.AddKey("System");
  logs.AddKey("Application").SetString(
      "File", "%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx", regf::kRegExpandSz);
  logs.AddKey("ABC_D");
  logs.AddKey("ABCE");
  logs.AddKey("abcd");
  regf::WriterKey& types = root->AddKey("Types");
  types.SetString("", "default text");
  types.SetString("Accented", "Événement");
  types.SetMultiString("Multi", {"one", "two"});
  types.SetValue("Unterminated", regf::kRegSz, Utf16Le(u"abc"));
  types.SetValue("Empty", regf::kRegSz, {});
  types.SetDword("Dword", 0x01020304);
  types.SetValue("Binary", regf::kRegBinary, {0xFF, 0x00, 0x7F});
  return root;
}

std::unique_ptr<regf::WriterKey> SoftwareTree() {
  auto root = std::make_unique<regf::WriterKey>("ROOT");
  regf::WriterKey& channels = root->AddPath("Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
  channels.AddKey("Microsoft-Windows-CAPI2/Operational");
  channels.AddKey("Application");
  return root;
}

class ImageRegistryTest : public ::testing::Test {
 protected:
  void Mount(uint32_t current = 2) {
    system_bytes_ = regf::WriteHive(*SystemTree(current));
    software_bytes_ = regf::WriteHive(*SoftwareTree());
    system_ = std::make_unique<regf::Hive>(system_bytes_.data(), system_bytes_.size());
    software_ = std::make_unique<regf::Hive>(software_bytes_.data(), software_bytes_.size());
    tree_.MountHive("SYSTEM", *system_);
    tree_.MountHive("SOFTWARE", *software_);
  }

  HKey Open(HKey from, const char* path) {
    HKey key = nullptr;
    const int32_t rc = registry_.RegOpenKeyA(from, path, &key);
    EXPECT_EQ(rc, 0) << path;
    return key;
  }

  std::vector<std::string> Enumerate(HKey key) {
    std::vector<std::string> names;
    char name[260];
    for (uint32_t i = 0;; ++i) {
      const int32_t rc = registry_.RegEnumKeyA(key, i, name, sizeof name);
      if (rc != 0) {
        EXPECT_EQ(rc, static_cast<int32_t>(kErrorNoMoreItems));
        break;
      }
      names.emplace_back(name);
    }
    return names;
  }

  // The value's bytes through the two-call size protocol.
  std::string Query(HKey key, const char* name, uint32_t* type = nullptr) {
    uint32_t size = 0;
    EXPECT_EQ(registry_.RegQueryValueExA(key, name, nullptr, type, nullptr, &size), 0) << name;
    std::string data(size, '?');
    EXPECT_EQ(registry_.RegQueryValueExA(key, name, nullptr, type,
                                         reinterpret_cast<uint8_t*>(data.data()), &size),
              0);
    EXPECT_EQ(size, data.size());
    return data;
  }

  std::vector<uint8_t> system_bytes_;
  std::vector<uint8_t> software_bytes_;
  std::unique_ptr<regf::Hive> system_;
  std::unique_ptr<regf::Hive> software_;
  RegistryTree tree_;
  ImageRegistry registry_{tree_};
};

TEST_F(ImageRegistryTest, CurrentControlSetFollowsSelectCurrent) {
  Mount(2);
  HKey via_link = Open(LocalMachineKey(), "SYSTEM\\CurrentControlSet\\Services\\EventLog");
  HKey direct = Open(LocalMachineKey(), "system\\controlset002\\SERVICES\\eventlog");
  EXPECT_EQ(Enumerate(via_link), Enumerate(direct));
  EXPECT_EQ(Enumerate(via_link).size(), 5u);
  HKey system = Open(LocalMachineKey(), "SYSTEM");
  HKey relative = Open(system, "currentcontrolset\\Services");
  EXPECT_EQ(Enumerate(relative), std::vector<std::string>{"EventLog"});
  // The link lives only at the hive's root.
  HKey cs = Open(LocalMachineKey(), "SYSTEM\\ControlSet001");
  HKey unused = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyA(cs, "CurrentControlSet", &unused), static_cast<int32_t>(kErrorFileNotFound));
  for (HKey k : {via_link, direct, system, relative, cs}) EXPECT_EQ(registry_.RegCloseKey(k), 0);
  EXPECT_EQ(registry_.open_handle_count(), 0u);
}

TEST_F(ImageRegistryTest, CurrentControlSetIsMissingWhenSelectNamesNoSet) {
  Mount(7);
  HKey key = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyA(LocalMachineKey(), "SYSTEM\\CurrentControlSet", &key),
            static_cast<int32_t>(kErrorFileNotFound));
  HKey system = Open(LocalMachineKey(), "SYSTEM");
  EXPECT_EQ(Enumerate(system), (std::vector<std::string>{"ControlSet001", "ControlSet002", "Select", "Types"}));
  registry_.RegCloseKey(system);
}

TEST_F(ImageRegistryTest, EnumerationFollowsUppercasedNameOrder) {
  Mount();
  EXPECT_EQ(Enumerate(LocalMachineKey()), (std::vector<std::string>{"SOFTWARE", "SYSTEM"}));
  HKey system = Open(LocalMachineKey(), "SYSTEM");
  // Stored keys first, then the volatile link, as on a running system.
  EXPECT_EQ(Enumerate(system), (std::vector<std::string>{"ControlSet001", "ControlSet002", "Select",
                                                         "Types", "CurrentControlSet"}));
  HKey logs = Open(system, "CurrentControlSet\\Services\\EventLog");
  // '_' (0x5F) sorts after 'E' once both are uppercased.
  EXPECT_EQ(Enumerate(logs), (std::vector<std::string>{"abcd", "ABCE", "ABC_D", "Application", "System"}));
  HKey channels = Open(LocalMachineKey(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
  EXPECT_EQ(Enumerate(channels),
            (std::vector<std::string>{"Application", "Microsoft-Windows-CAPI2/Operational"}));
  for (HKey k : {system, logs, channels}) registry_.RegCloseKey(k);
}

TEST_F(ImageRegistryTest, EnumKeyReportsMoreDataWhenTheNulDoesNotFit) {
  Mount();
  HKey logs = Open(LocalMachineKey(), "SYSTEM\\ControlSet002\\Services\\EventLog");
  char name[7];  // "System" needs 7 with its NUL
  EXPECT_EQ(registry_.RegEnumKeyA(logs, 4, name, 6), static_cast<int32_t>(kErrorMoreData));
  EXPECT_EQ(registry_.RegEnumKeyA(logs, 4, name, 7), 0);
  EXPECT_STREQ(name, "System");
  EXPECT_EQ(registry_.RegEnumKeyA(logs, 5, name, 7), static_cast<int32_t>(kErrorNoMoreItems));
  EXPECT_EQ(registry_.RegEnumKeyA(logs, 0xFFFFFFFFu, name, 7), static_cast<int32_t>(kErrorNoMoreItems));
  registry_.RegCloseKey(logs);
}

TEST_F(ImageRegistryTest, HandleErrorsFollowWin32) {
  Mount();
  HKey key = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyA(LocalMachineKey(), "SYSTEM\\NoSuchKey", &key),
            static_cast<int32_t>(kErrorFileNotFound));
  EXPECT_EQ(registry_.RegOpenKeyA(LocalMachineKey(), "\\SYSTEM", &key), static_cast<int32_t>(kErrorBadPathname));
  EXPECT_EQ(registry_.RegOpenKeyA(LocalMachineKey(), "SYSTEM", nullptr),
            static_cast<int32_t>(kErrorInvalidParameter));
  // HKLM opened with no path is HKLM itself; any other key gives a new handle.
  ASSERT_EQ(registry_.RegOpenKeyA(LocalMachineKey(), "", &key), 0);
  EXPECT_EQ(key, LocalMachineKey());
  EXPECT_EQ(registry_.RegCloseKey(LocalMachineKey()), 0);
  HKey system = Open(LocalMachineKey(), "SYSTEM");
  HKey again = Open(system, nullptr);
  EXPECT_NE(again, system);
  EXPECT_EQ(Enumerate(again), Enumerate(system));
  EXPECT_EQ(registry_.RegCloseKey(again), 0);
  EXPECT_EQ(registry_.RegCloseKey(again), static_cast<int32_t>(kErrorInvalidHandle));
  // A closed handle stays dead even after more keys are opened.
  HKey later = Open(LocalMachineKey(), "SOFTWARE");
  char name[260];
  EXPECT_EQ(registry_.RegEnumKeyA(again, 0, name, sizeof name), static_cast<int32_t>(kErrorInvalidHandle));
  uint32_t size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(again, "", nullptr, nullptr, nullptr, &size),
            static_cast<int32_t>(kErrorInvalidHandle));
  EXPECT_EQ(registry_.RegOpenKeyA(again, "Select", &key), static_cast<int32_t>(kErrorInvalidHandle));
  EXPECT_EQ(registry_.RegCloseKey(nullptr), static_cast<int32_t>(kErrorInvalidHandle));
  registry_.RegCloseKey(system);
  registry_.RegCloseKey(later);
  EXPECT_EQ(registry_.open_handle_count(), 0u);
}

TEST_F(ImageRegistryTest, OtherPredefinedRootsAreEmpty) {
  Mount();
  const auto current_user = reinterpret_cast<HKey>(static_cast<uintptr_t>(0x80000001u));
  HKey key = nullptr;
  EXPECT_EQ(registry_.RegOpenKeyA(current_user, "Software", &key), static_cast<int32_t>(kErrorFileNotFound));
  EXPECT_TRUE(Enumerate(current_user).empty());
  uint32_t size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(current_user, "x", nullptr, nullptr, nullptr, &size),
            static_cast<int32_t>(kErrorFileNotFound));
  EXPECT_EQ(registry_.RegCloseKey(current_user), 0);
}

TEST_F(ImageRegistryTest, StringValuesArriveInUtf8WithTheStoredNuls) {
  Mount();
  HKey types = Open(LocalMachineKey(), "SYSTEM\\Types");
  uint32_t type = 0;
  EXPECT_EQ(Query(types, nullptr, &type), std::string("default text\0", 13));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Query(types, ""), std::string("default text\0", 13));
  EXPECT_EQ(Query(types, "accented"), std::string("\xC3\x89v\xC3\xA9nement\0", 12));
  EXPECT_EQ(Query(types, "Multi", &type), std::string("one\0two\0\0", 9));
  EXPECT_EQ(type, kRegMultiSz);
  EXPECT_EQ(Query(types, "Unterminated"), "abc");
  EXPECT_EQ(Query(types, "Empty"), "");
  HKey app = Open(LocalMachineKey(), "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application");
  EXPECT_EQ(Query(app, "File", &type),
            std::string("%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx") + '\0');
  EXPECT_EQ(type, kRegExpandSz);
  registry_.RegCloseKey(types);
  registry_.RegCloseKey(app);
}

TEST_F(ImageRegistryTest, OtherTypesArriveAsStored) {
  Mount();
  HKey types = Open(LocalMachineKey(), "SYSTEM\\Types");
  uint32_t type = 0;
  EXPECT_EQ(Query(types, "Dword", &type), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(Query(types, "Binary", &type), std::string("\xFF\x00\x7F", 3));
  EXPECT_EQ(type, kRegBinary);
  registry_.RegCloseKey(types);
}

TEST_F(ImageRegistryTest, QueryValueSizeAndErrorContract) {
  Mount();
  HKey types = Open(LocalMachineKey(), "SYSTEM\\Types");
  uint8_t buffer[16] = {};
  uint32_t size = 12;  // "default text" needs 13 with its NUL
  uint32_t type = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(types, nullptr, nullptr, &type, buffer, &size),
            static_cast<int32_t>(kErrorMoreData));
  EXPECT_EQ(size, 13u);
  EXPECT_EQ(type, kRegSz);
  size = sizeof buffer;
  EXPECT_EQ(registry_.RegQueryValueExA(types, nullptr, nullptr, nullptr, buffer, &size), 0);
  EXPECT_EQ(size, 13u);
  // Neither buffer nor size: only the existence and type are asked for.
  EXPECT_EQ(registry_.RegQueryValueExA(types, "Dword", nullptr, &type, nullptr, nullptr), 0);
  EXPECT_EQ(type, kRegDword);
  size = sizeof buffer;
  EXPECT_EQ(registry_.RegQueryValueExA(types, "NoSuchValue", nullptr, nullptr, buffer, &size),
            static_cast<int32_t>(kErrorFileNotFound));
  uint32_t reserved = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(types, "Dword", &reserved, nullptr, buffer, &size),
            static_cast<int32_t>(kErrorInvalidParameter));
  EXPECT_EQ(registry_.RegQueryValueExA(types, "Dword", nullptr, nullptr, buffer, nullptr),
            static_cast<int32_t>(kErrorInvalidParameter));
  // A key without a default value.
  HKey select = Open(LocalMachineKey(), "SYSTEM\\Select");
  size = sizeof buffer;
  EXPECT_EQ(registry_.RegQueryValueExA(select, nullptr, nullptr, nullptr, buffer, &size),
            static_cast<int32_t>(kErrorFileNotFound));
  registry_.RegCloseKey(types);
  registry_.RegCloseKey(select);
}

// The same calls over in-memory keys give what they give over a hive.
TEST(ImageRegistryMemoryTest, InMemoryKeysAnswerLikeAHive) {
  MemoryKey system("SYSTEM");
  system.AddKey("Select").SetDword("Current", 3);
  MemoryKey& logs = system.AddPath("ControlSet003\\Services\\EventLog");
  for (const char* name : {"System", "ABC_D", "abcd", "ABCE", "Application", "SYSTEM"}) logs.AddKey(name);
  logs.AddKey("System").SetString("", "first");
  logs.AddKey("system").SetString("", "second");
  RegistryTree tree;
  tree.MountMemory("SYSTEM", system);
  ImageRegistry registry(tree);

  HKey key = nullptr;
  ASSERT_EQ(registry.RegOpenKeyA(LocalMachineKey(), "system\\CURRENTCONTROLSET\\Services\\EventLog", &key), 0);
  std::vector<std::string> names;
  char name[260];
  for (uint32_t i = 0; registry.RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) names.emplace_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"abcd", "ABCE", "ABC_D", "Application", "System"}));
  HKey sys = nullptr;
  ASSERT_EQ(registry.RegOpenKeyA(key, "SYSTEM", &sys), 0);
  uint8_t data[16];
  uint32_t size = sizeof data;
  uint32_t type = 0;
  ASSERT_EQ(registry.RegQueryValueExA(sys, nullptr, nullptr, &type, data, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("second\0", 7));
  EXPECT_EQ(type, kRegSz);
  registry.RegCloseKey(sys);
  registry.RegCloseKey(key);
  EXPECT_EQ(registry.open_handle_count(), 0u);
}

}  // namespace
}  // namespace qrv::offline
