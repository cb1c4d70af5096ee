// Hives written by WriteHive read back identically: tree shape, sort order,
// every value type, inline and big data, all subkey list kinds; and, when
// the Debian reglookup tool is installed, it reads them too.
#include "formats/regf/hive_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "formats/regf/hive.h"
#include "formats/regf/hive_layout.h"
#include "formats/regf/hive_walk.h"
#include "regf_test_util.h"

namespace regf {
namespace {

using testing::SampleTree;

std::vector<std::string> SubkeyNames(const Key& key) {
  std::vector<std::string> names;
  for (const Key& sub : key.Subkeys()) names.push_back(sub.Name());
  return names;
}

TEST(HiveWriterTest, WrittenHiveHasValidHeader) {
  auto tree = SampleTree();
  std::vector<uint8_t> bytes = WriteHive(*tree);
  ASSERT_EQ(bytes.size() % 4096, 0u);
  Hive hive(bytes.data(), bytes.size());
  EXPECT_EQ(hive.status(), HiveStatus::kOk);
  EXPECT_EQ(hive.issues(), 0u);
  EXPECT_EQ(hive.minor_version(), 5u);
  ASSERT_TRUE(hive.Root());
  EXPECT_EQ(hive.Root()->Name(), "CMI-CreateHive{2A7FB991-7BBE-4F9D-B91E-7CB51D4737F5}");
  EXPECT_EQ(hive.Root()->LastWriteTime(), 0x01D7441C2B5A1C00u);
  WalkStats stats = WalkHive(hive, [](const Key&, const std::string&) {});
  EXPECT_TRUE(stats.clean());
  EXPECT_EQ(stats.keys, 9u);
  EXPECT_EQ(stats.values, 15u);
}

TEST(HiveWriterTest, SubkeysComeBackSortedByUppercasedName) {
  WriterKey root("r");
  for (const char* name : {"b", "ABC_D", "abce", "10", "1", "100", "11", "2", "\xc3\xa9", "Z"}) root.AddKey(name);
  std::vector<uint8_t> bytes = WriteHive(root);
  Hive hive(bytes.data(), bytes.size());
  EXPECT_EQ(SubkeyNames(*hive.Root()),
            (std::vector<std::string>{"1", "10", "100", "11", "2", "abce", "ABC_D", "b", "Z", "\xc3\xa9"}));
}

TEST(HiveWriterTest, AddingExistingNamesReusesThem) {
  WriterKey root("r");
  WriterKey& first = root.AddKey("Services");
  EXPECT_EQ(&root.AddKey("SERVICES"), &first);
  EXPECT_EQ(&root.AddPath("services\\X"), &first.AddKey("x"));
  first.SetDword("Start", 1);
  first.SetDword("START", 3);
  ASSERT_EQ(first.values().size(), 1u);
  EXPECT_EQ(first.values()[0].name, u"Start");  // the first spelling stays
  EXPECT_EQ(first.values()[0].data[0], 3);
}

TEST(HiveWriterTest, EveryListKindEnumeratesTheSameWay) {
  WriterKey root("r");
  WriterKey& many = root.AddKey("Many");
  for (int i = 1; i <= 100; ++i) many.AddKey(std::to_string(i));
  std::vector<std::string> expected;
  {
    std::vector<uint8_t> bytes = WriteHive(root);
    Hive hive(bytes.data(), bytes.size());
    expected = SubkeyNames(*hive.OpenKey("Many"));
  }
  ASSERT_EQ(expected.size(), 100u);
  EXPECT_EQ(expected[0], "1");
  EXPECT_EQ(expected[1], "10");
  EXPECT_EQ(expected[2], "100");
  EXPECT_EQ(expected[3], "11");

  const uint16_t kSigs[] = {layout::kLiSig, layout::kLfSig, layout::kLhSig};
  const SubkeyListKind kKinds[] = {SubkeyListKind::kLi, SubkeyListKind::kLf, SubkeyListKind::kLh};
  for (int k = 0; k < 3; ++k) {
    for (uint32_t leaf : {1u, 7u, 100u, 511u}) {
      SCOPED_TRACE(::testing::Message() << "kind " << k << " leaf " << leaf);
      WriterOptions options;
      options.list_kind = kKinds[k];
      options.max_leaf_entries = leaf;
      std::vector<uint8_t> bytes = WriteHive(root, options);
      Hive hive(bytes.data(), bytes.size());
      std::optional<Key> key = hive.OpenKey("many");
      ASSERT_TRUE(key);
      EXPECT_EQ(SubkeyNames(*key), expected);
      EXPECT_TRUE(key->FindSubkey("77"));
      // The list really is of the kind asked for (an ri above leaves when split).
      uint32_t list = testing::GetU32(bytes, testing::RecordAt(key->cell_offset()) + layout::kNkSubkeyList);
      uint16_t sig = LoadU16(std::span<const uint8_t>(bytes), testing::RecordAt(list));
      EXPECT_EQ(sig, leaf < 100 ? layout::kRiSig : kSigs[k]);
    }
  }
}

TEST(HiveWriterTest, ValueDataSurvivesAtEverySize) {
  WriterKey root("r");
  WriterKey& key = root.AddKey("Data");
  // 0..4 bytes are stored inline in the value record; one segment's worth
  // stays a plain cell; one byte more becomes big data.
  const size_t kSizes[] = {0, 1, 3, 4, 5, 4096, 16344, 16345, 32688, 32689, 100000};
  for (size_t size : kSizes) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + size);
    key.SetValue("v" + std::to_string(size), kRegBinary, data);
  }
  for (uint32_t minor : {3u, 5u}) {
    SCOPED_TRACE(minor);
    WriterOptions options;
    options.minor_version = minor;
    std::vector<uint8_t> bytes = WriteHive(root, options);
    Hive hive(bytes.data(), bytes.size());
    ASSERT_EQ(hive.status(), HiveStatus::kOk);
    std::optional<Key> read = hive.OpenKey("Data");
    ASSERT_TRUE(read);
    for (size_t i = 0; i < key.values().size(); ++i) {
      std::optional<Value> value = read->FindValue(key.values()[i].name);
      ASSERT_TRUE(value) << i;
      EXPECT_EQ(value->DeclaredSize(), key.values()[i].data.size());
      EXPECT_EQ(value->Data(), key.values()[i].data) << "size " << key.values()[i].data.size();
    }
    // Big-data records appear only from minor version 4 on.
    std::optional<Value> big = read->FindValue("v100000");
    uint32_t data_cell = testing::GetU32(bytes, testing::RecordAt(big->cell_offset()) + layout::kVkData);
    EXPECT_EQ(LoadU16(std::span<const uint8_t>(bytes), testing::RecordAt(data_cell)) == layout::kDbSig,
              minor == 5);
  }
}

