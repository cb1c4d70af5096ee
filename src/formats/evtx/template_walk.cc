// Walks a compiled template with a record's values and hands the result to a
// sink: XmlSink writes EvtRender-style event XML, TreeSink fills an EventTree.
// Element nesting is an explicit stack; nested BinXml values recurse at most
// kMaxValueNesting deep.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/evtx/bytes.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/value_format.h"

namespace evtx {

class ChunkDecoder::XmlSink {
 public:
  static constexpr bool kMaySkip = false;
  XmlSink(const NameTable* names, std::string* out)
      : names_(names), out_(out) {}

  void StartElement(uint32_t name) {
    out_->push_back('<');
    out_->append(names_->Get(name));
  }
  void BeginAttribute(uint32_t name) {
    attr_mark_ = out_->size();
    out_->push_back(' ');
    out_->append(names_->Get(name));
    out_->append("='");
    value_mark_ = out_->size();
    escape_ = Escape::kAttribute;
  }
  void EndAttribute() {
    // Windows leaves out attributes whose value renders empty.
    if (out_->size() == value_mark_) {
      out_->resize(attr_mark_);
    } else {
      out_->push_back('\'');
    }
    escape_ = Escape::kText;
  }
  void CloseStart() { out_->push_back('>'); }
  void EndElement(uint32_t name, bool empty) {
    if (empty) {
      out_->append("/>");
    } else {
      out_->append("</");
      out_->append(names_->Get(name));
      out_->push_back('>');
    }
  }
  void Text(const uint8_t* le, uint32_t units) {
    AppendUtf16(le, units, escape_, out_);
  }
  void CData(const uint8_t* le, uint32_t units) {
    out_->append("<![CDATA[");
    AppendUtf16(le, units, Escape::kNone, out_);
    out_->append("]]>");
  }
  void CharRef(uint16_t unit) {
    out_->append("&#");
    out_->append(std::to_string(unit));
    out_->push_back(';');
  }
  void EntityRef(uint32_t name) {
    out_->push_back('&');
    out_->append(names_->Get(name));
    out_->push_back(';');
  }
  void PITarget(uint32_t name) {
    out_->append("<?");
    out_->append(names_->Get(name));
  }
  void PIData(const uint8_t* le, uint32_t units) {
    out_->push_back(' ');
    AppendUtf16(le, units, Escape::kNone, out_);
    out_->append("?>");
  }
  void ValueText(uint8_t type, const uint8_t* data, uint32_t size) {
    AppendValueText(type, data, size, escape_, out_);
  }
  void ValueSeparator() { out_->push_back(','); }

 private:
  const NameTable* names_;
  std::string* out_;
  size_t attr_mark_ = 0;
  size_t value_mark_ = 0;
  Escape escape_ = Escape::kText;
};

namespace {

// Builds the character content of one value the way the tree keeps it: a
// lone substitution keeps its type; text, references and further pieces turn
// it into plain kString text, concatenated. Writes nowhere while its target
// is null.
class ContentWriter {
 public:
  void Retarget(Value* target, uint32_t* pieces) {
    target_ = target;
    pieces_ = pieces;
  }
  bool active() const { return target_ != nullptr; }

  void Text(const uint8_t* le, uint32_t units) {
    if (target_ == nullptr) return;
    AsString();
    AppendUtf16(le, units, Escape::kNone, &target_->text);
  }
  void CharRef(uint16_t unit) {
    if (target_ == nullptr) return;
    AsString();
    uint8_t le[2];
    StoreU16(le, unit);
    AppendUtf16(le, 1, Escape::kNone, &target_->text);
  }
  void EntityRef(std::string_view n) {
    if (target_ == nullptr) return;
    AsString();
    if (n == "amp")
      target_->text.push_back('&');
    else if (n == "lt")
      target_->text.push_back('<');
    else if (n == "gt")
      target_->text.push_back('>');
    else if (n == "quot")
      target_->text.push_back('"');
    else if (n == "apos")
      target_->text.push_back('\'');
    else
      target_->text.append("&").append(n).append(";");
  }
  void ValueText(uint8_t type, const uint8_t* data, uint32_t size) {
    if (target_ == nullptr) return;
    if (*pieces_ == 0) {
      FillValue(type, data, size, target_);
      *pieces_ = 1;
      return;
    }
    AsString();
    AppendValueText(type, data, size, Escape::kNone, &target_->text);
  }
  void ValueSeparator() {
    if (target_ == nullptr) return;
    AsString();
    target_->text.push_back(',');
  }

