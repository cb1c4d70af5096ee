// Compares the named EventData values of every corpus record, as our event
// tree holds them, with the independent reader's values shipped in
// expected-eventdata/. That reader writes GUIDs uppercase without braces and
// times to the microsecond; those two are normalised before comparing.
#include <gtest/gtest.h>

#include <cctype>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/evtx/file_reader.h"
#include "mini_json.h"

namespace evtx {
namespace {

namespace fs = std::filesystem;
using testing::Json;
using testing::JsonParser;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool IsTime(ValueType t) {
  return t == ValueType::kFileTime || t == ValueType::kSysTime;
}

std::string Normalised(const Value& v) {
  std::string t = v.text;
  if (v.type == ValueType::kGuid && t.size() == 38) {
    t = t.substr(1, 36);
    std::transform(t.begin(), t.end(), t.begin(),
                   [](unsigned char c) { return std::toupper(c); });
  } else if (IsTime(v.type)) {
    t = t.substr(0, 26);
  }
  return t;
}

TEST(EvtxCorpusEventDataTest, NamedDataValuesMatchTheIndependentReader) {
  const fs::path root = fs::path(QRV_SHARED_DIR) / "corpus";
  if (!fs::exists(root / "expected-eventdata"))
    GTEST_SKIP() << "no corpus at " << root;
  size_t compared = 0, files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".evtx")
      continue;
    fs::path json_path =
        root / "expected-eventdata" / fs::relative(entry.path(), root);
    json_path.replace_extension(".json");
    if (!fs::exists(json_path)) continue;
    SCOPED_TRACE(entry.path().string());
    ++files;
    const std::string text = Slurp(json_path);
    const Json expected = JsonParser(text).Parse();
    ASSERT_EQ(expected.kind, Json::Kind::kArray);

    const std::string bytes = Slurp(entry.path());
    FileReader file;
    ASSERT_TRUE(file.Open(reinterpret_cast<const uint8_t*>(bytes.data()),
                          bytes.size()));
    RecordCursor cursor(file, RecordOrder::kFileOrder);
    // First decodable occurrence of each record number: Name -> normalised
    // text.
    std::map<uint64_t, std::map<std::string, std::pair<ValueType, std::string>>>
        ours;
    EventTree tree;
    while (cursor.Next()) {
      if (ours.count(cursor.record().record_id) != 0) continue;
      if (cursor.decoder().BuildTree(cursor.record(), &tree) !=
          DecodeStatus::kOk)
        continue;
      auto& data = ours[cursor.record().record_id];
      for (uint32_t k : tree.Root()->children) {
        if (tree.elements[k].name != "EventData") continue;
        for (uint32_t d : tree.elements[k].children) {
          const Element& e = tree.elements[d];
          for (const Attribute& a : e.attributes) {
            if (a.name == "Name")
              data.emplace(a.value.text,
                           std::make_pair(e.text.type, Normalised(e.text)));
          }
        }
      }
    }
    int mismatches = 0;
    for (const Json& rec : expected.items) {
      const Json* num = rec.Find("num");
      const Json* event_data = rec.Find("EventData");
      if (num == nullptr || event_data == nullptr ||
          event_data->kind != Json::Kind::kObject)
        continue;
      auto it = ours.find(std::stoull(num->text));
      ASSERT_NE(it, ours.end()) << "record " << num->text;
      for (const auto& [name, value] : event_data->members) {
        if (value.kind == Json::Kind::kObject ||
            value.kind == Json::Kind::kArray ||
            value.kind == Json::Kind::kNull) {
          continue;  // that reader's own shapes for repeated or odd items
        }
        auto got = it->second.find(name);
        if (got == it->second.end())
          continue;  // unnamed or renamed by that reader
        ++compared;
        const std::string want =
            IsTime(got->second.first) ? value.text.substr(0, 26) : value.text;
        if (got->second.second != want && ++mismatches <= 3) {
          ADD_FAILURE() << "record " << num->text << " " << name << ": want ["
                        << want << "] got [" << got->second.second << "]";
        }
      }
    }
  }
  EXPECT_GT(files, 300u);
  EXPECT_GT(compared, 250000u);
}

