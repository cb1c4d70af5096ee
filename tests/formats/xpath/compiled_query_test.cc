// Tests for CompiledQuery: the query forms, path resolution, Select minus
// Suppress within a Query, the union of Queries, and the 15001 refusals.
#include "formats/xpath/compiled_query.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

#include "event_builder.h"

namespace xpath {
namespace {

using xpath_test::EventBuilder;
using xpath_test::Str;
using xpath_test::Ticks;

const SourcePath kNoDefault{};
const SourcePath kApplication{PathKind::kChannel, "Application"};

evtx::EventTree Event(uint16_t id, uint8_t level, uint64_t ticks = 0) {
  EventBuilder b;
  b.System(id, level, 0x8020000000000000, ticks, "Provider");
  return b.tree();
}

TEST(CompiledQueryTest, QueriesTheToolBuilds) {
  const uint64_t s = Ticks(2022, 8, 9, 17, 28, 57);
  const CompiledQuery since(
      "<QueryList><Query Path='Application'><Select>Event/System[TimeCreated["
      "@SystemTime >= '2022-08-09T17:28:57.000000000Z']]</Select></Query></QueryList>",
      kNoDefault);
  ASSERT_TRUE(since.ok()) << since.error();
  EXPECT_TRUE(since.structured());
  EXPECT_TRUE(since.system_only());
  ASSERT_EQ(since.sources().size(), 1u);
  EXPECT_EQ(since.sources()[0].name, "Application");
  EXPECT_EQ(since.sources()[0].kind, PathKind::kChannel);
  EXPECT_TRUE(since.Matches(0, Event(1, 4, s), 0));
  EXPECT_FALSE(since.Matches(0, Event(1, 4, s - 1), 0));

  const CompiledQuery logons(
      "<QueryList><Query Path='Security'><Select>Event/System[EventID=4624 and "
      "TimeCreated[@SystemTime >= '2022-08-09T17:28:57.0000000Z']]</Select></Query>"
      "</QueryList>",
      kNoDefault);
  ASSERT_TRUE(logons.ok()) << logons.error();
  EXPECT_TRUE(logons.Matches(0, Event(4624, 0, s + 1), 0));
  EXPECT_FALSE(logons.Matches(0, Event(4625, 0, s + 1), 0));

  const CompiledQuery levels(
      "<QueryList><Query Path='Application'><Select>Event/System[((Level=3) or "
      "(Level=2) or (Level=1)) and TimeCreated[@SystemTime &gt;= "
      "'2022-08-09T17:28:57.000Z']]</Select></Query></QueryList>",
      kNoDefault);
  ASSERT_TRUE(levels.ok()) << levels.error();
  EXPECT_TRUE(levels.Matches(0, Event(1, 2, s), 0));
  EXPECT_FALSE(levels.Matches(0, Event(1, 4, s), 0));

  const CompiledQuery all("<QueryList><Query Path='X'><Select>*</Select></Query></QueryList>",
                          kNoDefault);
  ASSERT_TRUE(all.ok()) << all.error();
  EXPECT_TRUE(all.Matches(0, Event(1, 4), 0));
  EXPECT_EQ(all.queries()[0].items[0].xpath, "*");
}

TEST(CompiledQueryTest, BareXPathAndStarUseTheDefaultPath) {
  const SourcePath file{PathKind::kFile, "C:\\logs\\Security.evtx"};
  for (const char* text : {"", "*", "  *  ", "*[System/Level=4]"}) {
    const CompiledQuery q(text, file);
    ASSERT_TRUE(q.ok()) << text << ": " << q.error();
    EXPECT_FALSE(q.structured());
    ASSERT_EQ(q.queries().size(), 1u);
    EXPECT_FALSE(q.queries()[0].id.has_value());
    ASSERT_EQ(q.queries()[0].items.size(), 1u);
    EXPECT_EQ(q.queries()[0].items[0].path.kind, PathKind::kFile);
    EXPECT_EQ(q.queries()[0].items[0].path.name, "C:\\logs\\Security.evtx");
    EXPECT_TRUE(q.Matches(0, Event(1, 4), 0));
  }
  EXPECT_FALSE(CompiledQuery("*[System/Level=4]", file).Matches(0, Event(1, 3), 0));
  // Entities belong to XML; a bare XPath must use raw '<'.
  EXPECT_TRUE(CompiledQuery("*[System[Level < 3]]", kApplication).ok());
  EXPECT_EQ(CompiledQuery("*[System[Level &lt; 3]]", kApplication).error_code(),
            kErrorEvtInvalidQuery);
  EXPECT_EQ(CompiledQuery("*[System/Level=4]", kNoDefault).error_code(),
            kErrorEvtInvalidQuery);
}

TEST(CompiledQueryTest, ResolvesPathsPerItem) {
  const CompiledQuery q(
      "<QueryList>"
      "<Query Id='0' Path='Application'>"
      "<Select>*[System/Level=1]</Select>"
      "<Select Path='file://C:/logs/old.evtx'>*[System/Level=2]</Select>"
      "<Select Path=\"FILE://c:\\users\\x\\security.evtx\">*</Select>"
      "</Query>"
      "<Query Id='7'><Select>*</Select><Select Path='APPLICATION'>*</Select></Query>"
      "</QueryList>",
      SourcePath{PathKind::kChannel, "System"});
  ASSERT_TRUE(q.ok()) << q.error();
  ASSERT_EQ(q.queries().size(), 2u);
  EXPECT_EQ(q.queries()[0].id, 0);
  EXPECT_EQ(q.queries()[1].id, 7);
  const auto& items = q.queries()[0].items;
  EXPECT_EQ(items[0].path.name, "Application");
  EXPECT_EQ(items[1].path.kind, PathKind::kFile);
  EXPECT_EQ(items[1].path.name, "C:/logs/old.evtx");
  EXPECT_EQ(items[2].path.kind, PathKind::kFile);
  EXPECT_EQ(items[2].path.name, "c:\\users\\x\\security.evtx");
  EXPECT_EQ(q.queries()[1].items[0].path.name, "System");
  // Channel names are case-insensitive: APPLICATION is the same source.
  ASSERT_EQ(q.sources().size(), 4u);
  EXPECT_EQ(q.queries()[1].items[1].source, items[0].source);
  EXPECT_EQ(q.sources()[q.queries()[1].items[0].source].name, "System");
}

TEST(CompiledQueryTest, SuppressRemovesFromItsOwnPathOnly) {
  const CompiledQuery q(
      "<QueryList><Query Id='0' Path='Security'>"
      "<Select>*[System[EventID=4624 or EventID=4625]]</Select>"
      "<Select Path='System'>*</Select>"
      "<Suppress>*[System[EventID=4625]]</Suppress>"
      "</Query></QueryList>",
      kNoDefault);
  ASSERT_TRUE(q.ok()) << q.error();
  ASSERT_EQ(q.sources().size(), 2u);
  const size_t security = q.queries()[0].items[0].source;
  const size_t system = q.queries()[0].items[1].source;
  EXPECT_TRUE(q.Matches(security, Event(4624, 0), 0));
  EXPECT_FALSE(q.Matches(security, Event(4625, 0), 0));
  EXPECT_FALSE(q.Matches(security, Event(4634, 0), 0));
  EXPECT_TRUE(q.Matches(system, Event(4625, 0), 0));
}

// Which sources a query takes whole, so that no event of them is tested.
TEST(CompiledQueryTest, SelectsEveryEventOnlyForAStarNothingSuppresses) {
  const SourcePath security{PathKind::kChannel, "Security"};
  const struct {
    const char* text;
    bool expected;
  } cases[] = {
      {"*", true},
      {"", true},
      {"Event", false},
      {"*[System]", false},
      {"*[System[EventID=1]] or *", false},
      {"<QueryList><Query><Select>*</Select><Suppress>*[System[Level=2]]"
       "</Suppress></Query></QueryList>",
       false},
      {"<QueryList><Query><Select>*[System[Level=2]]</Select></Query>"
       "<Query><Select>*</Select></Query></QueryList>",
       true},
      {"<QueryList><Query><Select>*</Select>"
       "<Suppress Path='System'>*</Suppress></Query></QueryList>",
       true},
  };
  for (const auto& c : cases) {
    const CompiledQuery q(c.text, security);
    ASSERT_TRUE(q.ok()) << c.text << ": " << q.error();
    EXPECT_EQ(q.SelectsEveryEvent(0), c.expected) << c.text;
    // What it promises: every event is selected.
    if (c.expected) {
      EXPECT_TRUE(q.Matches(0, Event(4625, 2), 0)) << c.text;
    }
  }
}

// The event ids a query confines a source to, so that records of other ids
// need no tree; nullopt where it confines none.
TEST(CompiledQueryTest, RequiredEventIdsAreNecessaryForAMatch) {
  const SourcePath security{PathKind::kChannel, "Security"};
  using Ids = std::optional<std::vector<uint16_t>>;
  const struct {
    const char* text;
    Ids expected;
  } cases[] = {
      {"*", std::nullopt},
      {"*[System[EventID=4624]]", Ids{{4624}}},
      {"*[System[(EventID=5 or EventID=1 or EventID=5)]]", Ids{{1, 5}}},
      {"*[System[EventID=1 or Level=2]]", std::nullopt},
      {"*[System[Level=2 and EventID=3]]", Ids{{3}}},
      {"*[System[EventID=1] and System[Level=2]]", Ids{{1}}},
      {"*[System[EventID=1 and EventID=2]]", Ids(std::vector<uint16_t>{})},
      {"*[System[EventID=1]] or *[System[EventID=7]]", Ids{{1, 7}}},
      {"*[System[EventID=1]] or *", std::nullopt},
      {"*[System/EventID=7]", Ids{{7}}},
      {"Event/System[EventID=9]", Ids{{9}}},
      {"*[System[Provider[@Name='P'] and EventID=3][1]]", Ids{{3}}},
      // Comparisons other than = with a whole number are left to the tree.
      {"*[System[EventID>1]]", std::nullopt},
      {"*[System[EventID!=1]]", std::nullopt},
      {"*[System[EventID='4624']]", std::nullopt},
      {"*[System[EventID=4624.5]]", std::nullopt},
      {"*[System[EventID=70000]]", std::nullopt},
      {"*[System[Task=1]]", std::nullopt},
      {"*[EventData[Data=1]]", std::nullopt},
      {"*[EventData[EventID=1]]", std::nullopt},
      {"*[System[*[EventID=1]]]", std::nullopt},
      // Every Select of the path counts; a Suppress only takes away.
      {"<QueryList><Query><Select>*[System[EventID=2]]</Select>"
       "<Select>*[System[EventID=4]]</Select>"
       "<Suppress>*[System[EventID=2]]</Suppress></Query></QueryList>",
       Ids{{2, 4}}},
      {"<QueryList><Query><Select>*[System[EventID=2]]</Select></Query>"
       "<Query><Select>*[System[Level=1]]</Select></Query></QueryList>",
       std::nullopt},
      {"<QueryList><Query><Select>*[System[EventID=2]]</Select>"
       "<Select Path='System'>*</Select></Query></QueryList>",
       Ids{{2}}},
  };
  for (const auto& c : cases) {
    const CompiledQuery q(c.text, security);
    ASSERT_TRUE(q.ok()) << c.text << ": " << q.error();
    const Ids ids = q.RequiredEventIds(0);
    EXPECT_EQ(ids, c.expected) << c.text;
    if (!ids) continue;
    // What it promises: no event of another id is selected.
    for (const uint16_t id : {1, 2, 3, 4, 5, 7, 9, 4624, 65535}) {
      if (std::find(ids->begin(), ids->end(), id) != ids->end()) continue;
      for (const uint8_t level : {1, 2}) {
        EXPECT_FALSE(q.Matches(0, Event(id, level), 0)) << c.text << " " << id;
      }
    }
  }
}

TEST(CompiledQueryTest, QueriesUnite) {
  const CompiledQuery q(
      "<QueryList>"
      "<Query Id='1' Path='Security'><Select>*[System[EventID=1]]</Select></Query>"
      "<Query Id='2' Path='Security'><Select>*[System[EventID=2]]</Select>"
      "<Suppress>*[System[Level=4]]</Suppress></Query>"
      "</QueryList>",
      kNoDefault);
  ASSERT_TRUE(q.ok()) << q.error();
  EXPECT_TRUE(q.Matches(0, Event(1, 4), 0));
  EXPECT_TRUE(q.Matches(0, Event(2, 3), 0));
  EXPECT_FALSE(q.Matches(0, Event(2, 4), 0));  // Query 2 suppresses it
  EXPECT_FALSE(q.Matches(0, Event(3, 3), 0));
  EXPECT_TRUE(q.QueryMatches(0, 0, Event(1, 4), 0));
  EXPECT_FALSE(q.QueryMatches(1, 0, Event(1, 4), 0));
}

TEST(CompiledQueryTest, UserQueriesWithEntitiesAndWhitespace) {
  const CompiledQuery q(
      "<?xml version='1.0'?>\n<QueryList xmlns='http://schemas.microsoft.com/win/"
      "2004/08/events/eventquery'>\n  <Query Id=\"0\" Path=\"Security\">\n"
      "    <!-- logons -->\n    <Select Path=\"Security\">\n"
      "      *[EventData[Data[@Name='TargetUserName']='jdoe']]\n    </Select>\n"
      "    <Select>*[System[EventID &lt;= 10]]</Select>\n"
      "    <Select><![CDATA[*[System[EventID < 2]]]]></Select>\n"
      "  </Query>\n</QueryList>\n",
      kNoDefault);
  ASSERT_TRUE(q.ok()) << q.error();
  EXPECT_FALSE(q.system_only());
  EXPECT_EQ(q.queries()[0].items[0].xpath,
            "*[EventData[Data[@Name='TargetUserName']='jdoe']]");
  EXPECT_EQ(q.queries()[0].items[1].xpath, "*[System[EventID <= 10]]");
  EventBuilder b;
  b.System(4624, 0, 0, 0, "p");
  const uint32_t data = b.Add(0, "EventData");
  const uint32_t user = b.Add(data, "Data", Str("JDoe"));
  b.Attr(user, "Name", Str("TargetUserName"));
  EXPECT_TRUE(q.Matches(0, b.tree(), 0));
  EXPECT_TRUE(q.Matches(0, Event(10, 0), 0));
  EXPECT_FALSE(q.Matches(0, Event(11, 0), 0));
}

TEST(CompiledQueryTest, RefusesWithInvalidQuery) {
  const char* const kBad[] = {
      // Malformed XML.
      "<QueryList><Query Path='Security'><Select>*</Select></Query>",
      "<QueryList><Query Path='Windows PowerShell's'><Select>*</Select></Query></QueryList>",
      "<QueryList><Query Path='Security'><Select>*[System[EventID < 5]]</Select>"
      "</Query></QueryList>",
      "<QueryList><Query Path='Security'><Select>*[System[EventID &lt 5]]</Select>"
      "</Query></QueryList>",
      // Outside the schema.
      "<Query Path='Security'><Select>*</Select></Query>",
      "<QueryList/>",
      "<QueryList><Query Path='Security'/></QueryList>",
      "<QueryList><Query Path='Security'><Suppress>*</Suppress></Query></QueryList>",
      "<QueryList><Query Path='Security'><Select>*</Select><Filter/></Query></QueryList>",
      "<QueryList><Query Path='Security' Bogus='1'><Select>*</Select></Query></QueryList>",
      "<QueryList><Query Id='x' Path='Security'><Select>*</Select></Query></QueryList>",
      "<QueryList><Query Path=''><Select>*</Select></Query></QueryList>",
      "<QueryList><Query Path='file://'><Select>*</Select></Query></QueryList>",
      "<QueryList><Query Path='Security' Target='Container1'><Select>*</Select></Query>"
      "</QueryList>",
      "<QueryList><Query Path='Security'><Select><b/></Select></Query></QueryList>",
      "<QueryList><Query Path='Security'><Select></Select></Query></QueryList>",
      "<QueryList>text<Query Path='Security'><Select>*</Select></Query></QueryList>",
      // No path anywhere.
      "<QueryList><Query><Select>*</Select></Query></QueryList>",
      // XPath outside the subset, in a Select and in a Suppress.
      "<QueryList><Query Path='Security'><Select>*[not(System/Level=4)]</Select></Query>"
      "</QueryList>",
      "<QueryList><Query Path='Security'><Select>//Event</Select></Query></QueryList>",
      "<QueryList><Query Path='Security'><Select>*</Select><Suppress>*[last()]</Suppress>"
      "</Query></QueryList>",
  };
  for (const char* text : kBad) {
    const CompiledQuery q(text, kNoDefault);
    EXPECT_FALSE(q.ok()) << text;
    EXPECT_EQ(q.error_code(), kErrorEvtInvalidQuery) << text;
    EXPECT_FALSE(q.error().empty()) << text;
    EXPECT_TRUE(q.queries().empty()) << text;
    EXPECT_FALSE(q.Matches(0, Event(1, 4), 0)) << text;
  }
  EXPECT_EQ(CompiledQuery(std::string(kMaxQueryTextBytes + 1, ' '), kApplication).error_code(),
            kErrorEvtInvalidQuery);
}

// A refusal says where in the text it was made: at the token that stopped
// the XPath, counted through the references, CDATA sections and comments
// before it, or at the element that is wrong.
TEST(CompiledQueryTest, RefusalsPointAtTheirPlaceInTheText) {
  const struct {
    std::string text;
    std::string at;  // the text from the place on
    SourcePath path = kNoDefault;
  } cases[] = {
      {"<QueryList><Query Path='S'><Select>*[System[Level&lt;3 and EventID=]]"
       "</Select></Query></QueryList>",
       "]]</Select>"},
      {"<QueryList><Query Path='S'><Select> <!-- a > b -->*[System[Level&lt;3 "
       "and EventID=]]</Select></Query></QueryList>",
       "]]</Select>"},
      {"<QueryList><Query Path='S'><Select><![CDATA[*[System[Level<3 and "
       "EventID=]]]]></Select></Query></QueryList>",
       "]]]]>"},
      {"<QueryList><Query Path='S'><Select>*[EventData[Data='&#x20AC;&amp;' "
       "OR Data='x']]</Select></Query></QueryList>",
       "OR Data"},
      {"<QueryList><Query Path='S' Bogus='1'><Select>*</Select></Query>"
       "</QueryList>",
       "<Query Path"},
      {"<QueryList><Query Path='S'><Select>*</Select><Select/></Query>"
       "</QueryList>",
       "<Select/>"},
      {"  *[System[Level=]] ", "]] ", kApplication},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const CompiledQuery q(c.text, c.path);
    ASSERT_FALSE(q.ok());
    EXPECT_EQ(q.error_offset(), c.text.find(c.at)) << q.error();
  }
}

TEST(CompiledQueryTest, TargetHostIsTheDefault) {
  const CompiledQuery q(
      "<QueryList><Query Path='Security' Target='host'><Select>*</Select></Query></QueryList>",
      kNoDefault);
  EXPECT_TRUE(q.ok()) << q.error();
}

}  // namespace
}  // namespace xpath

