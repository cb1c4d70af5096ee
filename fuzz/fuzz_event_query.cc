// Fuzz target for the offline event query compiler: the input is query text
// (a <QueryList> document, a bare XPath or `*`); what compiles is evaluated
// on a few fixed events, checking that Matches agrees with the per-Query
// answers and that a query the compiler calls system-only ignores EventData.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "formats/evtx/event_tree.h"
#include "fuzz/fuzz_check.h"
#include "formats/xpath/compiled_query.h"

namespace {

using evtx::ValueType;

// 2024-03-01T12:00:00Z and an hour later, in FILETIME ticks.
constexpr uint64_t kEventTime = 133537392000000000;
constexpr uint64_t kNow = kEventTime + 36000000000;

evtx::Value Typed(ValueType type, std::string text, uint64_t u = 0) {
  evtx::Value value;
  value.type = type;
  value.u = u;
  value.text = std::move(text);
  return value;
}

class TreeBuilder {
 public:
  TreeBuilder() { tree_.elements.push_back({"Event", {}, {}, {}}); }
  uint32_t Add(uint32_t parent, std::string name, evtx::Value text = {}) {
    const auto index = static_cast<uint32_t>(tree_.elements.size());
    tree_.elements.push_back({std::move(name), {}, {}, std::move(text)});
    tree_.elements[parent].children.push_back(index);
    return index;
  }
  void Attr(uint32_t element, std::string name, evtx::Value value) {
    tree_.elements[element].attributes.push_back({std::move(name), std::move(value)});
  }
  evtx::EventTree Take() { return std::move(tree_); }

 private:
  evtx::EventTree tree_;
};

// A Security logon event as the EVTX reader types it; with `with_data`
// false, only Event and System (what a system-only query may look at).
evtx::EventTree SecurityEvent(bool with_data) {
  TreeBuilder b;
  const uint32_t system = b.Add(0, "System");
  const uint32_t provider = b.Add(system, "Provider");
  b.Attr(provider, "Name", Typed(ValueType::kString, "Microsoft-Windows-Security-Auditing"));
  b.Attr(provider, "Guid", Typed(ValueType::kGuid, "{54849625-5478-4994-A5BA-3E3B0328C30D}"));
  b.Add(system, "EventID", Typed(ValueType::kUInt16, "4624", 4624));
  b.Add(system, "Version", Typed(ValueType::kUInt8, "2", 2));
  b.Add(system, "Level", Typed(ValueType::kUInt8, "0", 0));
  b.Add(system, "Task", Typed(ValueType::kUInt16, "12544", 12544));
  b.Add(system, "Keywords", Typed(ValueType::kHexInt64, "0x8020000000000000", 0x8020000000000000));
  const uint32_t created = b.Add(system, "TimeCreated");
  b.Attr(created, "SystemTime",
         Typed(ValueType::kFileTime, "2024-03-01T12:00:00.0000000Z", kEventTime));
  b.Add(system, "EventRecordID", Typed(ValueType::kUInt64, "4711", 4711));
  const uint32_t execution = b.Add(system, "Execution");
  b.Attr(execution, "ProcessID", Typed(ValueType::kUInt32, "640", 640));
  b.Add(system, "Channel", Typed(ValueType::kString, "Security"));
  b.Add(system, "Computer", Typed(ValueType::kString, "host.example"));
  const uint32_t security = b.Add(system, "Security");
  b.Attr(security, "UserID", Typed(ValueType::kSid, "S-1-5-18"));
  if (with_data) {
    const uint32_t data = b.Add(0, "EventData");
    const uint32_t user = b.Add(data, "Data", Typed(ValueType::kString, "alice"));
    b.Attr(user, "Name", Typed(ValueType::kString, "TargetUserName"));
    const uint32_t type = b.Add(data, "Data", Typed(ValueType::kUInt32, "3", 3));
    b.Attr(type, "Name", Typed(ValueType::kString, "LogonType"));
    b.Add(data, "Data", Typed(ValueType::kBinary, "00FF"));
    const uint32_t user_data = b.Add(0, "UserData");
    b.Add(b.Add(user_data, "LogFileCleared"), "SubjectUserName", Typed(ValueType::kString, "bob"));
  }
  return b.Take();
}

// A bare event: root only, as a damaged record may come out.
evtx::EventTree EmptyEvent() { return TreeBuilder().Take(); }

const evtx::EventTree& FullEvent() {
  static const evtx::EventTree tree = SecurityEvent(true);
  return tree;
}
const evtx::EventTree& SystemEvent() {
  static const evtx::EventTree tree = SecurityEvent(false);
  return tree;
}
const evtx::EventTree& BareEvent() {
  static const evtx::EventTree tree = EmptyEvent();
  return tree;
}

void Evaluate(const xpath::CompiledQuery& query, size_t source,
              const evtx::EventTree& tree) {
  bool any = false;
  for (size_t q = 0; q < query.queries().size(); ++q) {
    any = query.QueryMatches(q, source, tree, kNow) || any;
  }
  QRV_FUZZ_CHECK(query.Matches(source, tree, kNow) == any);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const xpath::CompiledQuery query(text, {xpath::PathKind::kChannel, "Security"});
  QRV_FUZZ_CHECK(query.ok() == query.error().empty());
  if (!query.ok()) {
    QRV_FUZZ_CHECK(query.error_code() == xpath::kErrorEvtInvalidQuery);
    return 0;
  }
  for (size_t source = 0; source < query.sources().size(); ++source) {
    Evaluate(query, source, FullEvent());
    Evaluate(query, source, SystemEvent());
    Evaluate(query, source, BareEvent());
    if (query.system_only()) {
      QRV_FUZZ_CHECK(query.Matches(source, FullEvent(), kNow) ==
                     query.Matches(source, SystemEvent(), kNow));
    }
  }
  return 0;
}