 private:
  // A second piece of content turns a typed value into plain text.
  void AsString() {
    if (*pieces_ != 0) {
      target_->type = ValueType::kString;
      target_->u = 0;
      target_->d = 0.0;
    } else {
      target_->type = ValueType::kString;
    }
    *pieces_ += 1;
  }

  Value* target_ = nullptr;
  uint32_t* pieces_ = nullptr;
};

// What the two tree sinks share: an element's content goes to the
// ContentWriter, aimed by each sink at what it builds.
class ContentSink {
 public:
  void CloseStart() {}
  void Text(const uint8_t* le, uint32_t units) { content_.Text(le, units); }
  void CData(const uint8_t* le, uint32_t units) { content_.Text(le, units); }
  void CharRef(uint16_t unit) { content_.CharRef(unit); }
  void EntityRef(uint32_t name) {
    if (content_.active()) content_.EntityRef(names_->Get(name));
  }
  void PITarget(uint32_t) {}
  void PIData(const uint8_t*, uint32_t) {}
  void ValueText(uint8_t type, const uint8_t* data, uint32_t size) {
    content_.ValueText(type, data, size);
  }
  void ValueSeparator() { content_.ValueSeparator(); }

 protected:
  explicit ContentSink(const NameTable* names) : names_(names) {}

  const NameTable* names_;
  ContentWriter content_;
};

}  // namespace

class ChunkDecoder::TreeSink : public ContentSink {
 public:
  // Skips only when asked for the System part alone: then the root's other
  // children are kept as empty elements.
  static constexpr bool kMaySkip = true;
  bool SkipsContent() const {
    return system_only_ && stack_.size() == 2 &&
           tree_->elements[stack_.back().element].name != "System";
  }
  TreeSink(const NameTable* names, EventTree* tree, bool system_only)
      : ContentSink(names), tree_(tree), system_only_(system_only) {
    content_.Retarget(nullptr, &attr_pieces_);
  }

  void StartElement(uint32_t name) {
    const uint32_t index = static_cast<uint32_t>(tree_->elements.size());
    if (!stack_.empty())
      tree_->elements[stack_.back().element].children.push_back(index);
    tree_->elements.emplace_back();
    tree_->elements.back().name.assign(names_->Get(name));
    stack_.push_back({index, 0});
    content_.Retarget(&tree_->elements.back().text, &stack_.back().pieces);
  }
  void BeginAttribute(uint32_t name) {
    Element& e = tree_->elements[stack_.back().element];
    e.attributes.emplace_back();
    e.attributes.back().name.assign(names_->Get(name));
    attr_pieces_ = 0;
    content_.Retarget(&e.attributes.back().value, &attr_pieces_);
  }
  void EndAttribute() {
    Element& e = tree_->elements[stack_.back().element];
    if (e.attributes.back().value.text.empty()) e.attributes.pop_back();
    RestoreElementTarget();
  }
  void EndElement(uint32_t, bool) {
    if (!stack_.empty()) stack_.pop_back();
    RestoreElementTarget();
  }

 private:
  struct Frame {
    uint32_t element;
    uint32_t pieces;
  };
  void RestoreElementTarget() {
    if (stack_.empty()) {
      content_.Retarget(nullptr, &attr_pieces_);
      return;
    }
    content_.Retarget(&tree_->elements[stack_.back().element].text,
                      &stack_.back().pieces);
  }

  EventTree* tree_;
  const bool system_only_;
  std::vector<Frame> stack_;
  uint32_t attr_pieces_ = 0;
};

// Keeps only the event's data items: the content of the root's first
// EventData's Data children and of every element below the root's first
// UserData (leaves are picked once the walk has shown which elements have
// children). Each is built as TreeSink builds element text, so the items are
// the tree's texts without the tree.
class ChunkDecoder::DataItemSink : public ContentSink {
 public:
  // Elements that hold no item and cannot be above one are not walked.
  static constexpr bool kMaySkip = true;
  bool SkipsContent() const {
    return stack_->back().role == DataItemFrame::Role::kOther;
  }
  DataItemSink(const NameTable* names, std::vector<DataItemSlot>* slots,
               std::vector<DataItemFrame>* stack)
      : ContentSink(names), slots_(slots), stack_(stack) {
    stack_->clear();
  }