TEST(HiveWriterTest, NonLatin1NamesAreStoredAsUtf16) {
  WriterKey root("r");
  root.AddKey("Caf\xc3\xa9").SetDword("\xce\xa9mega", 1);  // Latin-1 fits one byte a unit
  root.AddKey("\xe4\xb8\xad\xe6\x96\x87");                  // needs UTF-16
  std::vector<uint8_t> bytes = WriteHive(root);
  Hive hive(bytes.data(), bytes.size());
  std::optional<Key> cafe = hive.OpenKey("CAF\xc3\x89");
  ASSERT_TRUE(cafe);
  EXPECT_EQ(cafe->Name(), "Caf\xc3\xa9");
  EXPECT_NE(LoadU16(std::span<const uint8_t>(bytes), testing::RecordAt(cafe->cell_offset()) + layout::kNkFlags) &
                layout::kKeyCompressedName,
            0);
  ASSERT_TRUE(cafe->FindValue("\xcf\x89MEGA"));
  EXPECT_EQ(cafe->FindValue("\xcf\x89MEGA")->Name(), "\xce\xa9mega");
  std::optional<Key> chinese = hive.OpenKey("\xe4\xb8\xad\xe6\x96\x87");
  ASSERT_TRUE(chinese);
  EXPECT_EQ(LoadU16(std::span<const uint8_t>(bytes), testing::RecordAt(chinese->cell_offset()) + layout::kNkFlags) &
                layout::kKeyCompressedName,
            0);
}

// Runs reglookup over a written sample when the tool is installed: an
// independent reader must see the same keys, types and plain values.
TEST(HiveWriterTest, ReglookupReadsWrittenHive) {
  if (std::system("command -v reglookup >/dev/null 2>&1") != 0) GTEST_SKIP() << "reglookup not installed";
  auto tree = SampleTree();
  WriterKey& big = tree->AddKey("Big");
  big.SetValue("Blob", kRegBinary, std::vector<uint8_t>(40000, 'A'));
  for (int i = 0; i < 30; ++i) big.AddKey("k" + std::to_string(i));
  WriterOptions options;
  options.max_leaf_entries = 8;
  std::vector<uint8_t> bytes = WriteHive(*tree, options);
  std::string path = ::testing::TempDir() + "regf_writer_test.hiv";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  std::string output;
  FILE* pipe = popen(("reglookup -H '" + path + "' 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0);
  std::remove(path.c_str());

  // Its only complaint is about the value with a made-up type number,
  // which it prints as raw bytes (it does the same for SAM's RID types).
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("WARN", 0) == 0 || line.rfind("ERROR", 0) == 0) {
      EXPECT_NE(line.find("'/Types/Rid'"), std::string::npos) << line;
    }
  }
  for (const char* line : {"/Select/Current,DWORD,0x00000001,",
                           "/ControlSet001/Services/EventLog/System/,SZ,system default,",
                           "/Types/Multi,MULTI_SZ,one|two|three,", "/Types/Qword,QWORD,0x0102030405060708,",
                           "/Types/DwordBE,DWORD_BE,0x12345678,", "/Types/None,NONE,(null),",
                           "/Big/k29,KEY,,", "/Types,KEY,,2014-11-14 11:41:59"}) {
    EXPECT_NE(output.find(line), std::string::npos) << line;
  }
  EXPECT_NE(output.find("/Big/Blob,BINARY," + std::string(40000, 'A') + ","), std::string::npos);
}

}  // namespace
}  // namespace regf
