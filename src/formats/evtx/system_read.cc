// System properties straight from substitution values. Each template is
// walked once (BuildSystemMap) to find which substitution or literal feeds
// which property; templates that build a property from several pieces, or
// records that are not a template instance, go through the event tree. The
// same walk notes where the template's System layout departs from the
// manifest one (SystemLayout), for callers that rebuild the System part.
#include <charconv>
#include <cstring>
#include <string_view>

#include "formats/evtx/bytes.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/value_format.h"
#include "formats/evtx/value_parse.h"

namespace evtx {
namespace {

using P = SystemProperty;

// BuildSystemMap's target for Provider/@EventSourceName, past the properties.
constexpr int kEventSourceNameTarget = kSystemPropertyCount;

int ElementProperty(std::string_view name) {
  if (name == "EventID") return static_cast<int>(P::kEventId);
  if (name == "Version") return static_cast<int>(P::kVersion);
  if (name == "Level") return static_cast<int>(P::kLevel);
  if (name == "Task") return static_cast<int>(P::kTask);
  if (name == "Opcode") return static_cast<int>(P::kOpcode);
  if (name == "Keywords") return static_cast<int>(P::kKeywords);
  if (name == "EventRecordID") return static_cast<int>(P::kEventRecordId);
  if (name == "Channel") return static_cast<int>(P::kChannel);
  if (name == "Computer") return static_cast<int>(P::kComputer);
  return -1;
}

int AttributeProperty(std::string_view element, std::string_view attr) {
  struct Row {
    const char* element;
    const char* attribute;
    P id;
  };
  static constexpr Row kRows[] = {
      {"Provider", "Name", P::kProviderName},
      {"Provider", "Guid", P::kProviderGuid},
      {"EventID", "Qualifiers", P::kQualifiers},
      {"TimeCreated", "SystemTime", P::kTimeCreated},
      {"Correlation", "ActivityID", P::kActivityId},
      {"Correlation", "RelatedActivityID", P::kRelatedActivityId},
      {"Execution", "ProcessID", P::kProcessId},
      {"Execution", "ThreadID", P::kThreadId},
      {"Security", "UserID", P::kUserId},
  };
  for (const Row& row : kRows) {
    if (element == row.element && attr == row.attribute)
      return static_cast<int>(row.id);
  }
  return -1;
}

enum class Shape { kString, kNumber, kGuid, kTime, kSid };

Shape ShapeOf(P id) {
  switch (id) {
    case P::kProviderName:
    case P::kChannel:
    case P::kComputer:
      return Shape::kString;
    case P::kProviderGuid:
    case P::kActivityId:
    case P::kRelatedActivityId:
      return Shape::kGuid;
    case P::kTimeCreated:
      return Shape::kTime;
    case P::kUserId:
      return Shape::kSid;
    default:
      return Shape::kNumber;
  }
}

bool ParseNumber(std::string_view text, uint64_t* out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  auto res =
      std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

void SetNumber(P id, uint64_t v, SystemProperties* props) {
  switch (id) {
    case P::kEventId:
      props->event_id = static_cast<uint16_t>(v);
      break;
    case P::kQualifiers:
      props->qualifiers = static_cast<uint16_t>(v);
      break;
    case P::kLevel:
      props->level = static_cast<uint8_t>(v);
      break;
    case P::kTask:
      props->task = static_cast<uint16_t>(v);
      break;
    case P::kOpcode:
      props->opcode = static_cast<uint8_t>(v);
      break;
    case P::kKeywords:
      props->keywords = v;
      break;
    case P::kEventRecordId:
      props->event_record_id = v;
      break;
    case P::kProcessId:
      props->process_id = static_cast<uint32_t>(v);
      break;
    case P::kThreadId:
      props->thread_id = static_cast<uint32_t>(v);
      break;
    case P::kVersion:
      props->version = static_cast<uint8_t>(v);
      break;
    case P::kTimeCreated:
      props->time_created = v;
      break;
    default:
      return;
  }
  props->Set(id);
}

GuidBytes* GuidSlot(P id, SystemProperties* props) {
  if (id == P::kProviderGuid) return &props->provider_guid;
  if (id == P::kActivityId) return &props->activity_id;
  return &props->related_activity_id;
}

int StringSlot(P id) {
  return id == P::kProviderName ? 0 : id == P::kChannel ? 1 : 2;
}

Utf16Ref* StringRef(P id, SystemProperties* props) {
  if (id == P::kProviderName) return &props->provider_name;
  if (id == P::kChannel) return &props->channel;
  return &props->computer;
}

}  // namespace

std::u16string Utf16Ref::ToU16() const {
  std::u16string s(units, u'\0');
  for (uint32_t i = 0; i < units; ++i)
    s[i] = static_cast<char16_t>(LoadU16(data + 2 * i));
  return s;
}

std::string Utf16Ref::ToUtf8() const {
  std::string s;
  AppendUtf16(data, units, Escape::kNone, &s);
  return s;
}

void ChunkDecoder::BuildSystemMap(const std::vector<Op>& ops, uint32_t begin,
                                  uint32_t end, SystemMap* out) {
  SystemMap& map = *out;
  map = SystemMap();
  uint8_t pieces[kSystemPropertyCount] = {};
  std::string_view path[4];
  int element_target[kMaxElementDepth + 1];
  uint32_t depth = 0;
  int attr_target = -1;
  bool in_attr = false, found_system = false, mixed = false;
  bool has_correlation = false, has_execution = false;
  uint8_t source_name_pieces = 0;
  for (uint32_t i = begin; i < end; ++i) {
    const Op& op = ops[i];
    int target = -1;
    switch (op.kind) {
      case OpKind::kElementStart: {
        ++depth;
        const std::string_view name = names_.Get(op.name);
        if (depth <= 3) path[depth] = name;
        const bool in_system =
            depth == 3 && path[1] == "Event" && path[2] == "System";
        if (depth == 2 && path[1] == "Event" && name == "System")
          found_system = true;
        element_target[depth] = in_system ? ElementProperty(name) : -1;
        if (in_system && name == "Correlation") has_correlation = true;
        if (in_system && name == "Execution") has_execution = true;
        in_attr = false;
        continue;
      }
      case OpKind::kAttribute:
        in_attr = true;
        attr_target = -1;
        if (depth == 3 && path[1] == "Event" && path[2] == "System") {
          const std::string_view attr = names_.Get(op.name);
          attr_target = AttributeProperty(path[3], attr);
          if (path[3] == "Provider" && attr == "EventSourceName")
            attr_target = kEventSourceNameTarget;
        }
        continue;
      case OpKind::kCloseStart:
        in_attr = false;
        continue;
      case OpKind::kElementEnd:
        if (depth > 0) --depth;
        in_attr = false;
        continue;
      case OpKind::kPITarget:
      case OpKind::kPIData:
        continue;
      default:
        target =
            in_attr ? attr_target : (depth > 0 ? element_target[depth] : -1);
        break;
    }
    if (target == kEventSourceNameTarget) {
      // Only a single literal is the same for every record of the template.
      if (++source_name_pieces > 1 || op.kind != OpKind::kText) {
        map.layout |= kLayoutOpaque;
      } else {
        map.event_source_name.kind = PropertySource::kLiteral;
        map.event_source_name.text_offset = op.text_offset;
        map.event_source_name.text_units = op.text_units;
      }
      continue;
    }
    if (target < 0) {
      if (op.kind == OpKind::kSubst && depth >= 2 && path[1] == "Event" &&
          path[2] == "System")
        map.layout |= kLayoutOpaque;
      continue;
    }
    PropertySource& src = map.sources[target];
    if (++pieces[target] > 1 ||
        (op.kind != OpKind::kText && op.kind != OpKind::kSubst)) {
      mixed = true;
      continue;
    }
    if (op.kind == OpKind::kSubst) {
      src.kind = PropertySource::kSubst;
      src.index = op.index;
    } else {
      src.kind = PropertySource::kLiteral;
      src.text_offset = op.text_offset;
      src.text_units = op.text_units;
    }
  }
  map.usable = found_system && !mixed;
  if (map.event_source_name.kind == PropertySource::kLiteral)
    map.layout |= kLayoutEventSourceName;
  if (map.sources[static_cast<int>(P::kProviderGuid)].kind ==
      PropertySource::kLiteral)
    map.layout |= kLayoutGuidText;
  if (!has_correlation) map.layout |= kLayoutNoCorrelation;
  if (!has_execution) map.layout |= kLayoutNoExecution;
}

void ChunkDecoder::ReadProperty(SystemProperty id, const PropertySource& src,
                                const Fragment& f, SystemProperties* props) {
  const Shape shape = ShapeOf(id);
  uint8_t type = static_cast<uint8_t>(ValueType::kString);
  const uint8_t* data;
  uint32_t size;
  if (src.kind == PropertySource::kLiteral) {
    data = chunk_ + src.text_offset;
    size = src.text_units * 2;
  } else {
    if (src.index >= f.values_count) return;
    const ValueRef& v = values_[f.values_begin + src.index];
    type = v.type;
    data = chunk_ + v.offset;
    size = v.size;
  }
  const ValueType vt = static_cast<ValueType>(type);
  if (vt == ValueType::kNull) return;
  // Common, exactly typed cases first: no text is made for them.
  if (shape == Shape::kString && vt == ValueType::kString) {
    Utf16Ref* ref = StringRef(id, props);
    ref->data = data;
    ref->units = static_cast<uint32_t>(Utf16LengthToNul(data, size / 2));
    props->Set(id);
    return;
  }
  if (shape == Shape::kGuid && vt == ValueType::kGuid && size >= 16) {
    std::memcpy(GuidSlot(id, props)->bytes, data, 16);
    props->Set(id);
    return;
  }
  if (shape == Shape::kSid && vt == ValueType::kSid) {
    props->user_sid = data;
    props->user_sid_size = size;
    props->Set(id);
    return;
  }
  if (shape == Shape::kNumber || shape == Shape::kTime) {
    if (vt != ValueType::kString && vt != ValueType::kAnsiString) {
      uint64_t v = 0;
      if (ValueAsUnsigned(type, data, size, &v)) SetNumber(id, v, props);
      return;
    }
  }
  // Anything else arrives as text (literals, strings holding numbers).
  std::string text;
  AppendValueText(type, data, size, Escape::kNone, &text);
  if (shape == Shape::kString) {
    std::string& buf = fallback_text_[StringSlot(id)];
    buf.clear();
    AppendUtf8AsUtf16Le(text, &buf);
    Utf16Ref* ref = StringRef(id, props);
    ref->data = reinterpret_cast<const uint8_t*>(buf.data());
    ref->units = static_cast<uint32_t>(buf.size() / 2);
    props->Set(id);
  } else if (shape == Shape::kGuid) {
    if (ParseGuidText(text, GuidSlot(id, props)->bytes)) props->Set(id);
  } else if (shape == Shape::kSid) {
    if (ParseSidText(text, &fallback_sid_)) {
      props->user_sid = fallback_sid_.data();
      props->user_sid_size = static_cast<uint32_t>(fallback_sid_.size());
      props->Set(id);
    }
  } else if (shape == Shape::kNumber) {
    uint64_t v = 0;
    if (ParseNumber(text, &v)) SetNumber(id, v, props);
  } else {
    uint64_t ticks = 0;
    if (ParseFileTimeText(text, &ticks)) SetNumber(id, ticks, props);
  }
}

DecodeStatus ChunkDecoder::ReadSystem(const RecordRef& record,
                                      SystemProperties* props) {
  *props = SystemProperties();
  Fragment f;
  DecodeStatus st = OpenRecord(record, &f);
  if (st == DecodeStatus::kOk) {
    // Bare records (no template, as in some saved or forwarded logs) carry
    // their System values as literal text: map them the same way.
    const SystemMap* map_ptr = &bare_map_;
    if (f.is_instance) {
      map_ptr = &templates_[f.template_index].map;
    } else {
      BuildSystemMap(scratch_ops_, f.op_begin, f.op_end, &bare_map_);
    }
    if (map_ptr->usable) {
      const SystemMap& map = *map_ptr;
      for (int i = 0; i < kSystemPropertyCount; ++i) {
        if (map.sources[i].kind != PropertySource::kAbsent) {
          ReadProperty(static_cast<SystemProperty>(i), map.sources[i], f,
                       props);
        }
      }
      props->layout = map.layout;
      if (map.layout & (kLayoutGuidText | kLayoutEventSourceName)) {
        const PropertySource& guid =
            map.sources[static_cast<int>(P::kProviderGuid)];
        if (map.layout & kLayoutGuidText)
          props->provider_guid_text = {chunk_ + guid.text_offset,
                                       guid.text_units};
        if (map.layout & kLayoutEventSourceName)
          props->event_source_name = {
              chunk_ + map.event_source_name.text_offset,
              map.event_source_name.text_units};
      }
    } else {
      st = ReadSystemFromTree(record, props);
    }
  }
  if (st != DecodeStatus::kOk) {
    if (stats_ != nullptr) ++stats_->records_unparsable;
    return st;
  }
  return st;
}

DecodeStatus ChunkDecoder::ReadSystemFromTree(const RecordRef& record,
                                              SystemProperties* props) {
  const DecodeStatus st = BuildTree(record, &fallback_tree_);
  if (st != DecodeStatus::kOk) return st;
  const EventTree& tree = fallback_tree_;
  const Element* root = tree.Root();
  if (root == nullptr || root->name != "Event") return DecodeStatus::kOk;
  for (uint32_t s : root->children) {
    if (tree.elements[s].name != "System") continue;
    for (uint32_t c : tree.elements[s].children) {
      const Element& e = tree.elements[c];
      auto take = [&](int id, const Value& v) {
        if (id < 0 || v.type == ValueType::kNull) return;
        const P pid = static_cast<P>(id);
        const Shape shape = ShapeOf(pid);
        if ((shape == Shape::kNumber || shape == Shape::kTime) &&
            v.type != ValueType::kString) {
          SetNumber(pid, v.u, props);
        } else if (shape == Shape::kString) {
          std::string& buf = fallback_text_[StringSlot(pid)];
          buf.clear();
          AppendUtf8AsUtf16Le(v.text, &buf);
          *StringRef(pid, props) = {
              reinterpret_cast<const uint8_t*>(buf.data()),
              static_cast<uint32_t>(buf.size() / 2)};
          props->Set(pid);
        } else if (shape == Shape::kGuid) {
          if (ParseGuidText(v.text, GuidSlot(pid, props)->bytes))
            props->Set(pid);
        } else if (shape == Shape::kSid) {
          if (ParseSidText(v.text, &fallback_sid_)) {
            props->user_sid = fallback_sid_.data();
            props->user_sid_size = static_cast<uint32_t>(fallback_sid_.size());
            props->Set(pid);
          }
        } else if (shape == Shape::kNumber) {
          uint64_t n = 0;
          if (ParseNumber(v.text, &n)) SetNumber(pid, n, props);
        } else {
          uint64_t ticks = 0;
          if (ParseFileTimeText(v.text, &ticks)) SetNumber(pid, ticks, props);
        }
      };
      if (!e.text.text.empty() || e.text.type != ValueType::kNull)
        take(ElementProperty(e.name), e.text);
      for (const Attribute& a : e.attributes)
        take(AttributeProperty(e.name, a.name), a.value);
    }
  }
  return DecodeStatus::kOk;
}

}  // namespace evtx
