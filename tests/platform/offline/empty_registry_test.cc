// EmptyRegistry: HKEY_LOCAL_MACHINE with nothing below it.
#include "platform/offline/empty_registry.h"

#include <gtest/gtest.h>

namespace qrv {
namespace {

TEST(EmptyRegistryTest, NoSubkeyExists) {
  EmptyRegistry registry;
  HKey key = reinterpret_cast<HKey>(uintptr_t{1});
  EXPECT_EQ(registry.RegOpenKeyA(LocalMachineKey(),
                                 "SYSTEM\\CurrentControlSet\\Services\\EventLog",
                                 &key),
            static_cast<int32_t>(kErrorFileNotFound));
  EXPECT_EQ(key, nullptr);
}

TEST(EmptyRegistryTest, TheRootOpensEnumeratesNothingAndHasNoValues) {
  EmptyRegistry registry;
  HKey key = nullptr;
  ASSERT_EQ(registry.RegOpenKeyA(LocalMachineKey(), "", &key), 0);
  EXPECT_EQ(key, LocalMachineKey());
  char name[256];
  EXPECT_EQ(registry.RegEnumKeyA(key, 0, name, sizeof name),
            static_cast<int32_t>(kErrorNoMoreItems));
  uint32_t size = 0;
  uint32_t type = 0;
  EXPECT_EQ(registry.RegQueryValueExA(key, "", nullptr, &type, nullptr, &size),
            static_cast<int32_t>(kErrorFileNotFound));
  EXPECT_EQ(registry.RegCloseKey(key), 0);
}

}  // namespace
}  // namespace qrv
