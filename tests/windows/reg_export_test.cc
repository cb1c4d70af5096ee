// The .reg text made from registry trees held in memory: layout, order,
// escaping and the value forms `reg import` reads back.
#include "tests/windows/reg_export.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/regf/name_text.h"
#include "platform/offline/image/memory_key.h"

namespace qrv::offline {
namespace {

std::string Narrow(const std::u16string& text) { return regf::Utf16ToUtf8(text); }

TEST(RegExportTest, WritesKeysDepthFirstWithTheirValues) {
  MemoryKey software("SOFTWARE");
  MemoryKey& channels = software.AddPath("Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels");
  channels.AddKey("Application").SetString("OwningPublisher", "{abc}");
  MemoryKey& operational = channels.AddKey("QRV-Test/Operational");
  operational.SetDword("Enabled", 1);
  operational.SetValue("Type", 4, {0x0a, 0, 0, 0});
  channels.AddKey("Setup");
  RegistryTree tree;
  tree.MountMemory("SOFTWARE", software);

  const std::string text = Narrow(ExportRegFile(
      tree, {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels"}));
  const std::string base = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels";
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n" + base + "]\r\n"
            "\r\n" + base + "\\Application]\r\n"
            "\"OwningPublisher\"=\"{abc}\"\r\n"
            "\r\n" + base + "\\QRV-Test/Operational]\r\n"
            "\"Enabled\"=dword:00000001\r\n"
            "\"Type\"=dword:0000000a\r\n"
            "\r\n" + base + "\\Setup]\r\n");
}

TEST(RegExportTest, EscapesStringsAndFallsBackToHexForWhatAStringCannotCarry) {
  MemoryKey system("SYSTEM");
  MemoryKey& key = system.AddPath("Services\\EventLog\\Application\\Source");
  key.SetString("", "default");
  key.SetString("EventMessageFile", "%SystemRoot%\\a \"b\".dll");
  key.SetValue("Expand", 2, {'A', 0, 0, 0});
  key.SetValue("Multi", 7, {'A', 0, 0, 0, 0, 0});
  key.SetValue("Bytes", 3, {0xde, 0xad});
  key.SetValue("Empty", 3, {});
  key.SetValue("Odd", 1, {'A', 0, 'B'});
  key.SetValue("Lines", 1, {'A', 0, '\n', 0, 0, 0});
  key.SetValue("Short", 4, {1, 2});
  RegistryTree tree;
  tree.MountMemory("SYSTEM", system);

  const std::string text =
      Narrow(ExportRegFile(tree, {"SYSTEM\\Services\\EventLog\\Application\\Source"}));
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Services\\EventLog\\Application\\Source]\r\n"
            "@=\"default\"\r\n"
            "\"EventMessageFile\"=\"%SystemRoot%\\\\a \\\"b\\\".dll\"\r\n"
            "\"Expand\"=hex(2):41,00,00,00\r\n"
            "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
            "\"Bytes\"=hex:de,ad\r\n"
            "\"Empty\"=hex:\r\n"
            "\"Odd\"=hex(1):41,00,42\r\n"
            "\"Lines\"=hex(1):41,00,0a,00,00,00\r\n"
            "\"Short\"=hex(4):01,02\r\n");
}

TEST(RegExportTest, LeavesOutPathsTheTreeDoesNotHave) {
  MemoryKey system("SYSTEM");
  system.AddPath("Services\\EventLog\\System");
  RegistryTree tree;
  tree.MountMemory("SYSTEM", system);
  EXPECT_EQ(Narrow(ExportRegFile(tree, {"SYSTEM\\Services\\Missing", "SOFTWARE"})),
            "Windows Registry Editor Version 5.00\r\n");
}

}  // namespace
}  // namespace qrv::offline