namespace xpath {
namespace {

// Damaged query texts: every mutation must compile or fail with 15001 and a
// reason, never crash, and a compiled one must evaluate.
TEST(CompiledQueryTest, MutatedQueriesCompileOrFailCleanly) {
  const std::string kSeeds[] = {
      "<QueryList><Query Id='0' Path='Security'><Select>*[System[Provider[@Name="
      "'X'] and (EventID=4624 or EventID&lt;=4625)]]</Select><Suppress>*[EventData["
      "Data[@Name='a']='b']]</Suppress></Query></QueryList>",
      "*[System[band(Keywords,0x10) and TimeCreated[timediff(@SystemTime, "
      "'2024-01-01T00:00:00Z') >= 5]]]/System/EventID[2]",
  };
  const char kAlphabet[] = "<>/='\"&;[]()@*! \nabcQLSEx0129-.:#";
  std::mt19937 rng(7);
  const evtx::EventTree event = Event(4624, 0, 1);
  size_t compiled = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text = kSeeds[i % 2];
    const int edits = 1 + static_cast<int>(rng() % 3);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % (text.size() + 1);
      const char c = kAlphabet[rng() % (sizeof kAlphabet - 1)];
      switch (rng() % 3) {
        case 0: text.insert(at, 1, c); break;
        case 1: if (at < text.size()) text.erase(at, 1); break;
        default: if (at < text.size()) text[at] = c; break;
      }
    }
    const CompiledQuery q(text, kApplication);
    if (q.ok()) {
      ++compiled;
      ASSERT_FALSE(q.queries().empty()) << text;
      for (size_t s = 0; s < q.sources().size(); ++s) q.Matches(s, event, 0);
    } else {
      ASSERT_EQ(q.error_code(), kErrorEvtInvalidQuery) << text;
      ASSERT_FALSE(q.error().empty()) << text;
    }
  }
  // Some mutations (inside names and literals) leave valid queries.
  EXPECT_GT(compiled, 100u);
  EXPECT_LT(compiled, 19000u);
}

}  // namespace
}  // namespace xpath
