// FreeRecordList over lists of event records and of other record kinds:
// every record destroyed through its virtual destructor, then the list.
#include "query/event_record.h"

#include <gtest/gtest.h>

#include <memory>

namespace qrv {
namespace {

int g_destroyed = 0;

// Another kind of record on the same base, counting its destruction.
class CountedRecord : public CZK_OBJECT {
 public:
  ~CountedRecord() override { ++g_destroyed; }
};

class CountedEvent : public CZK_EL_EVT {
 public:
  CountedEvent() : CZK_EL_EVT("c", "p", "h", "t", "1", "s", "m") {}
  ~CountedEvent() override { ++g_destroyed; }
};

TEST(FreeRecordListTest, DestroysEveryRecordOfAnyKind) {
  g_destroyed = 0;
  auto* events = new EventList();
  for (int i = 0; i < 3; ++i) events->AddTail(std::make_unique<CountedEvent>());
  FreeRecordList(events);
  EXPECT_EQ(g_destroyed, 3);

  g_destroyed = 0;
  auto* mixed = new CZK_OBJECT_LIST();
  mixed->AddTail(std::make_unique<CountedRecord>());
  mixed->AddTail(std::make_unique<CountedEvent>());
  FreeRecordList(mixed);
  EXPECT_EQ(g_destroyed, 2);

  FreeRecordList(new EventList());  // an empty list: only the list goes
  FreeRecordList(nullptr);
}

}  // namespace
}  // namespace qrv
