// The System part of an event tree from system properties; see system_tree.h.
#include "platform/offline/service/system_tree.h"

#include <cstring>
#include <utility>
#include <vector>

#include "formats/evtx/value_format.h"

namespace qrv::offline {

namespace {

using evtx::SystemProperties;
using evtx::ValueType;
using P = evtx::SystemProperty;

constexpr std::string_view kEventNamespace =
    "http://schemas.microsoft.com/win/2004/08/events/event";

// The reader's text of a UTF-16LE string value (up to its first NUL) when
// every unit is ASCII: the common case, copied without decoding. False
// (value untouched) otherwise.
bool FillAsciiString(const uint8_t* data, size_t size, evtx::Value* value) {
  const size_t units = size / 2;
  size_t n = 0;
  while (n < units && (data[2 * n] | data[2 * n + 1]) != 0) {
    if (data[2 * n + 1] != 0 || data[2 * n] >= 0x80) return false;
    ++n;
  }
  value->type = ValueType::kString;
  value->u = 0;
  value->d = 0.0;
  value->text.resize(n);
  for (size_t i = 0; i < n; ++i)
    value->text[i] = static_cast<char>(data[2 * i]);
  return true;
}

bool SameValue(const evtx::Value& a, const evtx::Value& b) {
  return a.type == b.type && a.u == b.u && a.text == b.text &&
         (a.d == b.d || (a.d != a.d && b.d != b.d));
}

bool SameAttributes(const evtx::Element& a, const evtx::Element& b) {
  if (a.attributes.size() != b.attributes.size()) return false;
  for (size_t i = 0; i < a.attributes.size(); ++i) {
    if (a.attributes[i].name != b.attributes[i].name ||
        !SameValue(a.attributes[i].value, b.attributes[i].value))
      return false;
  }
  return true;
}

const evtx::Element* SystemOf(const evtx::EventTree& tree) {
  const evtx::Element* root = tree.Root();
  if (root == nullptr) return nullptr;
  for (uint32_t child : root->children) {
    if (child < tree.elements.size() && tree.elements[child].name == "System")
      return &tree.elements[child];
  }
  return nullptr;
}

}  // namespace

void SystemTreeBuilder::Fill(ValueType type, const uint8_t* data, size_t size,
                             evtx::Value* value) {
  if (fill_count_ == sources_.size()) sources_.emplace_back();
  std::string& source = sources_[fill_count_++];
  const auto t = static_cast<char>(type);
  if (refresh_ && source.size() == size + 1 && source[0] == t &&
      (size == 0 || std::memcmp(source.data() + 1, data, size) == 0))
    return;
  source.assign(1, t);
  source.append(reinterpret_cast<const char*>(data), size);
  if (type == ValueType::kString && FillAsciiString(data, size, value)) return;
  evtx::FillValue(static_cast<uint8_t>(type), data, size, value);
}

void SystemTreeBuilder::FillNumber(ValueType type, uint64_t value, size_t width,
                                   evtx::Value* out) {
  if (!number_texts_) {
    // Every type written here is unsigned, so the binary value is the one
    // the reader's formatter would store.
    out->type = type;
    out->u = value;
    out->d = 0.0;
    out->text.clear();
    return;
  }
  uint8_t bytes[8];
  for (size_t i = 0; i < 8; ++i)
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  Fill(type, bytes, width, out);
}

uint32_t SystemTreeBuilder::AddElement(std::string_view name, uint32_t parent) {
  const uint32_t index = static_cast<uint32_t>(element_count_++);
  attribute_count_ = 0;
  if (refresh_) return index;
  if (index == tree_.elements.size()) tree_.elements.emplace_back();
  evtx::Element& e = tree_.elements[index];
  e.name.assign(name);
  e.children.clear();
  e.text.type = ValueType::kNull;
  e.text.u = 0;
  e.text.d = 0.0;
  e.text.text.clear();
  if (index != parent) tree_.elements[parent].children.push_back(index);
  return index;
}

evtx::Value* SystemTreeBuilder::AddAttribute(uint32_t element,
                                             std::string_view name) {
  std::vector<evtx::Attribute>& attributes = tree_.elements[element].attributes;
  if (refresh_) return &attributes[attribute_count_++].value;
  if (attribute_count_ == attributes.size()) attributes.emplace_back();
  evtx::Attribute& a = attributes[attribute_count_++];
  a.name.assign(name);
  return &a.value;
}

void SystemTreeBuilder::FinishElement(uint32_t element) {
  if (!refresh_) tree_.elements[element].attributes.resize(attribute_count_);
}

const evtx::EventTree& SystemTreeBuilder::Build(const SystemProperties& p) {
  refresh_ = built_ && p.present == present_ && p.layout == layout_;
  present_ = p.present;
  layout_ = p.layout;
  built_ = true;
  element_count_ = 0;
  fill_count_ = 0;

  const auto number = [this](ValueType type, uint64_t value, size_t width,
                             evtx::Value* out) {
    FillNumber(type, value, width, out);
  };
  const auto string = [this](const evtx::Utf16Ref& ref, evtx::Value* out) {
    Fill(ValueType::kString, ref.data, static_cast<size_t>(ref.units) * 2, out);
  };
  const auto guid = [this](const evtx::GuidBytes& g, evtx::Value* out) {
    Fill(ValueType::kGuid, g.bytes, 16, out);
  };

  const uint32_t event = AddElement("Event", 0);
  evtx::Value* ns = AddAttribute(event, "xmlns");
  Fill(ValueType::kString, nullptr, 0, ns);
  if (!refresh_) ns->text.assign(kEventNamespace);
  FinishElement(event);
  const uint32_t system = AddElement("System", event);
  FinishElement(system);

  const uint32_t provider = AddElement("Provider", system);
  if (p.Has(P::kProviderName))
    string(p.provider_name, AddAttribute(provider, "Name"));
  // A Guid the template writes as text stays the template's text.
  if (p.layout & evtx::kLayoutGuidText)
    string(p.provider_guid_text, AddAttribute(provider, "Guid"));
  else if (p.Has(P::kProviderGuid))
    guid(p.provider_guid, AddAttribute(provider, "Guid"));
  if (p.layout & evtx::kLayoutEventSourceName)
    string(p.event_source_name, AddAttribute(provider, "EventSourceName"));
  FinishElement(provider);

  // Elements whose text is one number; absent properties leave the element
  // out, as an optional substitution that is null does.
  struct NumberElement {
    std::string_view name;
    P id;
    ValueType type;
    size_t width;
  };
  const auto number_element = [&](const NumberElement& n, uint64_t value) {
    if (!p.Has(n.id)) return;
    const uint32_t e = AddElement(n.name, system);
    number(n.type, value, n.width, &tree_.elements[e].text);
    FinishElement(e);
  };

  if (p.Has(P::kEventId)) {
    const uint32_t e = AddElement("EventID", system);
    if (p.Has(P::kQualifiers))
      number(ValueType::kUInt16, p.qualifiers, 2,
             AddAttribute(e, "Qualifiers"));
    number(ValueType::kUInt16, p.event_id, 2, &tree_.elements[e].text);
    FinishElement(e);
  }
  number_element({"Version", P::kVersion, ValueType::kUInt8, 1}, p.version);
  number_element({"Level", P::kLevel, ValueType::kUInt8, 1}, p.level);
  number_element({"Task", P::kTask, ValueType::kUInt16, 2}, p.task);
  number_element({"Opcode", P::kOpcode, ValueType::kUInt8, 1}, p.opcode);
  number_element({"Keywords", P::kKeywords, ValueType::kHexInt64, 8},
                 p.keywords);

  const uint32_t time = AddElement("TimeCreated", system);
  if (p.Has(P::kTimeCreated))
    number(ValueType::kFileTime, p.time_created, 8,
           AddAttribute(time, "SystemTime"));
  FinishElement(time);

  number_element({"EventRecordID", P::kEventRecordId, ValueType::kUInt64, 8},
                 p.event_record_id);

  if (!(p.layout & evtx::kLayoutNoCorrelation)) {
    const uint32_t correlation = AddElement("Correlation", system);
    if (p.Has(P::kActivityId))
      guid(p.activity_id, AddAttribute(correlation, "ActivityID"));
    if (p.Has(P::kRelatedActivityId))
      guid(p.related_activity_id,
           AddAttribute(correlation, "RelatedActivityID"));
    FinishElement(correlation);
  }

  if (!(p.layout & evtx::kLayoutNoExecution)) {
    const uint32_t execution = AddElement("Execution", system);
    if (p.Has(P::kProcessId))
      number(ValueType::kUInt32, p.process_id, 4,
             AddAttribute(execution, "ProcessID"));
    if (p.Has(P::kThreadId))
      number(ValueType::kUInt32, p.thread_id, 4,
             AddAttribute(execution, "ThreadID"));
    FinishElement(execution);
  }

  if (p.Has(P::kChannel)) {
    const uint32_t e = AddElement("Channel", system);
    string(p.channel, &tree_.elements[e].text);
    FinishElement(e);
  }
  if (p.Has(P::kComputer)) {
    const uint32_t e = AddElement("Computer", system);
    string(p.computer, &tree_.elements[e].text);
    FinishElement(e);
  }

  const uint32_t security = AddElement("Security", system);
  if (p.Has(P::kUserId))
    Fill(ValueType::kSid, p.user_sid, p.user_sid_size,
         AddAttribute(security, "UserID"));
  FinishElement(security);

  if (!refresh_) tree_.elements.resize(element_count_);
  return tree_;
}

bool SameSystemPart(const evtx::EventTree& a, const evtx::EventTree& b) {
  const evtx::Element* root_a = a.Root();
  const evtx::Element* root_b = b.Root();
  if (root_a == nullptr || root_b == nullptr) return root_a == root_b;
  if (root_a->name != root_b->name || !SameAttributes(*root_a, *root_b))
    return false;
  const evtx::Element* sys_a = SystemOf(a);
  const evtx::Element* sys_b = SystemOf(b);
  if (sys_a == nullptr || sys_b == nullptr) return sys_a == sys_b;
  // Walked with an explicit stack; every index is checked against the tree
  // it belongs to.
  std::vector<std::pair<const evtx::Element*, const evtx::Element*>> stack;
  stack.emplace_back(sys_a, sys_b);
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    if (x->name != y->name || !SameAttributes(*x, *y) ||
        !SameValue(x->text, y->text) ||
        x->children.size() != y->children.size())
      return false;
    for (size_t i = 0; i < x->children.size(); ++i) {
      if (x->children[i] >= a.elements.size() ||
          y->children[i] >= b.elements.size())
        return false;
      stack.emplace_back(&a.elements[x->children[i]],
                         &b.elements[y->children[i]]);
    }
  }
  return true;
}

}  // namespace qrv::offline
