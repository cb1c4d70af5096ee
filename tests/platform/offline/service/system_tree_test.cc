// The System tree built from system properties against the reader's full
// tree: equal for every layout the writer makes, and over the corpus equal
// for every record whose template was found equal on its first record in the
// chunk (the rule the record stream relies on); where the two differ, only
// in layout (elements or attributes the template has or lacks, or values
// stored as text), never in the text or binary value of a property.
#include "platform/offline/service/system_tree.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/file_reader.h"
#include "platform/offline/service/record_stream.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/platform/offline/service/service_fixtures.h"

namespace qrv::offline {
namespace {

using testing::CorpusEvtxFiles;
using testing::FixtureEvent;

const evtx::Element* FindSystem(const evtx::EventTree& tree) {
  for (uint32_t c : tree.Root()->children) {
    if (tree.elements[c].name == "System") return &tree.elements[c];
  }
  return nullptr;
}

// Failure text when an element present in both trees with the same value
// type has a different text or binary value (the fast path must never get a
// value wrong, whatever the layout).
std::string ValueDisagreement(const evtx::EventTree& fast,
                              const evtx::EventTree& full) {
  const evtx::Element* a = FindSystem(fast);
  const evtx::Element* b = FindSystem(full);
  if (a == nullptr || b == nullptr) return "";
  std::map<std::string, const evtx::Value*> values;
  for (uint32_t c : a->children) {
    const evtx::Element& e = fast.elements[c];
    values[e.name] = &e.text;
    for (const auto& attr : e.attributes)
      values[e.name + "@" + attr.name] = &attr.value;
  }
  const auto check = [&](const std::string& key,
                         const evtx::Value& v) -> std::string {
    auto it = values.find(key);
    if (it == values.end() || it->second->type != v.type) return "";
    if (it->second->text != v.text || it->second->u != v.u)
      return key + ": fast '" + it->second->text + "' full '" + v.text + "'";
    return "";
  };
  for (uint32_t c : b->children) {
    const evtx::Element& e = full.elements[c];
    std::string bad = check(e.name, e.text);
    for (const auto& attr : e.attributes) {
      if (bad.empty()) bad = check(e.name + "@" + attr.name, attr.value);
    }
    if (!bad.empty()) return bad;
  }
  return "";
}

struct Comparison {
  uint64_t records = 0;
  uint64_t exact = 0;         // fast tree equal to the full one
  uint64_t judged_exact = 0;  // records whose template check said equal
  uint8_t layouts = 0;        // SystemLayout bits seen
  std::vector<std::string> faults;
};

// Walks every record the way RecordStream does, with its per-chunk check.
void Compare(const uint8_t* data, size_t size, const std::string& name,
             Comparison* out) {
  evtx::FileReader file;
  if (!file.Open(data, size)) return;
  evtx::ChunkDecoder decoder;
  evtx::ReaderStats stats;
  evtx::RecordRef record;
  evtx::SystemProperties props;
  evtx::EventTree full;
  SystemTreeBuilder builder;
  for (uint32_t index : file.ChunkOrder(evtx::RecordOrder::kOldestFirst)) {
    const evtx::ChunkInfo& chunk = file.chunks()[index];
    if (!decoder.Load(file.ChunkData(chunk), chunk.size, &stats)) continue;
    std::map<std::pair<uint32_t, uint32_t>, bool> verdicts;
    while (decoder.NextRecord(&record)) {
      if (decoder.ReadSystem(record, &props) != evtx::DecodeStatus::kOk ||
          decoder.BuildTree(record, &full) != evtx::DecodeStatus::kOk)
        continue;
      ++out->records;
      out->layouts |= props.layout;
      const evtx::EventTree& fast = builder.Build(props);
      const bool same = SameSystemPart(fast, full);
      out->exact += same;
      uint32_t definition = 0;
      if (evtx::RecordTemplateOffset(file.ChunkData(chunk), chunk.size, record,
                               &definition)) {
        auto [it, first] =
            verdicts.try_emplace({definition, props.present}, same);
        if (it->second) {
          ++out->judged_exact;
          if (!same)
            out->faults.push_back(name + " record " +
                                  std::to_string(record.record_id) +
                                  ": template judged equal, record differs");
        }
      }
      const std::string bad = ValueDisagreement(fast, full);
      if (!bad.empty())
        out->faults.push_back(name + " record " +
                              std::to_string(record.record_id) + ": " + bad);
    }
  }
}

TEST(SystemTreeTest, EqualsTheFullTreeForEveryWriterLayout) {
  std::vector<evtx::WriterEvent> events;
  for (uint64_t i = 1; i <= 40; ++i) {
    evtx::WriterEvent e = FixtureEvent(i, static_cast<uint16_t>(i * 1000),
                                       static_cast<uint32_t>(i),
                                       static_cast<uint8_t>(i % 6), i << 40);
    if (i % 2) e.qualifiers = static_cast<uint16_t>(i);
    if (i % 3 == 0) e.provider_guid.reset();
    if (i % 4 == 0) e.user_sid.clear();
    if (i % 5 == 0) e.activity_id = evtx::GuidBytes{{1, 2, 3}};
    if (i % 7 == 0) e.related_activity_id = evtx::GuidBytes{{9, 8, 7}};
    e.version = static_cast<uint8_t>(i % 3);
    e.opcode = static_cast<uint8_t>(i % 4);
    e.computer = "PC\xC3\xA9-" + std::to_string(i);  // non-ASCII name
    events.push_back(e);
  }
  for (uint32_t rotation : {0u, 5u}) {
    for (bool computer_subst : {false, true}) {
      evtx::WriterOptions options;
      options.system_index_rotation = rotation;
      options.computer_as_substitution = computer_subst;
      const std::vector<uint8_t> bytes = evtx::WriteEvtx(events, options);
      Comparison c;
      Compare(bytes.data(), bytes.size(), "writer", &c);
      EXPECT_EQ(c.records, events.size());
      EXPECT_EQ(c.exact, c.records) << "rotation " << rotation;
      EXPECT_TRUE(c.faults.empty()) << c.faults.front();
    }
  }
}

TEST(SystemTreeTest, BuilderReusesItsTreeAcrossLayouts) {
  // A record with every attribute, then one with none, then the first
  // again: the second build must not keep attributes of the first.
  evtx::WriterEvent rich = FixtureEvent(1, 4624, 1);
  rich.qualifiers = 7;
  rich.activity_id = evtx::GuidBytes{{4}};
  evtx::WriterEvent plain = FixtureEvent(2, 4625, 2);
  plain.provider_guid.reset();
  plain.user_sid.clear();
  const std::vector<uint8_t> bytes = evtx::WriteEvtx({rich, plain, rich});
  Comparison c;
  Compare(bytes.data(), bytes.size(), "writer", &c);
  EXPECT_EQ(c.records, 3u);
  EXPECT_EQ(c.exact, 3u);
}

// Real templates that depart from the manifest layout: classic sources with
// a Guid written as text and an EventSourceName, the log-cleared event's
// text Guid, and classic events with neither Correlation nor Execution. The
// tree from properties must equal the full tree for every record.
TEST(SystemTreeTest, CorpusClassicLayoutsAreRebuiltExactly) {
  const std::filesystem::path root = testing::CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  const std::filesystem::path attack = root / "EVTX-to-MITRE-Attack";
  const struct {
    std::filesystem::path file;
    uint8_t layout;
  } cases[] = {
      {attack / "TA0003-Persistence" /
           "T1543.003-Create or Modify System Process-Windows Service" /
           "ID7045-7036 PSexec service installation.evtx",
       evtx::kLayoutGuidText | evtx::kLayoutEventSourceName},
      {attack / "TA0005-Defense Evasion" /
           "T1070.001-Clear Windows event logs" /
           "ID104-1102-Event log cleared.evtx",
       evtx::kLayoutGuidText},
      {attack / "TA0001-Initial access" / "T1078-Valid accounts" /
           "ID33205-SQL Server failed login with disabled SA account.evtx",
       evtx::kLayoutNoCorrelation | evtx::kLayoutNoExecution},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = testing::ReadFileBytes(c.file);
    Comparison got;
    Compare(bytes.data(), bytes.size(), c.file.filename().string(), &got);
    EXPECT_GT(got.records, 0u) << c.file;
    EXPECT_EQ(got.layouts & c.layout, c.layout) << c.file;
    EXPECT_EQ(got.exact, got.records) << c.file;
    EXPECT_TRUE(got.faults.empty()) << got.faults.front();
  }
}

TEST(SystemTreeTest, CorpusTemplatesJudgedEqualStayEqual) {
  const std::vector<std::filesystem::path> files = CorpusEvtxFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  Comparison total;
  for (const auto& path : files) {
    const std::vector<uint8_t> bytes = testing::ReadFileBytes(path);
    Compare(bytes.data(), bytes.size(), path.filename().string(), &total);
  }
  for (size_t i = 0; i < total.faults.size() && i < 20; ++i)
    ADD_FAILURE() << total.faults[i];
  EXPECT_TRUE(total.faults.empty()) << total.faults.size() << " faults";
  // Most real records use the manifest layout the fast tree reproduces.
  EXPECT_GT(total.judged_exact, total.records / 2);
  std::cout << "records " << total.records << ", fast tree equal "
            << total.exact << ", in templates judged equal "
            << total.judged_exact << "\n";
}

}  // namespace
}  // namespace qrv::offline

