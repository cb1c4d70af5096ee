// Checks that evaluating compiled queries does not allocate: the offline
// query path runs Matches() once per record. Global operator new is replaced
// in this test program to count allocations.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "event_builder.h"
#include "formats/xpath/compiled_query.h"

namespace {
std::atomic<size_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace xpath {
namespace {

using evtx::ValueType;
using xpath_test::EventBuilder;
using xpath_test::Str;
using xpath_test::Ticks;

TEST(EvaluationAllocationTest, MatchesDoesNotAllocate) {
  EventBuilder b;
  b.System(4624, 0, 0x8020000000000000, Ticks(2024, 5, 1, 12, 0, 0),
           "Microsoft-Windows-Security-Auditing");
  const uint32_t data = b.Add(0, "EventData");
  const uint32_t user = b.Add(data, "Data", Str("a-rather-long-user-name-beyond-sso"));
  b.Attr(user, "Name", Str("TargetUserName"));
  const CompiledQuery q(
      "<QueryList><Query Id='0' Path='Security'>"
      "<Select>Event/System[EventID=4624 and TimeCreated[@SystemTime >= "
      "'2024-01-01T00:00:00.000000000Z']]</Select>"
      "<Select>Event/System[((Level=0 and band(Keywords,9007199254740992)) or "
      "(Level=0 and band(Keywords,4503599627370496)))]</Select>"
      "<Select>*[System[Provider[@Name='microsoft-windows-security-auditing'] and "
      "TimeCreated[timediff(@SystemTime) &lt;= 86400000]]]</Select>"
      "<Select>*[EventData[Data[@Name='TargetUserName']='A-RATHER-LONG-USER-NAME-BEYOND-SSO']]"
      "</Select>"
      "<Select>*[EventData/Data[1]]</Select>"
      "<Suppress>*[System/Security[@UserID='S-1-5-18']]</Suppress>"
      "<Suppress>*[System/Provider[@Guid='{54849625-5478-4994-a5ba-3e3b0328c30d}']]</Suppress>"
      "</Query></QueryList>",
      SourcePath{});
  ASSERT_TRUE(q.ok()) << q.error();
  const evtx::EventTree& tree = b.tree();
  const uint64_t now = Ticks(2024, 5, 1, 13, 0, 0);
  size_t matched = 0;
  const size_t before = g_allocations.load();
  for (int i = 0; i < 1000; ++i) {
    for (const QueryItem& item : q.queries()[0].items) {
      matched += item.predicate.Matches(tree, now) ? 1 : 0;
    }
    matched += q.Matches(0, tree, now) ? 1 : 0;
  }
  EXPECT_EQ(g_allocations.load() - before, 0u);
  EXPECT_EQ(matched, 6000u);  // all five Selects and the Query; no Suppress
}

}  // namespace
}  // namespace xpath