  // EventData's items when the root has an EventData, else the leaves
  // below its UserData.
  void Collect(std::vector<std::string>* items) const {
    const bool user = !saw_event_data_;
    size_t count = 0;
    for (size_t s = 0; s < used_; ++s) count += Picked((*slots_)[s], user);
    items->resize(count);
    size_t i = 0;
    for (size_t s = 0; s < used_; ++s) {
      const DataItemSlot& slot = (*slots_)[s];
      if (!Picked(slot, user)) continue;
      std::string& item = (*items)[i++];
      item.clear();
      AppendInsertText(slot.value, &item);
    }
  }
  bool saw_root() const { return saw_root_; }

  void StartElement(uint32_t name) {
    using Role = DataItemFrame::Role;
    Role role = Role::kOther;
    if (stack_->empty()) {
      role = saw_root_ ? Role::kOther : Role::kRoot;
      saw_root_ = true;
    } else {
      DataItemFrame& parent = stack_->back();
      switch (parent.role) {
        case Role::kRoot: {
          const std::string_view n = names_->Get(name);
          if (!saw_event_data_ && n == "EventData") {
            saw_event_data_ = true;
            role = Role::kEventData;
          } else if (!saw_user_data_ && n == "UserData") {
            saw_user_data_ = true;
            role = Role::kUserData;
          }
          break;
        }
        case Role::kEventData:
          if (names_->Get(name) == "Data") role = Role::kItem;
          break;
        case Role::kUserItem:
          (*slots_)[parent.slot].leaf = false;
          role = Role::kUserItem;
          break;
        case Role::kUserData:
          role = Role::kUserItem;
          break;
        default:
          break;
      }
    }
    DataItemFrame frame{role, kNoSlot, 0};
    if (role == Role::kItem || role == Role::kUserItem) {
      frame.slot = static_cast<uint32_t>(used_);
      NewSlot(role == Role::kUserItem);
    }
    stack_->push_back(frame);
    RestoreElementTarget();
  }
  void BeginAttribute(uint32_t) { content_.Retarget(nullptr, nullptr); }
  void EndAttribute() { RestoreElementTarget(); }
  void EndElement(uint32_t, bool) {
    if (!stack_->empty()) stack_->pop_back();
    RestoreElementTarget();
  }

 private:
  static constexpr uint32_t kNoSlot = ~0u;
  static bool Picked(const DataItemSlot& s, bool user) {
    return user ? s.user && s.leaf : !s.user;
  }
  // Slots are kept from record to record, so their texts keep their
  // capacity.
  void NewSlot(bool user) {
    if (used_ == slots_->size()) slots_->emplace_back();
    DataItemSlot& s = (*slots_)[used_++];
    s.value.type = ValueType::kNull;
    s.value.u = 0;
    s.value.d = 0.0;
    s.value.text.clear();
    s.user = user;
    s.leaf = true;
  }
  // Slots may move as items are added: the target is found again from the
  // innermost element each time.
  void RestoreElementTarget() {
    if (stack_->empty() || stack_->back().slot == kNoSlot) {
      content_.Retarget(nullptr, nullptr);
      return;
    }
    DataItemFrame& top = stack_->back();
    content_.Retarget(&(*slots_)[top.slot].value, &top.pieces);
  }

