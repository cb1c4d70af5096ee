// PrintEventList: the line layout and names that cannot break it.
#include "query/print_events.h"
#include "query/output_field.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "query/record_list.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

TEST(PrintEventListTest, OneLinePerRecordSixFieldsComputerLeftOut) {
  fake::FakePlatform fake;
  fake::FakeScope scope(fake);
  auto events = NewRecordList<EventList>();
  PrintEventList(*events);
  EXPECT_EQ(fake.Output(), "");
  events->AddTail(std::make_unique<CZK_EL_EVT>(
      "System", "Prov", "HOST", "2022-08-09T17:28:57.133304400Z", "7036",
      "Information", "msg one"));
  events->AddTail(std::make_unique<CZK_EL_EVT>("Security", "Audit", "HOST",
                                               "T2", "4624", "", ""));
  PrintEventList(*events);
  EXPECT_EQ(fake.Output(),
            "System\tProv\t2022-08-09T17:28:57."
            "133304400Z\t7036\tInformation\tmsg one\n"
            "Security\tAudit\tT2\t4624\t\t\n");
}

TEST(PrintEventListTest, NamesFromTheLogCannotFakeFieldsOrLines) {
  // Channel and provider come from the event data (offline: from files of
  // another machine); tabs, line breaks and NULs in them become spaces,
  // and no other byte does.
  fake::FakePlatform fake;
  fake::FakeScope scope(fake);
  auto events = NewRecordList<EventList>();
  // A record's fields view texts that outlive it (the list's arena in the
  // tool), so the names are held here.
  const std::string channel("Chan\tnel\r\nX", 11);
  const std::string provider("Pro\0v\n\v\f\x01\x0e\xff", 11);
  events->AddTail(std::make_unique<CZK_EL_EVT>(channel, provider, "HOST", "T",
                                               "1", "Error", "m"));
  PrintEventList(*events);
  EXPECT_EQ(fake.Output(),
            "Chan nel  X\tPro v \v\f\x01\x0e\xff\tT\t1\tError\tm\n");
}

// Names are looked over eight bytes at a time: each byte that must go is
// replaced at every place of a word and of the tail after the words, and
// the bytes next to it (the same byte plus one, bytes of 0x80 and above)
// are kept.
TEST(PrintEventListTest, NameFieldsReplaceTheirBytesWherever) {
  for (const char bad : {'\0', '\t', '\n', '\r'}) {
    for (size_t at = 0; at < 19; ++at) {
      std::string name(19, '\x80');
      name[at] = bad;
      name[(at + 1) % name.size()] = static_cast<char>(bad + 1);
      std::string want = name;
      want[at] = ' ';
      if (bad + 1 == '\n') want[(at + 1) % name.size()] = ' ';  // tab, then LF
      std::string line = "x";
      AppendNameField(line, name);
      EXPECT_EQ(line, "x" + want) << int{bad} << " at " << at;
    }
  }
}

}  // namespace
}  // namespace qrv