// An item's text as a message insert: the XML text, but a time with nine
// fraction digits (".4965010Z" -> ".496501000Z") and hex digits in upper
// case ("0x3e7" -> "0x3E7"). Counts both.
size_t times_seen = 0, hex_seen = 0;
std::string AsInsert(const Value& v) {
  if (v.type == ValueType::kHexInt32 || v.type == ValueType::kHexInt64) {
    ++hex_seen;
    std::string text = v.text;
    for (size_t i = 2; i < text.size(); ++i)
      text[i] = static_cast<char>(std::toupper(text[i]));
    return text;
  }
  if ((v.type != ValueType::kFileTime && v.type != ValueType::kSysTime) ||
      v.text.empty()) {
    return v.text;
  }
  ++times_seen;
  return v.text.substr(0, v.text.size() - 1) + "00Z";
}

// The data items as the tree holds them: the Data children of the root's
// first EventData, else the leaves below its first UserData.
std::vector<std::string> ItemsOfTree(const EventTree& tree, bool* user) {
  std::vector<std::string> items;
  const Element* data = nullptr;
  const Element* user_data = nullptr;
  for (uint32_t k : tree.Root()->children) {
    const Element& e = tree.elements[k];
    if (data == nullptr && e.name == "EventData") data = &e;
    if (user_data == nullptr && e.name == "UserData") user_data = &e;
  }
  *user = data == nullptr && user_data != nullptr;
  if (data != nullptr) {
    for (uint32_t d : data->children) {
      if (tree.elements[d].name == "Data")
        items.push_back(AsInsert(tree.elements[d].text));
    }
  } else if (user_data != nullptr) {
    const std::function<void(const Element&)> leaves = [&](const Element& e) {
      for (uint32_t c : e.children) {
        const Element& child = tree.elements[c];
        if (child.children.empty())
          items.push_back(AsInsert(child.text));
        else
          leaves(child);
      }
    };
    leaves(*user_data);
  }
  return items;
}

// Every record of the corpus, damaged files included, through one decoder
// and one reused list: the items read without a tree are the tree's texts
// as message inserts, and TakeDataItems takes the same from the tree.
TEST(EvtxCorpusEventDataTest, DataItemsAreTheTreesTexts) {
  const fs::path root = fs::path(QRV_SHARED_DIR) / "corpus";
  if (!fs::exists(root)) GTEST_SKIP() << "no corpus at " << root;
  size_t records = 0, from_user_data = 0;
  std::vector<std::string> items;
  EventTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".evtx")
      continue;
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = Slurp(entry.path());
    FileReader file;
    if (!file.Open(reinterpret_cast<const uint8_t*>(bytes.data()),
                   bytes.size()))
      continue;
    RecordCursor cursor(file, RecordOrder::kFileOrder);
    while (cursor.Next()) {
      const DecodeStatus built =
          cursor.decoder().BuildTree(cursor.record(), &tree);
      const DecodeStatus read =
          cursor.decoder().ReadDataItems(cursor.record(), &items);
      ASSERT_EQ(read, built) << "record " << cursor.record().record_id;
      if (built != DecodeStatus::kOk) {
        EXPECT_TRUE(items.empty());
        continue;
      }
      ++records;
      bool user = false;
      ASSERT_EQ(items, ItemsOfTree(tree, &user))
          << "record " << cursor.record().record_id;
      std::vector<std::string> taken = {"left over"};
      TakeDataItems(&tree, &taken);
      ASSERT_EQ(taken, items) << "record " << cursor.record().record_id;
      if (user && !items.empty()) ++from_user_data;
    }
  }
  EXPECT_GT(records, 30000u);
  EXPECT_GT(from_user_data, 100u);
  EXPECT_GT(times_seen, 0u);
  EXPECT_GT(hex_seen, 0u);
}

}  // namespace
}  // namespace evtx
