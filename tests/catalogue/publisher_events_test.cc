#include "catalogue/publisher_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/two_call.h"
#include "query/record_list.h"
#include "tests/support/fake_platform.h"

namespace qrv {
namespace {

using fake::Call;
using fake::FakeEventMetadata;

struct Row {
  std::string channel, publisher, event_id, message;
  bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << r.channel << "|" << r.publisher << "|" << r.event_id << "|"
            << r.message;
}

std::vector<Row> Rows(const PublisherList& list) {
  std::vector<Row> rows;
  for (size_t i = 0; i < list.GetCount(); ++i) {
    rows.push_back(
        Row{list[i].Channel, list[i].Publisher, list[i].EventId, list[i].Message});
  }
  return rows;
}

// Fails the answer-buffer allocation of one size (bytes), leaving the others.
size_t g_failing_allocation = 0;
bool FailOneSize(size_t bytes) { return bytes == g_failing_allocation; }

// The fake service, but recording the order of EvtClose calls and able to
// make the sizing call of EvtFormatMessage succeed, which the plain fake
// never does.
class RecordingEventLog : public fake::FakeEventLog {
 public:
  using FakeEventLog::FakeEventLog;
  EvtHandle EvtOpenPublisherMetadata(EvtHandle session, const char16_t* id,
                                     const char16_t* path, uint32_t locale,
                                     uint32_t flags) override {
    publisher_ = FakeEventLog::EvtOpenPublisherMetadata(session, id, path,
                                                        locale, flags);
    return publisher_;
  }
  EvtHandle EvtOpenEventMetadataEnum(EvtHandle publisher,
                                     uint32_t flags) override {
    enumerator_ = FakeEventLog::EvtOpenEventMetadataEnum(publisher, flags);
    return enumerator_;
  }
  bool EvtClose(EvtHandle object) override {
    if (object == publisher_) closes_.push_back("publisher");
    if (object == enumerator_) closes_.push_back("enumeration");
    return FakeEventLog::EvtClose(object);
  }
  bool EvtFormatMessage(EvtHandle publisher, EvtHandle event, uint32_t id,
                        uint32_t count, const EvtVariant* values,
                        uint32_t flags, uint32_t size, char16_t* buffer,
                        uint32_t* used) override {
    if (sizing_succeeds_ && size == 0) {
      *used = 0;
      return true;
    }
    return FakeEventLog::EvtFormatMessage(publisher, event, id, count, values,
                                          flags, size, buffer, used);
  }
  bool sizing_succeeds_ = false;
  std::vector<std::string> closes_;

 private:
  EvtHandle publisher_ = nullptr;
  EvtHandle enumerator_ = nullptr;
};

class PublisherEventsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(log_.open_handles(), 0);
    EXPECT_TRUE(log_.violations().empty());
  }
  std::vector<Row> Walk(const std::string& publisher = "Prov") {
    const RecordListPtr<PublisherList> list = NewRecordList<PublisherList>();
    AddPublisherEvents(*list, "Chan", publisher);
    return Rows(*list);
  }
  fake::FakePlatform fake_;
  RecordingEventLog log_{fake_.system, fake_.faults};
  ScopedPlatform scope_{
      Platform{&log_, &fake_.registry, &fake_.system, &fake_.output}};
  fake::FakePublisher& prov_ = log_.AddPublisher(u"Prov");
};

TEST_F(PublisherEventsTest, EachDefinitionWithAMessageBecomesACleanedRecord) {
  prov_.events = {{1, 100}, {4294967295u, 101}, {7, 0}, {0, 102}};
  prov_.messages = {{100, u"Service \"X\" started.\r\n\tDone"},
                    {101, u"  padded\u00e9  "},
                    {102, u"zero id"}};
  EXPECT_EQ(Walk(), (std::vector<Row>{
                        {"Chan", "Prov", "1", "Service X started.   Done"},
                        {"Chan", "Prov", "4294967295", "padded\xc3\xa9"},
                        {"Chan", "Prov", "0", "zero id"}}));
  // The message id 0 of event 7 is no record, and is never formatted.
  EXPECT_EQ(fake_.faults.Count(Call::kEvtFormatMessage), 2 * 3);
  EXPECT_EQ(log_.opened_publishers(), std::vector<std::string>{"Prov"});
  EXPECT_EQ(log_.closes_, (std::vector<std::string>{"enumeration", "publisher"}));
}