namespace qrv::offline {
namespace {

TEST(SystemTreeTest, NumberTextsLeftOutOnlyForQueriesThatReadNoText) {
  const xpath::SourcePath path{xpath::PathKind::kChannel, "S"};
  const auto reads_text = [&](const char* xpath) {
    xpath::CompiledQuery q(xpath, path);
    EXPECT_TRUE(q.ok()) << xpath;
    return QueryReadsValueText(q);
  };
  EXPECT_FALSE(reads_text("*[System[EventID=4624]]"));
  EXPECT_FALSE(
      reads_text("*[System[(Level=1 or Level=2) and "
                 "band(Keywords,4503599627370496)]]"));
  EXPECT_FALSE(reads_text(
      "*[System[TimeCreated[@SystemTime>='2024-01-01T00:00:00.000Z']]]"));
  EXPECT_FALSE(
      reads_text("*[System[TimeCreated[timediff(@SystemTime) <= 86400000]]]"));
  EXPECT_TRUE(reads_text("*[System[EventID='4624']]"));
  EXPECT_TRUE(
      reads_text("*[System[Provider[@Name='Service Control Manager']]]"));
  EXPECT_TRUE(reads_text(
      "*[System[Provider[@Guid='{54849625-5478-4994-a5ba-3e3b0328c30d}']]]"));
  EXPECT_TRUE(reads_text("*[System[Security[@UserID='S-1-5-18']]]"));
}

// The same properties under another layout must not keep the last tree's
// shape.
TEST(SystemTreeTest, BuilderFollowsTheLayoutBits) {
  evtx::SystemProperties manifest;
  manifest.Set(evtx::SystemProperty::kEventId);
  evtx::SystemProperties classic = manifest;
  classic.layout = evtx::kLayoutEventSourceName | evtx::kLayoutNoCorrelation |
                   evtx::kLayoutNoExecution;
  const uint8_t name[] = {'S', 0};
  classic.event_source_name = {name, 1};
  const auto shape = [](const evtx::EventTree& tree) {
    std::string out;
    for (const evtx::Element& e : tree.elements) {
      out += " " + e.name;
      for (const evtx::Attribute& a : e.attributes)
        out += "@" + a.name + "=" + a.value.text;
    }
    return out;
  };
  const std::string head = " Event@xmlns=" + std::string(
      "http://schemas.microsoft.com/win/2004/08/events/event") + " System";
  SystemTreeBuilder builder;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(shape(builder.Build(i == 1 ? classic : manifest)),
              head + (i == 1 ? " Provider@EventSourceName=S EventID "
                               "TimeCreated Security"
                             : " Provider EventID TimeCreated Correlation "
                               "Execution Security"))
        << i;
  }
}

TEST(SystemTreeTest, TreeWithoutNumberTextsKeepsTypesAndValues) {
  evtx::WriterEvent e = testing::FixtureEvent(77, 4624, 9, 4);
  e.qualifiers = 3;
  const std::vector<uint8_t> bytes = evtx::WriteEvtx({e, e});
  evtx::FileReader file;
  ASSERT_TRUE(file.Open(bytes.data(), bytes.size()));
  evtx::RecordCursor cursor(file, evtx::RecordOrder::kOldestFirst);
  SystemTreeBuilder full;
  SystemTreeBuilder lean(false);
  evtx::SystemProperties props;
  while (cursor.Next()) {
    ASSERT_EQ(cursor.decoder().ReadSystem(cursor.record(), &props),
              evtx::DecodeStatus::kOk);
    const evtx::EventTree& a = full.Build(props);
    const evtx::EventTree& b = lean.Build(props);
    ASSERT_EQ(a.elements.size(), b.elements.size());
    for (size_t i = 0; i < a.elements.size(); ++i) {
      const evtx::Element& x = a.elements[i];
      const evtx::Element& y = b.elements[i];
      EXPECT_EQ(x.name, y.name);
      EXPECT_EQ(x.children, y.children);
      EXPECT_EQ(x.text.type, y.text.type);
      EXPECT_EQ(x.text.u, y.text.u);
      const bool textual = x.text.type == evtx::ValueType::kString ||
                           x.text.type == evtx::ValueType::kNull;
      EXPECT_EQ(textual ? x.text.text : "", y.text.text) << x.name;
      ASSERT_EQ(x.attributes.size(), y.attributes.size());
      for (size_t k = 0; k < x.attributes.size(); ++k) {
        EXPECT_EQ(x.attributes[k].name, y.attributes[k].name);
        EXPECT_EQ(x.attributes[k].value.type, y.attributes[k].value.type);
        EXPECT_EQ(x.attributes[k].value.u, y.attributes[k].value.u);
      }
    }
  }
}

}  // namespace
}  // namespace qrv::offline
