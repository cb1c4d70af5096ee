// Real hives from the shared corpus, checked against the listings an
// independent reader (reglookup) produced: every key and value in
// enumeration order with its type, plain values and key times. Skips when
// the corpus is absent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/regf/hive.h"
#include "formats/regf/hive_layout.h"
#include "formats/regf/hive_walk.h"
#include "formats/regf/le_bytes.h"
#include "formats/regf/name_text.h"

namespace regf {
namespace {

namespace fs = std::filesystem;

const fs::path kHives = fs::path(QRV_SHARED_DIR) / "corpus" / "hives";
const fs::path kExpected = fs::path(QRV_SHARED_DIR) / "corpus" / "expected" / "hives";

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Row {
  std::string path;
  std::string type;
  std::string value;
  std::string mtime;
};

std::vector<Row> ReadListing(const fs::path& csv) {
  std::vector<Row> rows;
  std::ifstream in(csv);
  std::string line;
  while (std::getline(in, line)) {
    // reglookup escapes commas inside fields as %2C, so the split is exact.
    Row row;
    std::string* fields[] = {&row.path, &row.type, &row.value, &row.mtime};
    size_t start = 0;
    for (int f = 0; f < 4; ++f) {
      size_t comma = f < 3 ? line.find(',', start) : std::string::npos;
      *fields[f] = line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// Paths of values reglookup could not interpret and printed as raw bytes.
std::set<std::string> RawQuotedPaths(const fs::path& err) {
  std::set<std::string> paths;
  std::ifstream in(err);
  std::string line;
  const std::string kPrefix = "While quoting value for '";
  while (std::getline(in, line)) {
    size_t at = line.find(kPrefix);
    if (at == std::string::npos) continue;
    size_t begin = at + kPrefix.size();
    paths.insert(line.substr(begin, line.find("'", begin) - begin));
  }
  return paths;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool PrintableAscii(std::string_view text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

std::string TypeName(uint32_t type) {
  static const char* const kNames[] = {"NONE",      "SZ",        "EXPAND_SZ",     "BINARY",
                                       "DWORD",     "DWORD_BE",  "LINK",          "MULTI_SZ",
                                       "RSRC_LIST", "RSRC_DESC", "RSRC_REQ_LIST", "QWORD"};
  if (type < std::size(kNames)) return kNames[type];
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), "0x%08X", type);
  return buffer;
}

std::string FileTimeText(uint64_t filetime) {
  using namespace std::chrono;
  sys_seconds time{seconds{static_cast<int64_t>(filetime / 10000000) - 11644473600LL}};
  auto day = floor<days>(time);
  year_month_day ymd{day};
  hh_mm_ss hms{time - day};
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%04d-%02u-%02u %02ld:%02ld:%02ld", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long>(hms.hours().count()), static_cast<long>(hms.minutes().count()),
                static_cast<long>(hms.seconds().count()));
  return buffer;
}

// One of our rows, with the typed value kept for comparison.
struct OurRow {
  std::string path;
  std::string type;
  std::string mtime;
  std::optional<Value> value;
};

std::vector<OurRow> ListHive(const Hive& hive, WalkStats* stats) {
  std::vector<OurRow> rows;
  *stats = WalkHive(hive, [&rows](const Key& key, const std::string& path) {
    std::string slash_path = "/" + path;
    for (char& c : slash_path) c = c == '\\' ? '/' : c;
    rows.push_back({slash_path, "KEY", FileTimeText(key.LastWriteTime()), std::nullopt});
    std::string prefix = path.empty() ? "/" : slash_path + "/";
    for (const Value& value : key.Values()) rows.push_back({prefix + value.Name(), TypeName(value.Type()), "", value});
  });
  return rows;
}

struct Tally {
  size_t rows = 0;
  size_t paths_compared = 0;
  size_t values_compared = 0;
  size_t values_not_compared = 0;
  size_t mismatches = 0;
};

// Compares one value the way reglookup prints it; false when the text is
// not comparable (non-ASCII, binary types, raw-quoted).
bool CompareValue(const OurRow& ours, const Row& theirs, Tally* tally) {
  const Value& value = *ours.value;
  std::string expected;
  if (value.DeclaredSize() == 0) {
    // reglookup prints empty data of any type this way.
    ++tally->values_compared;
    EXPECT_EQ(theirs.value, "(null)") << ours.path;
    if (theirs.value != "(null)") ++tally->mismatches;
    return true;
  }
  switch (value.Type()) {
    case kRegSz:
    case kRegExpandSz: {
      std::optional<std::string> text = value.AsString();
      if (!text || !PrintableAscii(*text)) return false;
      expected = *text;
      break;
    }
    case kRegMultiSz: {
      std::optional<std::vector<std::string>> items = value.AsMultiString();
      if (!items) return false;
      std::vector<std::string> theirs_items;
      std::stringstream split(theirs.value);
      for (std::string item; std::getline(split, item, '|');) theirs_items.push_back(Unescape(item));
      for (const std::string& item : *items) {
        if (!PrintableAscii(item)) return false;
      }
      if (items->empty()) return false;  // printed as "(null)" or empty
      ++tally->values_compared;
      EXPECT_EQ(*items, theirs_items) << ours.path;
      if (*items != theirs_items) ++tally->mismatches;
      return true;
    }
    case kRegDword:
    case kRegDwordBigEndian: {
      std::optional<uint32_t> number = value.AsDword();
      if (!number) return false;
      char buffer[16];
      std::snprintf(buffer, sizeof(buffer), "0x%08X", *number);
      expected = buffer;
      break;
    }
    case kRegQword: {
      std::optional<uint64_t> number = value.AsQword();
      if (!number) return false;
      char buffer[24];
      std::snprintf(buffer, sizeof(buffer), "0x%016llX", static_cast<unsigned long long>(*number));
      expected = buffer;
      break;
    }
    default:
      return false;
  }
  ++tally->values_compared;
  const std::string got = Unescape(theirs.value);
  EXPECT_EQ(expected, got) << ours.path;
  if (expected != got) ++tally->mismatches;
  return true;
}

Tally CompareListing(const std::vector<OurRow>& ours, const std::vector<Row>& theirs,
                     const std::set<std::string>& raw_quoted) {
  Tally tally;
  tally.rows = theirs.size();
  for (size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
    const OurRow& a = ours[i];
    const Row& b = theirs[i];
    if (a.type != b.type) {
      ADD_FAILURE() << "row " << i << " " << a.path << ": type " << a.type << " vs " << b.type;
      ++tally.mismatches;
      if (tally.mismatches > 20) break;
      continue;
    }
    if (PrintableAscii(a.path)) {
      ++tally.paths_compared;
      if (a.path != Unescape(b.path)) {
        ADD_FAILURE() << "row " << i << ": " << a.path << " vs " << b.path;
        if (++tally.mismatches > 20) break;
      }
    }
    if (!a.value) {
      EXPECT_EQ(a.mtime, b.mtime) << a.path;
      continue;
    }
    if (raw_quoted.count(b.path) || !CompareValue(a, b, &tally)) ++tally.values_not_compared;
  }
  return tally;
}

class CorpusHiveTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusHiveTest, MatchesReglookupListing) {
  const fs::path hive_path = kHives / GetParam();
  const fs::path csv = kExpected / (std::string(GetParam()) + ".reglookup.csv");
  if (!fs::exists(hive_path) || !fs::exists(csv)) GTEST_SKIP() << "corpus not available";
  std::vector<uint8_t> bytes = ReadFile(hive_path);
  Hive hive(bytes.data(), bytes.size());
  ASSERT_TRUE(hive.readable());
  EXPECT_EQ(hive.issues() & ~static_cast<uint32_t>(kIssueDirty), 0u);

  WalkStats stats;
  std::vector<OurRow> ours = ListHive(hive, &stats);
  std::vector<Row> theirs = ReadListing(csv);
  EXPECT_TRUE(stats.clean());
  EXPECT_EQ(ours.size(), theirs.size());
  Tally tally = CompareListing(ours, theirs, RawQuotedPaths(kExpected / (std::string(GetParam()) + ".err")));
  EXPECT_EQ(tally.mismatches, 0u);
  std::cout << "[ corpus ] " << GetParam() << ": rows " << tally.rows << ", keys " << stats.keys << ", values "
            << stats.values << ", paths compared " << tally.paths_compared << ", values compared "
            << tally.values_compared << ", values not compared " << tally.values_not_compared << "\n";
}

INSTANTIATE_TEST_SUITE_P(Hives, CorpusHiveTest,
                         ::testing::Values("plaso-100_sub_keys.hiv", "plaso-Amcache.hve", "plaso-NTUSER.DAT",
                                           "plaso-SAM", "plaso-UsrClass.dat", "plaso-win10-Amcache.hve",
                                           "winreg-kb-SECURITY"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           std::string name;
                           for (const char* c = param.param; *c; ++c) name += isalnum(*c) ? *c : '_';
                           return name;
                         });

// Windows wrote these lists: each must already be in the order our
// comparison defines, and each "lh" hash must equal ours. Together they
// check the uppercase folding against Windows' own on every stored name.
TEST_P(CorpusHiveTest, StoredOrderAndHashesMatchOurFolding) {
  const fs::path hive_path = kHives / GetParam();
  if (!fs::exists(hive_path)) GTEST_SKIP() << "corpus not available";
  std::vector<uint8_t> bytes = ReadFile(hive_path);
  Hive hive(bytes.data(), bytes.size());
  size_t pairs = 0;
  size_t hashes = 0;
  WalkHive(hive, [&](const Key& key, const std::string&) {
    std::vector<Key> subkeys = key.Subkeys();
    for (size_t i = 1; i < subkeys.size(); ++i) {
      ++pairs;
      EXPECT_LT(CompareNamesIgnoreCase(subkeys[i - 1].NameUtf16(), subkeys[i].NameUtf16()), 0)
          << subkeys[i - 1].Name() << " / " << subkeys[i].Name();
    }
    auto record = hive.Cell(key.cell_offset());
    uint32_t list = LoadU32(record, layout::kNkSubkeyList);
    auto cell = hive.Cell(list);
    std::vector<std::span<const uint8_t>> leaves;
    if (LoadU16(cell, 0) == layout::kRiSig) {
      for (uint32_t i = 0; i < LoadU16(cell, 2); ++i) leaves.push_back(hive.Cell(LoadU32(cell, 4 + i * 4)));
    } else {
      leaves.push_back(cell);
    }
    size_t index = 0;
    for (auto leaf : leaves) {
      if (LoadU16(leaf, 0) != layout::kLhSig) continue;
      for (uint32_t i = 0; i < LoadU16(leaf, 2); ++i, ++index) {
        ASSERT_LT(index, subkeys.size());
        ++hashes;
        EXPECT_EQ(LoadU32(leaf, 8 + i * 8), LhNameHash(subkeys[index].NameUtf16())) << subkeys[index].Name();
      }
    }
  });
  std::cout << "[ corpus ] " << GetParam() << ": ordered pairs checked " << pairs << ", lh hashes checked "
            << hashes << "\n";
}

TEST(CorpusHiveTest, HundredSubkeysEnumerateInWindowsOrder) {
  const fs::path hive_path = kHives / "plaso-100_sub_keys.hiv";
  if (!fs::exists(hive_path)) GTEST_SKIP() << "corpus not available";
  std::vector<uint8_t> bytes = ReadFile(hive_path);
  Hive hive(bytes.data(), bytes.size());
  std::vector<Key> subkeys = hive.Root()->Subkeys();
  ASSERT_EQ(subkeys.size(), 100u);
  const char* kFirst[] = {"1", "10", "100", "11", "12"};
  for (size_t i = 0; i < std::size(kFirst); ++i) EXPECT_EQ(subkeys[i].Name(), kFirst[i]);
  EXPECT_EQ(subkeys[99].Name(), "99");
  EXPECT_EQ(hive.OpenKey("55")->FindValue("VALUE")->AsString(), "String");
}

// Subkey "16" of the root points at a cell that is not a key node.
// reglookup stops enumerating there; this reader skips that one entry and
// returns the other 99 keys, exactly those of the intact twin hive.
TEST(CorpusHiveTest, CorruptSubkeyListKeepsTheIntactKeys) {
  const fs::path corrupt_path = kHives / "plaso-corrupt_sub_key_list.hiv";
  const fs::path intact_path = kHives / "plaso-100_sub_keys.hiv";
  if (!fs::exists(corrupt_path) || !fs::exists(intact_path)) GTEST_SKIP() << "corpus not available";
  std::vector<uint8_t> corrupt_bytes = ReadFile(corrupt_path);
  std::vector<uint8_t> intact_bytes = ReadFile(intact_path);
  Hive corrupt(corrupt_bytes.data(), corrupt_bytes.size());
  Hive intact(intact_bytes.data(), intact_bytes.size());
  ASSERT_TRUE(corrupt.readable());

  WalkStats corrupt_stats;
  WalkStats intact_stats;
  std::vector<OurRow> corrupt_rows = ListHive(corrupt, &corrupt_stats);
  std::vector<OurRow> intact_rows = ListHive(intact, &intact_stats);
  EXPECT_EQ(corrupt_stats.skipped_subkeys, 1u);
  EXPECT_EQ(corrupt_stats.keys, 100u);
  EXPECT_EQ(intact_stats.keys, 101u);
  EXPECT_FALSE(corrupt.OpenKey("16"));
  EXPECT_TRUE(corrupt.OpenKey("17"));

  std::vector<std::string> expected;
  for (const OurRow& row : intact_rows) {
    if (row.path != "/16" && row.path.rfind("/16/", 0) != 0) expected.push_back(row.path);
  }
  std::vector<std::string> got;
  for (const OurRow& row : corrupt_rows) got.push_back(row.path);
  EXPECT_EQ(got, expected);

  // What reglookup listed before it stopped is a prefix of ours.
  const fs::path csv = kExpected / "plaso-corrupt_sub_key_list.hiv.reglookup.csv";
  if (!fs::exists(csv)) return;
  std::vector<Row> theirs = ReadListing(csv);
  ASSERT_LE(theirs.size(), corrupt_rows.size());
  Tally tally = CompareListing(corrupt_rows, theirs, {});
  EXPECT_EQ(tally.mismatches, 0u);
  EXPECT_EQ(tally.paths_compared, theirs.size());
}

}  // namespace
}  // namespace regf
