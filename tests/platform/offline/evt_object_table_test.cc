// The handle table: a handle finds its object only while it is open and
// only as its own kind, whatever has been closed and added since.
#include "platform/offline/evt_object_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace qrv::offline {
namespace {

struct Query final : EvtObjectBase {};
struct Event final : EvtObjectBase {
  explicit Event(int n) : number(n) {}
  int number;
};

TEST(EvtObjectTable, HandlesFindTheirOwnOpenObjectOnly) {
  EvtObjectTable table;
  const EvtHandle query = table.Add(std::make_unique<Query>());
  std::vector<EvtHandle> events;
  for (int n = 0; n < 4; ++n) events.push_back(table.Add(std::make_unique<Event>(n)));
  EXPECT_NE(query, nullptr);
  EXPECT_EQ(table.Get<Event>(query), nullptr);  // another kind
  EXPECT_NE(table.Get<Query>(query), nullptr);

  // Closed handles stay refused once their slots hold new objects.
  ASSERT_TRUE(table.Close(events[1]));
  ASSERT_TRUE(table.Close(events[2]));
  EXPECT_FALSE(table.Close(events[1]));
  const EvtHandle reused = table.Add(std::make_unique<Event>(10));
  const EvtHandle reused_too = table.Add(std::make_unique<Event>(11));
  for (EvtHandle closed : {events[1], events[2]}) {
    EXPECT_EQ(table.Get<Event>(closed), nullptr);
    EXPECT_FALSE(table.Close(closed));
  }
  EXPECT_EQ(table.Get<Event>(reused)->number, 10);
  EXPECT_EQ(table.Get<Event>(reused_too)->number, 11);
  EXPECT_EQ(table.Get<Event>(events[3])->number, 3);
  EXPECT_EQ(table.open_count(), 5u);

  // Handles never issued.
  for (uintptr_t foreign : {uintptr_t{0}, uintptr_t{1}, uintptr_t{0xFFFF},
                            reinterpret_cast<uintptr_t>(events[3]) + 100,
                            reinterpret_cast<uintptr_t>(events[3]) + (uintptr_t{7} << 32)}) {
    EXPECT_EQ(table.Get<Event>(reinterpret_cast<EvtHandle>(foreign)), nullptr) << foreign;
    EXPECT_FALSE(table.Close(reinterpret_cast<EvtHandle>(foreign))) << foreign;
  }
  EXPECT_EQ(table.open_count(), 5u);
}

}  // namespace
}  // namespace qrv::offline