  std::vector<DataItemSlot>* slots_;
  std::vector<DataItemFrame>* stack_;
  size_t used_ = 0;  // slots of this record
  bool saw_root_ = false;
  bool saw_event_data_ = false;
  bool saw_user_data_ = false;
};

template <typename Sink>
DecodeStatus ChunkDecoder::Walk(const Fragment& f, Sink* sink, int nesting) {
  if (nesting > kMaxValueNesting) return DecodeStatus::kTooDeep;
  const std::vector<Op>& ops = f.is_instance ? ops_ : scratch_ops_;
  const std::vector<uint16_t>& conds = f.is_instance ? conds_ : scratch_conds_;
  uint32_t begin = f.op_begin, end = f.op_end;
  if (f.is_instance) {
    begin = templates_[f.template_index].op_begin;
    end = templates_[f.template_index].op_end;
  }
  auto value_at = [&](uint16_t index) -> const ValueRef* {
    if (!f.is_instance || index >= f.values_count) return nullptr;
    const ValueRef* v = &values_[f.values_begin + index];
    return v->type == static_cast<uint8_t>(ValueType::kNull) ? nullptr : v;
  };
  struct Frame {
    uint32_t start;
    const uint8_t* cursor;  // next array item, when repeating
    const uint8_t* array_end;
    const uint8_t* item;  // current array item
    size_t item_size;
    bool repeating;
  };
  Frame stack[kMaxElementDepth + 1];
  uint32_t depth = 0;
  bool in_attr = false;
  for (uint32_t i = begin; i < end;) {
    const Op op = ops[i];  // copy: nested walks may grow the op vectors
    switch (op.kind) {
      case OpKind::kElementStart: {
        bool drop = false;
        for (uint32_t c = 0; c < op.cond_count && !drop; ++c) {
          drop = value_at(conds[op.cond_begin + c]) == nullptr;
        }
        if (drop || depth >= kMaxElementDepth) {
          i = op.end + 1;
          continue;
        }
        Frame& fr = stack[depth++];
        fr = Frame{i, nullptr, nullptr, nullptr, 0, false};
        const ValueRef* v =
            op.array_subst != kNoIndex ? value_at(op.array_subst) : nullptr;
        if (v != nullptr && (v->type & kArrayFlag) != 0) {
          fr.repeating = true;
          fr.cursor = chunk_ + v->offset;
          fr.array_end = fr.cursor + v->size;
          if (!NextArrayItem(v->type & ~kArrayFlag, &fr.cursor, fr.array_end,
                             &fr.item, &fr.item_size)) {
            fr.item = nullptr;  // empty array: the element appears once, empty
          }
        }
        sink->StartElement(op.name);
        in_attr = false;
        // Content the sink ignores is passed over, unless a nested document
        // inside it could fail the walk.
        if constexpr (Sink::kMaySkip) {
          if (!fr.repeating && sink->SkipsContent()) {
            bool nested = false;
            for (uint32_t j = i + 1; j < op.end && j < end && !nested; ++j) {
              const ValueRef* held =
                  ops[j].kind == OpKind::kSubst ? value_at(ops[j].index)
                                                : nullptr;
              nested = held != nullptr &&
                       held->type == static_cast<uint8_t>(ValueType::kBinXml);
            }
            if (!nested && op.end > i && op.end < end) {
              i = op.end;  // its end, which closes it
              continue;
            }
          }
        }
        ++i;
        continue;
      }
      case OpKind::kAttribute: {
        if (in_attr) sink->EndAttribute();
        in_attr = false;
        uint32_t j = i + 1;
        bool drop = false;
        for (; j < end; ++j) {
          const Op& p = ops[j];
          if (p.kind == OpKind::kSubst) {
            if ((p.flags & kOpOptional) && value_at(p.index) == nullptr)
              drop = true;
          } else if (p.kind != OpKind::kText && p.kind != OpKind::kCharRef &&
                     p.kind != OpKind::kEntityRef) {
            break;
          }
        }
        if (drop) {
          i = j;
          continue;
        }
        sink->BeginAttribute(op.name);
        in_attr = true;
        ++i;
        continue;
      }
      case OpKind::kCloseStart:
        if (in_attr) sink->EndAttribute();
        in_attr = false;
        sink->CloseStart();
        break;
      case OpKind::kElementEnd: {
        if (in_attr) sink->EndAttribute();
        in_attr = false;
        if (depth == 0) break;
        Frame& fr = stack[depth - 1];
        const uint32_t name = ops[fr.start].name;
        sink->EndElement(name, (op.flags & kOpEmptyClose) != 0);
        if (fr.repeating && fr.item != nullptr &&
            NextArrayItem(
                values_[f.values_begin + ops[fr.start].array_subst].type &
                    ~kArrayFlag,
                &fr.cursor, fr.array_end, &fr.item, &fr.item_size)) {
          sink->StartElement(name);
          i = fr.start + 1;
          continue;
        }
        --depth;
        break;
      }
      case OpKind::kText:
        sink->Text(chunk_ + op.text_offset, op.text_units);
        break;
      case OpKind::kCData:
        sink->CData(chunk_ + op.text_offset, op.text_units);
        break;
      case OpKind::kCharRef:
        sink->CharRef(op.index);
        break;
      case OpKind::kEntityRef:
        sink->EntityRef(op.name);
        break;
      case OpKind::kPITarget:
        sink->PITarget(op.name);
        break;
      case OpKind::kPIData:
        sink->PIData(chunk_ + op.text_offset, op.text_units);
        break;
      case OpKind::kSubst: {
        const ValueRef* v = value_at(op.index);
        if (v == nullptr) break;
        const ValueRef value = *v;
        const uint8_t* data = chunk_ + value.offset;
        if (value.type == static_cast<uint8_t>(ValueType::kBinXml)) {
          if (in_attr) break;  // nested documents only make sense as content
          const size_t values_mark = values_.size();
          const size_t ops_mark = scratch_ops_.size();
          const size_t conds_mark = scratch_conds_.size();
          Fragment nested;
          DecodeStatus st =
              OpenFragment(value.offset, value.offset + value.size, &nested);
          if (st == DecodeStatus::kOk) st = Walk(nested, sink, nesting + 1);
          values_.resize(values_mark);
          scratch_ops_.resize(ops_mark);
          scratch_conds_.resize(conds_mark);
          if (st != DecodeStatus::kOk && st != DecodeStatus::kNoEvent)
            return st;
          break;
        }
        if ((value.type & kArrayFlag) == 0) {
          sink->ValueText(value.type, data, value.size);
          break;
        }
        const uint8_t base = value.type & ~kArrayFlag;
        if (!in_attr && depth > 0 && stack[depth - 1].repeating &&
            ops[stack[depth - 1].start].array_subst == op.index) {
          const Frame& fr = stack[depth - 1];
          if (fr.item != nullptr)
            sink->ValueText(base, fr.item, static_cast<uint32_t>(fr.item_size));
          break;
        }
        // An array outside an element of its own: items joined by commas.
        const uint8_t* cursor = data;
        const uint8_t* item;
        size_t item_size;
        bool first = true;
        while (NextArrayItem(base, &cursor, data + value.size, &item,
                             &item_size)) {
          if (!first) sink->ValueSeparator();
          sink->ValueText(base, item, static_cast<uint32_t>(item_size));
          first = false;
        }
        break;
      }
    }
    ++i;
  }
  return DecodeStatus::kOk;
}

template <typename Sink>
DecodeStatus ChunkDecoder::WalkRecord(const RecordRef& record, Sink* sink) {
  Fragment f;
  const DecodeStatus st = OpenRecord(record, &f);
  if (st != DecodeStatus::kOk) return st;
  return Walk(f, sink, 0);
}

DecodeStatus ChunkDecoder::RenderXml(const RecordRef& record,
                                     std::string* xml) {
  xml->clear();
  XmlSink sink(&names_, xml);
  const DecodeStatus st = WalkRecord(record, &sink);
  return st == DecodeStatus::kOk && xml->empty() ? DecodeStatus::kNoEvent : st;
}

DecodeStatus ChunkDecoder::BuildTree(const RecordRef& record, EventTree* tree) {
  return BuildTreeOf(record, tree, false);
}

DecodeStatus ChunkDecoder::BuildSystemPart(const RecordRef& record,
                                           EventTree* tree) {
  return BuildTreeOf(record, tree, true);
}

DecodeStatus ChunkDecoder::BuildTreeOf(const RecordRef& record,
                                       EventTree* tree, bool system_only) {
  tree->Clear();
  TreeSink sink(&names_, tree, system_only);
  const DecodeStatus st = WalkRecord(record, &sink);
  return st == DecodeStatus::kOk && tree->Root() == nullptr
             ? DecodeStatus::kNoEvent
             : st;
}

namespace {

// An item's text moved out of the tree, as a message insert.
std::string TakeInsert(Value* value) {
  if (value->type != ValueType::kFileTime &&
      value->type != ValueType::kSysTime &&
      value->type != ValueType::kHexInt32 &&
      value->type != ValueType::kHexInt64) {
    return std::move(value->text);
  }
  std::string text;
  AppendInsertText(*value, &text);
  return text;
}

}  // namespace

void TakeDataItems(EventTree* tree, std::vector<std::string>* items) {
  items->clear();
  const Element* root = tree->Root();
  if (root == nullptr) return;
  Element* event_data = nullptr;
  Element* user_data = nullptr;
  for (uint32_t c : root->children) {
    if (c >= tree->elements.size()) continue;
    Element& e = tree->elements[c];
    if (event_data == nullptr && e.name == "EventData") event_data = &e;
    if (user_data == nullptr && e.name == "UserData") user_data = &e;
  }
  if (event_data != nullptr) {
    items->reserve(event_data->children.size());
    for (uint32_t c : event_data->children) {
      if (c < tree->elements.size() && tree->elements[c].name == "Data")
        items->push_back(TakeInsert(&tree->elements[c].text));
    }
    return;
  }
  if (user_data == nullptr) return;
  // Leaves in document order, with an explicit stack (the tree's depth is
  // bounded, but not by much).
  std::vector<uint32_t> stack(user_data->children.rbegin(),
                              user_data->children.rend());
  while (!stack.empty()) {
    const uint32_t index = stack.back();
    stack.pop_back();
    if (index >= tree->elements.size()) continue;
    Element& e = tree->elements[index];
    if (e.children.empty()) {
      items->push_back(TakeInsert(&e.text));
      continue;
    }
    stack.insert(stack.end(), e.children.rbegin(), e.children.rend());
  }
}

// Plans cover the two common shapes, as the walk would read them:
//  - kPlain: an unconditional-looking root whose first EventData child
//    holds Data children of at most one substitution each (besides
//    attributes, which hold no item); EventData's other children hold no
//    item and are passed over, as the walk passes them over;
//  - kNested: a root without an EventData child, whose EventData comes in
//    a substitution of its own content holding a nested document: a
//    template instance whose root is an EventData of the first shape
//    (kEventDataRoot).
// Drop conditions and value types are checked per record; anything else
// is left to the walk.
void ChunkDecoder::PlanDataItems(Template* t) {
  t->items.state = DataItemPlan::kWalk;
  if (t->status != DecodeStatus::kOk || t->op_begin >= t->op_end) return;
  const uint32_t root = t->op_begin;
  const Op& root_op = ops_[root];
  if (root_op.kind != OpKind::kElementStart || root_op.end + 1 != t->op_end)
    return;
  // Data children of the element at `parent`, or false.
  const auto plan_items = [&](uint32_t parent) {
    const Op& p = ops_[parent];
    for (uint32_t i = parent + 1; i < p.end;) {
      const Op& op = ops_[i];
      if (op.kind != OpKind::kElementStart) {
        ++i;
        continue;
      }
      if (op.end <= i || op.end >= p.end) return false;
      if (names_.Get(op.name) == "Data") {
        // Attributes and their pieces, then '>' and one substitution at most.
        uint32_t j = i + 1;
        while (j < op.end && ops_[j].kind != OpKind::kCloseStart) ++j;
        uint16_t subst = kNoIndex;
        if (j < op.end) {
          ++j;
          if (j < op.end && ops_[j].kind == OpKind::kSubst)
            subst = ops_[j++].index;
        }
        if (j != op.end) return false;
        planned_items_.push_back(
            PlannedItem{subst, op.cond_begin, op.cond_count});
      }
      i = op.end + 1;
    }
    return true;
  };
  const uint32_t first = static_cast<uint32_t>(planned_items_.size());
  const auto finish = [&](DataItemPlan::State state, uint32_t event_data) {
    const auto count =
        static_cast<uint32_t>(planned_items_.size()) - first;
    t->items = DataItemPlan{state, first, count, {root, event_data}};
  };
  if (names_.Get(root_op.name) == "EventData") {
    if (plan_items(root)) {
      finish(DataItemPlan::kEventDataRoot, root);
    } else {
      planned_items_.resize(first);
    }
    return;
  }
  // The root's first EventData child, and the substitutions of its own
  // content (after its attributes).
  bool content = false;
  for (uint32_t i = root + 1; i < root_op.end;) {
    const Op& op = ops_[i];
    if (op.kind == OpKind::kCloseStart) content = true;
    if (op.kind == OpKind::kSubst && content) {
      planned_items_.push_back(PlannedItem{op.index, 0, 0});
    }
    if (op.kind != OpKind::kElementStart) {
      ++i;
      continue;
    }
    if (op.end <= i) break;
    if (names_.Get(op.name) == "EventData") {
      planned_items_.resize(first);
      if (plan_items(i)) {
        finish(DataItemPlan::kPlain, i);
      } else {
        planned_items_.resize(first);
      }
      return;
    }
    i = op.end + 1;
  }
  // No EventData element: the substitutions that may hold one.
  finish(DataItemPlan::kNested, root);
}

bool ChunkDecoder::ReadPlannedItems(const Fragment& f, const Template& t,
                                    int nesting,
                                    std::vector<std::string>* items) {
  const DataItemPlan& plan = t.items;
  const ValueRef* values = values_.data() + f.values_begin;
  const auto value_at = [&](uint16_t index) -> const ValueRef* {
    if (index >= f.values_count) return nullptr;
    const ValueRef* v = &values[index];
    return v->type == static_cast<uint8_t>(ValueType::kNull) ? nullptr : v;
  };
  const auto dropped = [&](uint32_t cond_begin, uint32_t cond_count) {
    for (uint32_t c = 0; c < cond_count; ++c) {
      if (value_at(conds_[cond_begin + c]) == nullptr) return true;
    }
    return false;
  };
  // Without its root or its EventData, or with either repeated for an
  // array, the event's items are found elsewhere, or nowhere.
  for (const uint32_t outer : plan.outer) {
    const Op& op = ops_[outer];
    if (dropped(op.cond_begin, op.cond_count)) return false;
    const ValueRef* repeats = value_at(op.array_subst);
    if (repeats != nullptr && (repeats->type & kArrayFlag) != 0) return false;
  }
  const auto is_document = [](const ValueRef& v) {
    return v.type == static_cast<uint8_t>(ValueType::kBinXml);
  };
  if (plan.state == DataItemPlan::kNested) {
    if (nesting != 0) return false;
    // One of the root's own substitutions holds the EventData document;
    // a document anywhere else may fail the walk.
    const ValueRef* document = nullptr;
    for (uint32_t k = 0; k < plan.count; ++k) {
      const ValueRef* v = value_at(planned_items_[plan.first + k].subst);
      if (v == nullptr || !is_document(*v)) continue;
      if (document != nullptr) return false;
      document = v;
    }
    if (document == nullptr) return false;
    uint32_t documents = 0;
    for (uint32_t v = 0; v < f.values_count; ++v)
      documents += is_document(values[v]) ? 1 : 0;
    if (documents != 1) return false;
    Fragment inner;
    const ValueRef held = *document;  // values_ grows below
    if (OpenFragment(held.offset, held.offset + held.size, &inner) !=
            DecodeStatus::kOk ||
        !inner.is_instance) {
      return false;
    }
    Template& nested = templates_[inner.template_index];
    if (nested.items.state == DataItemPlan::kUnknown) PlanDataItems(&nested);
    if (nested.items.state != DataItemPlan::kEventDataRoot) return false;
    return ReadPlannedItems(inner, nested, nesting + 1, items);
  }
  if (plan.state == DataItemPlan::kEventDataRoot && nesting == 0) return false;
  for (uint32_t v = 0; v < f.values_count; ++v) {
    if (is_document(values[v])) return false;
  }
  size_t count = 0;
  for (uint32_t k = 0; k < plan.count; ++k) {
    const PlannedItem& item = planned_items_[plan.first + k];
    if (dropped(item.cond_begin, item.cond_count)) continue;
    const ValueRef* v = item.subst == kNoIndex ? nullptr : value_at(item.subst);
    // An array repeats its element, one item each: the walk does that.
    if (v != nullptr && (v->type & kArrayFlag) != 0) return false;
    if (count == items->size()) items->emplace_back();
    std::string& text = (*items)[count++];
    text.clear();
    if (v != nullptr) {
      AppendInsertText(v->type, chunk_ + v->offset, v->size, &text);
    }
  }
  items->resize(count);
  return true;
}

DecodeStatus ChunkDecoder::ReadDataItems(const RecordRef& record,
                                         std::vector<std::string>* items) {
  {
    Fragment f;
    const DecodeStatus st = OpenRecord(record, &f);
    if (st != DecodeStatus::kOk) {
      items->clear();
      return st;
    }
    if (f.is_instance) {
      Template& t = templates_[f.template_index];
      if (t.items.state == DataItemPlan::kUnknown) PlanDataItems(&t);
      if ((t.items.state == DataItemPlan::kPlain ||
           t.items.state == DataItemPlan::kNested) &&
          ReadPlannedItems(f, t, 0, items)) {
        return DecodeStatus::kOk;
      }
    }
  }
  DataItemSink sink(&names_, &data_slots_, &data_stack_);
  DecodeStatus st = WalkRecord(record, &sink);
  if (st == DecodeStatus::kOk && !sink.saw_root()) st = DecodeStatus::kNoEvent;
  if (st == DecodeStatus::kOk) {
    sink.Collect(items);
  } else {
    items->clear();
  }
  return st;
}

}  // namespace evtx
