// Files made by the writer read back identically: system properties, exact
// event XML, typed tree values, every value type, arrays, optional
// substitutions, nested BinXml and records spread over many chunks.
#include <gtest/gtest.h>

#include <cstring>

#include "evtx_test_events.h"
#include "formats/evtx/value_format.h"

namespace evtx {
namespace {

using testing::Guid;
using testing::kTime;
using testing::ReadFile;
using testing::SecurityEvent;
using P = SystemProperty;

constexpr char kSystemXml[] =
    "<Event "
    "xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System>"
    "<Provider Name='Microsoft-Windows-Security-Auditing' "
    "Guid='{13121110-1514-1716-1819-1a1b1c1d1e1f}'/>"
    "<EventID>4624</EventID><Version>2</Version><Level>0</Level><Task>12544</"
    "Task>"
    "<Opcode>0</Opcode><Keywords>0x8020000000000000</Keywords>"
    "<TimeCreated SystemTime='2025-01-07T21:42:44.5217753Z'/>"
    "<EventRecordID>1</EventRecordID><Correlation/>"
    "<Execution ProcessID='456' ThreadID='460'/><Channel>Security</Channel>"
    "<Computer>WS-01.corp.example</Computer><Security/></System>";

TEST(EvtxRoundTripTest, RendersWindowsEventXml) {
  const auto file = WriteEvtx({SecurityEvent(4624)});
  const auto back = ReadFile(file);
  ASSERT_EQ(back.records.size(), 1u);
  ASSERT_EQ(back.status[0], DecodeStatus::kOk);
  EXPECT_EQ(back.xml[0],
            std::string(kSystemXml) +
                "<EventData><Data Name='SubjectUserSid'>S-1-5-18</Data>"
                "<Data Name='LogonType'>3</Data></EventData></Event>");
}

void ExpectSameSystem(const WriterEvent& e, uint64_t id,
                      const SystemProperties& p) {
  EXPECT_EQ(p.provider_name.ToUtf8(), e.provider_name);
  EXPECT_EQ(p.Has(P::kProviderGuid), e.provider_guid.has_value());
  if (e.provider_guid) {
    EXPECT_EQ(0,
              std::memcmp(p.provider_guid.bytes, e.provider_guid->bytes, 16));
  }
  EXPECT_EQ(p.event_id, e.event_id);
  EXPECT_EQ(p.Has(P::kQualifiers), e.qualifiers.has_value());
  if (e.qualifiers) {
    EXPECT_EQ(p.qualifiers, *e.qualifiers);
  }
  EXPECT_EQ(p.level, e.level);
  EXPECT_EQ(p.task, e.task);
  EXPECT_EQ(p.opcode, e.opcode);
  EXPECT_EQ(p.keywords, e.keywords);
  EXPECT_EQ(p.time_created, e.time_created);
  EXPECT_EQ(p.event_record_id, id);
  EXPECT_EQ(p.Has(P::kActivityId), e.activity_id.has_value());
  if (e.activity_id) {
    EXPECT_EQ(0, std::memcmp(p.activity_id.bytes, e.activity_id->bytes, 16));
  }
  EXPECT_EQ(p.Has(P::kRelatedActivityId), e.related_activity_id.has_value());
  EXPECT_EQ(p.process_id, e.process_id);
  EXPECT_EQ(p.thread_id, e.thread_id);
  EXPECT_EQ(p.channel.ToUtf8(), e.channel);
  EXPECT_EQ(p.computer.ToUtf8(), e.computer);
  EXPECT_EQ(p.Has(P::kUserId), !e.user_sid.empty());
  if (!e.user_sid.empty()) {
    std::string sid;
    ASSERT_TRUE(AppendSid(p.user_sid, p.user_sid_size, &sid));
    EXPECT_EQ(sid, e.user_sid);
  }
  EXPECT_EQ(p.version, e.version);
}

// The fast path must follow each template's own substitution indexes.
TEST(EvtxRoundTripTest, SystemPropertiesFollowTheTemplateNotFixedIndexes) {
  WriterEvent full = SecurityEvent(4625);
  full.qualifiers = 16384;
  full.activity_id = Guid(0x40);
  full.related_activity_id = Guid(0x50);
  full.user_sid = "S-1-5-21-3623811015-3361044348-30300820-1013";
  full.version = 1;
  full.level = 4;
  full.opcode = 7;
  WriterEvent sparse = SecurityEvent(1102);
  sparse.provider_guid.reset();
  for (uint32_t rotation : {0u, 5u, 17u}) {
    for (bool computer_subst : {false, true}) {
      SCOPED_TRACE(std::to_string(rotation) +
                   (computer_subst ? " subst" : " literal"));
      const auto file = WriteEvtx({full, sparse}, {rotation, computer_subst});
      const auto back = ReadFile(file);
      ASSERT_EQ(back.records.size(), 2u);
      ExpectSameSystem(full, 1, back.props[0]);
      ExpectSameSystem(sparse, 2, back.props[1]);
      EXPECT_NE(back.xml[0].find("<EventID Qualifiers='16384'>4625</EventID>"),
                std::string::npos);
      EXPECT_NE(
          back.xml[0].find(
              "<Correlation "
              "ActivityID='{43424140-4544-4746-4849-4a4b4c4d4e4f}' "
              "RelatedActivityID='{53525150-5554-5756-5859-5a5b5c5d5e5f}'/>"),
          std::string::npos);
      EXPECT_NE(back.xml[0].find(
                    "<Security "
                    "UserID='S-1-5-21-3623811015-3361044348-30300820-1013'/>"),
                std::string::npos);
      EXPECT_NE(back.xml[1].find(
                    "<Provider Name='Microsoft-Windows-Security-Auditing'/>"),
                std::string::npos);
    }
  }
}

struct TypeCase {
  const char* name;
  WriterValue value;
  const char* text;
  ValueType type;
  uint64_t u;
};

TEST(EvtxRoundTripTest, EveryValueTypeRendersAndKeepsItsBinaryForm) {
  std::vector<uint8_t> sid_bytes;
  const std::vector<TypeCase> cases = {
      {"String", WriterValue::String("a&b<c>'d\"\xC3\xA9"),
       "a&amp;b&lt;c&gt;'d\"\xC3\xA9", ValueType::kString, 0},
      {"Ansi", WriterValue::Ansi("plain"), "plain", ValueType::kAnsiString, 0},
      {"Int8", WriterValue::Number(ValueType::kInt8, static_cast<uint8_t>(-5)),
       "-5", ValueType::kInt8, static_cast<uint64_t>(-5)},
      {"UInt8", WriterValue::Number(ValueType::kUInt8, 250), "250",
       ValueType::kUInt8, 250},
      {"Int16",
       WriterValue::Number(ValueType::kInt16, static_cast<uint16_t>(-300)),
       "-300", ValueType::kInt16, static_cast<uint64_t>(-300)},
      {"UInt16", WriterValue::Number(ValueType::kUInt16, 65535), "65535",
       ValueType::kUInt16, 65535},
      {"Int32",
       WriterValue::Number(ValueType::kInt32, static_cast<uint32_t>(-70000)),
       "-70000", ValueType::kInt32, static_cast<uint64_t>(-70000)},
      {"UInt32", WriterValue::Number(ValueType::kUInt32, 4000000000u),
       "4000000000", ValueType::kUInt32, 4000000000u},
      {"Int64",
       WriterValue::Number(ValueType::kInt64, static_cast<uint64_t>(-1)), "-1",
       ValueType::kInt64, static_cast<uint64_t>(-1)},
      {"UInt64",
       WriterValue::Number(ValueType::kUInt64, 18446744073709551615ULL),
       "18446744073709551615", ValueType::kUInt64, 18446744073709551615ULL},
      {"Real32", WriterValue::Real32(1.5f), "1.5", ValueType::kReal32, 0},
      {"Real64", WriterValue::Real64(-0.25), "-0.25", ValueType::kReal64, 0},
      {"BoolTrue", WriterValue::Number(ValueType::kBool, 2), "true",
       ValueType::kBool, 2},
      {"BoolFalse", WriterValue::Number(ValueType::kBool, 0), "false",
       ValueType::kBool, 0},
      {"Binary", WriterValue::Binary({0xD9, 0x06, 0x00, 0x0A}), "D906000A",
       ValueType::kBinary, 0},
      {"Guid", WriterValue::Guid(Guid(0xA0)),
       "{a3a2a1a0-a5a4-a7a6-a8a9-aaabacadaeaf}", ValueType::kGuid, 0},
      {"SizeT", WriterValue::Number(ValueType::kSizeT, 0x7ff6a000),
       "0x7ff6a000", ValueType::kSizeT, 0x7ff6a000},
      {"FileTime", WriterValue::Number(ValueType::kFileTime, kTime),
       "2025-01-07T21:42:44.5217753Z", ValueType::kFileTime, kTime},
      {"SysTime", WriterValue::SysTime(2020, 2, 29, 23, 59, 58, 123),
       "2020-02-29T23:59:58.1230000Z", ValueType::kSysTime,
       132274943981230000ULL},
      {"Sid", WriterValue::Sid("S-1-5-32-544"), "S-1-5-32-544", ValueType::kSid,
       0},
      {"HexInt32", WriterValue::Number(ValueType::kHexInt32, 0x3e7), "0x3e7",
       ValueType::kHexInt32, 0x3e7},
      {"HexInt64",
       WriterValue::Number(ValueType::kHexInt64, 0x80000000000000ULL),
       "0x80000000000000", ValueType::kHexInt64, 0x80000000000000ULL},
  };
  WriterEvent e = SecurityEvent(1);
  e.event_data.clear();
  for (const TypeCase& c : cases) e.event_data.push_back({c.name, c.value});
  const auto file = WriteEvtx({e});
  FileReader reader;
  ASSERT_TRUE(reader.Open(file.data(), file.size()));
  RecordCursor cursor(reader, RecordOrder::kFileOrder);
  ASSERT_TRUE(cursor.Next());
  std::string xml;
  ASSERT_EQ(cursor.decoder().RenderXml(cursor.record(), &xml),
            DecodeStatus::kOk);
  EventTree tree;
  ASSERT_EQ(cursor.decoder().BuildTree(cursor.record(), &tree),
            DecodeStatus::kOk);
  const Element* event_data = nullptr;
  for (uint32_t c : tree.Root()->children) {
    if (tree.elements[c].name == "EventData") event_data = &tree.elements[c];
  }
  ASSERT_NE(event_data, nullptr);
  ASSERT_EQ(event_data->children.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const TypeCase& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_NE(xml.find(std::string("<Data Name='") + c.name + "'>" + c.text +
                       "</Data>"),
              std::string::npos);
    const Element& data = tree.elements[event_data->children[i]];
    ASSERT_EQ(data.attributes.size(), 1u);
    EXPECT_EQ(data.attributes[0].value.text, c.name);
    EXPECT_EQ(data.text.type, c.type);
    if (c.u != 0) {
      EXPECT_EQ(data.text.u, c.u);
    }
  }
  // Tree text is unescaped; reals keep their binary value.
  EXPECT_EQ(tree.elements[event_data->children[0]].text.text,
            "a&b<c>'d\"\xC3\xA9");
  EXPECT_DOUBLE_EQ(tree.elements[event_data->children[10]].text.d, 1.5);
  EXPECT_DOUBLE_EQ(tree.elements[event_data->children[11]].text.d, -0.25);
}

TEST(EvtxRoundTripTest, ArraysRepeatTheirElementAndEmptyArraysLeaveOne) {
  WriterEvent e = SecurityEvent(2);
  e.event_data = {
      {"Names", WriterValue::StringArray({"alpha", "", "g&mma"})},
      {"Ports", WriterValue::NumberArray(ValueType::kUInt32, {80, 443})},
      {"None", WriterValue::NumberArray(ValueType::kUInt16, {})}};
  const auto back = ReadFile(WriteEvtx({e}));
  ASSERT_EQ(back.status[0], DecodeStatus::kOk);
  EXPECT_NE(
      back.xml[0].find(
          "<EventData><Data Name='Names'>alpha</Data><Data Name='Names'></Data>"
          "<Data Name='Names'>g&amp;mma</Data><Data Name='Ports'>80</Data>"
          "<Data Name='Ports'>443</Data><Data Name='None'></Data></EventData>"),
      std::string::npos)
      << back.xml[0];
}

TEST(EvtxRoundTripTest, OptionalNullDropsTheElementNormalNullLeavesItEmpty) {
  WriterEvent e = SecurityEvent(3);
  e.event_data = {{"Kept", WriterValue::Null(), false},
                  {"Dropped", WriterValue::Null(), true},
                  {"Present", WriterValue::String("x"), true},
                  {"", WriterValue::String("classic")}};
  const auto back = ReadFile(WriteEvtx({e}));
  ASSERT_EQ(back.status[0], DecodeStatus::kOk);
  EXPECT_NE(
      back.xml[0].find(
          "<EventData><Data Name='Kept'></Data><Data Name='Present'>x</Data>"
          "<Data>classic</Data></EventData></Event>"),
      std::string::npos)
      << back.xml[0];
}

TEST(EvtxRoundTripTest, NestedBareBinXmlKeepsReferencesAndAttributes) {
  WriterEvent e = SecurityEvent(4);
  e.event_data.clear();
  WriterNode user{WriterNode::Kind::kElement, "UserData", "", 0, {}, {}};
  WriterNode custom{
      WriterNode::Kind::kElement,
      "Backup",
      "",
      0,
      {{"xmlns", "http://manifests.example/ev"}, {"Mode", "it's <full>"}},
      {}};
  custom.children = {
      {WriterNode::Kind::kText, "", "C:\\a&b", 0, {}, {}},
      {WriterNode::Kind::kCharRef, "", "", 0x41, {}, {}},
      {WriterNode::Kind::kEntityRef, "amp", "", 0, {}, {}},
      {WriterNode::Kind::kCData, "", "raw <x>", 0, {}, {}},
      {WriterNode::Kind::kElement, "Empty", "", 0, {}, {}},
  };
  user.children.push_back(custom);
  e.user_data = user;
  const auto file = WriteEvtx({e});
  const auto back = ReadFile(file);
  ASSERT_EQ(back.status[0], DecodeStatus::kOk);
  EXPECT_NE(
      back.xml[0].find(
          "</System><UserData><Backup xmlns='http://manifests.example/ev' "
          "Mode='it&apos;s &lt;full&gt;'>C:\\a&amp;b&#65;&amp;"
          "<![CDATA[raw <x>]]><Empty/></Backup></UserData></Event>"),
      std::string::npos)
      << back.xml[0];

  FileReader reader;
  ASSERT_TRUE(reader.Open(file.data(), file.size()));
  RecordCursor cursor(reader, RecordOrder::kFileOrder);
  ASSERT_TRUE(cursor.Next());
  EventTree tree;
  ASSERT_EQ(cursor.decoder().BuildTree(cursor.record(), &tree),
            DecodeStatus::kOk);
  const Element* backup = nullptr;
  for (const Element& el : tree.elements) {
    if (el.name == "Backup") backup = &el;
  }
  ASSERT_NE(backup, nullptr);
  EXPECT_EQ(backup->text.text, "C:\\a&bA&raw <x>");
  EXPECT_EQ(backup->text.type, ValueType::kString);
  ASSERT_EQ(backup->attributes.size(), 2u);
  EXPECT_EQ(backup->attributes[1].value.text, "it's <full>");
  ASSERT_EQ(backup->children.size(), 1u);
  EXPECT_EQ(tree.elements[backup->children[0]].name, "Empty");
}

TEST(EvtxRoundTripTest, TreeKeepsDocumentOrderAndTypedSystemValues) {
  const auto file = WriteEvtx({SecurityEvent(4624)});
  FileReader reader;
  ASSERT_TRUE(reader.Open(file.data(), file.size()));
  RecordCursor cursor(reader, RecordOrder::kFileOrder);
  ASSERT_TRUE(cursor.Next());
  EventTree tree;
  ASSERT_EQ(cursor.decoder().BuildTree(cursor.record(), &tree),
            DecodeStatus::kOk);
  ASSERT_GE(tree.elements.size(), 3u);
  EXPECT_EQ(tree.elements[0].name, "Event");
  EXPECT_EQ(tree.elements[1].name, "System");
  EXPECT_EQ(tree.elements[2].name, "Provider");
  for (uint32_t i = 0; i < tree.elements.size(); ++i) {
    for (uint32_t child : tree.elements[i].children) EXPECT_GT(child, i);
  }
  const Element* created = nullptr;
  const Element* event_id = nullptr;
  for (const Element& el : tree.elements) {
    if (el.name == "TimeCreated") created = &el;
    if (el.name == "EventID") event_id = &el;
  }
  ASSERT_NE(created, nullptr);
  ASSERT_EQ(created->attributes.size(), 1u);
  EXPECT_EQ(created->attributes[0].value.type, ValueType::kFileTime);
  EXPECT_EQ(created->attributes[0].value.u, kTime);
  ASSERT_NE(event_id, nullptr);
  EXPECT_EQ(event_id->text.type, ValueType::kUInt16);
  EXPECT_EQ(event_id->text.u, 4624u);
  EXPECT_TRUE(event_id->attributes.empty());  // null optional Qualifiers
}

TEST(EvtxRoundTripTest, ManyChunksReadBackInOrderWithTemplatesPerChunk) {
  std::vector<WriterEvent> events;
  for (int i = 0; i < 3000; ++i) {
    WriterEvent e = SecurityEvent(static_cast<uint16_t>(4600 + i % 50));
    e.computer = i % 3 == 0 ? "HOST-A" : "HOST-B";  // two System templates
    e.event_data.push_back(
        {"Index",
         WriterValue::Number(ValueType::kUInt32, static_cast<uint32_t>(i))});
    e.time_created = kTime + static_cast<uint64_t>(i) * 10000000ULL;
    events.push_back(e);
  }
  const auto file = WriteEvtx(events);
  ASSERT_GT(file.size(), 4096u + 3 * 65536u);
  const auto back = ReadFile(file);
  ASSERT_EQ(back.records.size(), events.size());
  EXPECT_EQ(back.stats.chunks_bad_data_checksum, 0u);
  EXPECT_EQ(back.stats.chunks_bad_header_checksum, 0u);
  EXPECT_FALSE(back.stats.header_bad_checksum);
  for (size_t i = 0; i < events.size(); ++i) {
    ASSERT_EQ(back.status[i], DecodeStatus::kOk) << i;
    EXPECT_EQ(back.records[i].record_id, i + 1);
    EXPECT_EQ(back.props[i].event_id, events[i].event_id);
    EXPECT_EQ(back.props[i].computer.ToUtf8(), events[i].computer);
    EXPECT_EQ(back.props[i].time_created, events[i].time_created);
    EXPECT_NE(
        back.xml[i].find("<Data Name='Index'>" + std::to_string(i) + "</Data>"),
        std::string::npos);
  }
}

// A Restart Manager session start as its event 10000 carries it: the
// rendered message reads "Starting session 0 - 2026-05-28T02:32:07.496501000Z."
// where the XML holds 2026-05-28T02:32:07.4965010Z. Logon ids (HexInt64)
// read "Logon ID: 0x2153A91CB" in a Windows 10 logon message.
constexpr uint64_t kRestartManagerStart = 134244091274965010ULL;

// Data items read without a tree (by the template's plan where it has one,
// else by the walk) are the texts TakeDataItems takes from the tree, for
// each shape of EventData the writer makes; several events share one
// template, so plans are reused across records with other values.
TEST(EvtxRoundTripTest, DataItemsMatchTheTreeForEveryShape) {
  using V = WriterValue;
  const std::vector<std::vector<WriterData>> shapes = {
      {},
      {{"A", V::String("one")}, {"B", V::Number(ValueType::kUInt32, 7)}},
      {{"A", V::String("two")}, {"B", V::Null()}},
      {{"", V::Sid("S-1-5-18")}, {"", V::Guid(testing::Guid(3))}},
      {{"A", V::String("kept")}, {"Gone", V::Null(), true},
       {"C", V::Number(ValueType::kHexInt64, 0x1F)}},
      {{"A", V::String("also")}, {"Here", V::String("x"), true},
       {"C", V::Number(ValueType::kHexInt64, 2)}},
      {{"List", V::StringArray({"p", "q", "r"})}, {"After", V::String("z")}},
      {{"Nums", V::NumberArray(ValueType::kUInt16, {1, 2})}},
      {{"Empty", V::StringArray({})}},
      {{"Start", V::Number(ValueType::kFileTime, kRestartManagerStart)},
       {"When", V::SysTime(2024, 3, 4, 5, 6, 7, 89)},
       {"TargetLogonId", V::Number(ValueType::kHexInt64, 0x2153a91cbULL)},
       {"Flags", V::Number(ValueType::kHexInt32, 0xbeef)}},
  };
  std::vector<WriterEvent> events;
  for (size_t round = 0; round < 2; ++round) {
    for (const auto& data : shapes) {
      WriterEvent e =
          SecurityEvent(static_cast<uint16_t>(4600 + events.size()));
      e.event_data = data;
      events.push_back(e);
    }
  }
  WriterEvent user = SecurityEvent(4700);
  WriterNode leaf;
  leaf.kind = WriterNode::Kind::kText;
  leaf.text = "leaf";
  WriterNode op;
  op.name = "Op";
  op.children.push_back(leaf);
  user.user_data = op;
  events.push_back(user);
  const auto file = WriteEvtx(events);
  FileReader reader;
  ASSERT_TRUE(reader.Open(file.data(), file.size()));
  RecordCursor cursor(reader, RecordOrder::kFileOrder);
  size_t records = 0, with_times = 0;
  std::vector<std::string> items;
  EventTree tree;
  while (cursor.Next()) {
    ++records;
    const DecodeStatus built =
        cursor.decoder().BuildTree(cursor.record(), &tree);
    ASSERT_EQ(cursor.decoder().ReadDataItems(cursor.record(), &items), built)
        << "record " << records;
    if (built != DecodeStatus::kOk) continue;  // no EventData: no root
    std::vector<std::string> taken;
    TakeDataItems(&tree, &taken);
    EXPECT_EQ(items, taken) << "record " << records;
    // Times as EvtFormatMessage writes them, the XML keeping seven digits.
    if (!items.empty() && items[0].find("2026-") == 0) {
      ++with_times;
      EXPECT_EQ(items, (std::vector<std::string>{
                           "2026-05-28T02:32:07.496501000Z",
                           "2024-03-04T05:06:07.089000000Z", "0x2153A91CB",
                           "0xBEEF"}));
      std::string xml;
      ASSERT_EQ(cursor.decoder().RenderXml(cursor.record(), &xml),
                DecodeStatus::kOk);
      EXPECT_NE(xml.find(">2026-05-28T02:32:07.4965010Z<"), std::string::npos);
      EXPECT_NE(xml.find(">0x2153a91cb<"), std::string::npos);
    }
  }
  EXPECT_EQ(records, events.size());
  EXPECT_EQ(with_times, 2u);
}

}  // namespace
}  // namespace evtx