// Formatted by id without values, a template with inserts fails both calls
// with 15029 yet gives its text; a definition without a message reports -1.
TEST_F(PublisherEventsTest, TemplatesKeepTheirInsertsAndMinusOneIsNoMessage) {
  prov_.events = {{1, 100}, {2, kNoEventMessage}, {3, 101}};
  prov_.messages = {{100, u"Service %1 entered the %2 state."},
                    {kNoEventMessage, u"never asked for"},
                    {101, u"plain"}};
  EXPECT_EQ(Walk(), (std::vector<Row>{
                        {"Chan", "Prov", "1", "Service %1 entered the %2 state."},
                        {"Chan", "Prov", "3", "plain"}}));
  EXPECT_EQ(fake_.faults.Count(Call::kEvtFormatMessage), 2 * 2);
}

TEST_F(PublisherEventsTest, MessagesThatCannotBeHadStillListTheEvent) {
  prov_.events = {{1, 103}, {2, 104}, {3, 105}, {4, 106}};
  prov_.messages = {{103, u" \"\" \r\n"}, {106, u"\""}};
  prov_.message_errors = {{105, kErrorAccessDenied}};  // 104: 15027
  EXPECT_EQ(Walk(), (std::vector<Row>{{"Chan", "Prov", "1", "Text unknown"},
                                      {"Chan", "Prov", "2", "Text unknown"},
                                      {"Chan", "Prov", "3", "Text unknown"},
                                      {"Chan", "Prov", "4", "Text unknown"}}));
}

TEST_F(PublisherEventsTest, MessageSizingThatSucceedsOrBufferThatCannotBeHad) {
  prov_.events = {{1, 100}, {2, 101}};
  prov_.messages = {{100, u"Hello"}, {101, u"Longer text"}};
  log_.sizing_succeeds_ = true;
  EXPECT_EQ(Walk(), (std::vector<Row>{
                        {"Chan", "Prov", "1", "Failed to get message"},
                        {"Chan", "Prov", "2", "Failed to get message"}}));
  log_.sizing_succeeds_ = false;
  // 6 UTF-16 units as reported, and one spare for the terminator.
  g_failing_allocation = sizeof(u"Hello") + sizeof(char16_t);
  SetAllocationFaultHook(FailOneSize);
  EXPECT_EQ(Walk(), (std::vector<Row>{
                        {"Chan", "Prov", "1", "Failed to get message"},
                        {"Chan", "Prov", "2", "Longer text"}}));
}

TEST_F(PublisherEventsTest, DefinitionsWhosePropertiesCannotBeReadArePassedOver) {
  FakeEventMetadata id_sizes(1, 100);
  id_sizes.event_id_error = fake::kSizingSucceeds;
  FakeEventMetadata id_fails(2, 100);
  id_fails.event_id_error = kErrorInvalidParameter;
  FakeEventMetadata message_id_sizes(3, 100);
  message_id_sizes.message_id_error = fake::kSizingSucceeds;
  FakeEventMetadata message_id_fails(4, 100);
  message_id_fails.message_id_error = kErrorEvtMessageNotFound;
  prov_.events = {id_sizes, id_fails, message_id_sizes, message_id_fails,
                  {5, 100}};
  prov_.messages = {{100, u"kept"}};
  EXPECT_EQ(Walk(), (std::vector<Row>{{"Chan", "Prov", "5", "kept"}}));

  g_failing_allocation = sizeof(EvtVariant);  // the property buffers
  SetAllocationFaultHook(FailOneSize);
  EXPECT_TRUE(Walk().empty());
}

TEST_F(PublisherEventsTest, PublishersTheServiceCannotOpenAddNothing) {
  prov_.events = {{1, 100}};
  prov_.messages = {{100, u"text"}};
  EXPECT_TRUE(Walk("Unknown").empty());
  prov_.open_error = kErrorAccessDenied;
  EXPECT_TRUE(Walk().empty());
  prov_.open_error = 0;
  prov_.enum_error = kErrorInvalidHandle;
  EXPECT_TRUE(Walk().empty());
  EXPECT_EQ(log_.opened_publishers(),
            (std::vector<std::string>{"Unknown", "Prov", "Prov"}));
  EXPECT_EQ(log_.closes_, std::vector<std::string>{"publisher"});
}

TEST_F(PublisherEventsTest, AFailingEnumerationEndsTheWalkKeepingEarlierEvents) {
  prov_.events = {{1, 100}, {2, 100}, {3, 100}};
  prov_.messages = {{100, u"text"}};
  fake_.faults.Fail(Call::kEvtNextEventMetadata, 2, kErrorInvalidData);
  EXPECT_EQ(Walk(), (std::vector<Row>{{"Chan", "Prov", "1", "text"}}));
}

}  // namespace
}  // namespace qrv
