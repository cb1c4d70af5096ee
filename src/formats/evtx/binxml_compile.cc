// Turns BinXml bytes into the op list of binxml_program.h and keeps the
// chunk's name table. Every read is checked against the fragment end; element
// nesting uses an explicit stack capped at kMaxElementDepth.
#include <cstddef>

#include "formats/evtx/binxml_program.h"
#include "formats/evtx/bytes.h"
#include "formats/evtx/value_format.h"

namespace evtx {

void NameTable::Reset(const uint8_t* chunk, uint32_t chunk_size) {
  chunk_ = chunk;
  chunk_size_ = chunk_size;
  by_offset_.clear();
  entries_.clear();
  arena_.clear();
}

bool NameTable::Lookup(uint32_t offset, uint32_t* id) {
  auto it = by_offset_.find(offset);
  if (it != by_offset_.end()) {
    *id = it->second;
    return true;
  }
  if (offset > chunk_size_ || chunk_size_ - offset < 8) return false;
  const uint32_t units = LoadU16(chunk_ + offset + 6);
  if ((chunk_size_ - offset - 8) / 2 < units) return false;
  Entry e{static_cast<uint32_t>(arena_.size()), 0};
  AppendUtf16(chunk_ + offset + 8, units, Escape::kNone, &arena_);
  e.size = static_cast<uint32_t>(arena_.size()) - e.begin;
  *id = static_cast<uint32_t>(entries_.size());
  entries_.push_back(e);
  by_offset_.emplace(offset, *id);
  return true;
}

namespace {

class Compiler {
 public:
  Compiler(const uint8_t* chunk, uint32_t end, bool in_template,
           NameTable* names, std::vector<Op>* ops, std::vector<uint16_t>* conds)
      : chunk_(chunk),
        end_(end),
        in_template_(in_template),
        names_(names),
        ops_(ops),
        conds_(conds) {}

  DecodeStatus Run(uint32_t pos, uint32_t* stop);

 private:
  bool Has(uint32_t pos, uint32_t n) const {
    return pos <= end_ && end_ - pos >= n;
  }
  // Reads a name offset at `*pos` and skips an inline name record.
  DecodeStatus ReadName(uint32_t* pos, uint32_t* id);
  DecodeStatus ReadText(uint32_t* pos, OpKind kind);
  Op& Push(OpKind kind) {
    ops_->emplace_back();
    ops_->back().kind = kind;
    return ops_->back();
  }

  struct Open {
    uint32_t op;
    uint32_t pending_mark;
  };

  const uint8_t* chunk_;
  uint32_t end_;
  bool in_template_;
  NameTable* names_;
  std::vector<Op>* ops_;
  std::vector<uint16_t>* conds_;
  std::vector<Open> stack_;
  std::vector<uint16_t> pending_;
  bool in_attribute_ = false;
};

DecodeStatus Compiler::ReadName(uint32_t* pos, uint32_t* id) {
  if (!Has(*pos, 4)) return DecodeStatus::kOutOfBounds;
  const uint32_t offset = LoadU32(chunk_ + *pos);
  *pos += 4;
  if (offset == *pos) {
    if (!Has(*pos, 8)) return DecodeStatus::kOutOfBounds;
    const uint32_t units = LoadU16(chunk_ + *pos + 6);
    if (!Has(*pos, 10 + 2 * units)) return DecodeStatus::kOutOfBounds;
    *pos += 10 + 2 * units;
  }
  return names_->Lookup(offset, id) ? DecodeStatus::kOk
                                    : DecodeStatus::kBadName;
}

DecodeStatus Compiler::ReadText(uint32_t* pos, OpKind kind) {
  if (!Has(*pos, 2)) return DecodeStatus::kOutOfBounds;
  const uint32_t units = LoadU16(chunk_ + *pos);
  *pos += 2;
  if (!Has(*pos, 2 * units)) return DecodeStatus::kOutOfBounds;
  Op& op = Push(kind);
  op.text_offset = *pos;
  op.text_units = units;
  *pos += 2 * units;
  return DecodeStatus::kOk;
}

DecodeStatus Compiler::Run(uint32_t pos, uint32_t* stop) {
  while (pos < end_) {
    const uint8_t token = chunk_[pos++];
    const uint8_t base = token & 0x0F;
    const bool more = (token & 0x40) != 0;
    if ((token & ~0x4F) != 0) return DecodeStatus::kBadToken;
    DecodeStatus st = DecodeStatus::kOk;
    switch (base) {
      case 0x00:
        if (!stack_.empty()) return DecodeStatus::kBadTemplate;
        *stop = pos;
        return DecodeStatus::kOk;
      case 0x01: {
        if (stack_.size() >= kMaxElementDepth) return DecodeStatus::kTooDeep;
        uint16_t dependency = kNoIndex;
        if (in_template_) {
          if (!Has(pos, 2)) return DecodeStatus::kOutOfBounds;
          dependency = LoadU16(chunk_ + pos);
          pos += 2;
        }
        if (!Has(pos, 4)) return DecodeStatus::kOutOfBounds;
        pos += 4;  // element data size: not needed, content is compiled
        uint32_t name;
        if ((st = ReadName(&pos, &name)) != DecodeStatus::kOk) return st;
        if (more) {
          if (!Has(pos, 4)) return DecodeStatus::kOutOfBounds;
          pos += 4;  // attribute list size
        }
        if (dependency != kNoIndex) pending_.push_back(dependency);
        stack_.push_back({static_cast<uint32_t>(ops_->size()),
                          static_cast<uint32_t>(pending_.size()) -
                              (dependency != kNoIndex ? 1 : 0)});
        Push(OpKind::kElementStart).name = name;
        in_attribute_ = false;
        break;
      }
      case 0x02:
        if (stack_.empty()) return DecodeStatus::kBadToken;
        Push(OpKind::kCloseStart);
        in_attribute_ = false;
        break;
      case 0x03:
      case 0x04: {
        if (stack_.empty()) return DecodeStatus::kBadToken;
        const Open open = stack_.back();
        stack_.pop_back();
        Op& end_op = Push(OpKind::kElementEnd);
        end_op.flags = base == 0x03 ? kOpEmptyClose : 0;
        Op& start = (*ops_)[open.op];
        start.end = static_cast<uint32_t>(ops_->size()) - 1;
        start.cond_begin = static_cast<uint32_t>(conds_->size());
        start.cond_count =
            static_cast<uint32_t>(pending_.size()) - open.pending_mark;
        conds_->insert(conds_->end(), pending_.begin() + open.pending_mark,
                       pending_.end());
        pending_.resize(open.pending_mark);
        in_attribute_ = false;
        break;
      }
      case 0x05: {
        if (!Has(pos, 1)) return DecodeStatus::kOutOfBounds;
        ++pos;  // value type: always a UTF-16 string
        if ((st = ReadText(&pos, OpKind::kText)) != DecodeStatus::kOk)
          return st;
        break;
      }
      case 0x06: {
        if (stack_.empty()) return DecodeStatus::kBadToken;
        uint32_t name;
        if ((st = ReadName(&pos, &name)) != DecodeStatus::kOk) return st;
        Push(OpKind::kAttribute).name = name;
        in_attribute_ = true;
        break;
      }
      case 0x07:
        if ((st = ReadText(&pos, OpKind::kCData)) != DecodeStatus::kOk)
          return st;
        break;
      case 0x08:
        if (!Has(pos, 2)) return DecodeStatus::kOutOfBounds;
        Push(OpKind::kCharRef).index = LoadU16(chunk_ + pos);
        pos += 2;
        break;
      case 0x09:
      case 0x0A: {
        uint32_t name;
        if ((st = ReadName(&pos, &name)) != DecodeStatus::kOk) return st;
        Push(base == 0x09 ? OpKind::kEntityRef : OpKind::kPITarget).name = name;
        break;
      }
      case 0x0B:
        if ((st = ReadText(&pos, OpKind::kPIData)) != DecodeStatus::kOk)
          return st;
        break;
      case 0x0D:
      case 0x0E: {
        if (!Has(pos, 3)) return DecodeStatus::kOutOfBounds;
        Op& op = Push(OpKind::kSubst);
        op.index = LoadU16(chunk_ + pos);
        op.value_type = chunk_[pos + 2];
        op.flags = base == 0x0E ? kOpOptional : 0;
        pos += 3;
        if (!in_attribute_ && !stack_.empty()) {
          Op& owner = (*ops_)[stack_.back().op];
          if (owner.array_subst == kNoIndex) owner.array_subst = op.index;
          if (base == 0x0E) pending_.push_back(op.index);
        }
        break;
      }
      case 0x0F:
        if (!Has(pos, 3)) return DecodeStatus::kOutOfBounds;
        pos += 3;
        break;
      default:  // 0x0C: template instances only start a record or value
        return DecodeStatus::kBadToken;
    }
  }
  if (!stack_.empty()) return DecodeStatus::kOutOfBounds;
  *stop = pos;
  return DecodeStatus::kOk;
}

}  // namespace

DecodeStatus CompileBinXml(const uint8_t* chunk, uint32_t pos, uint32_t end,
                           bool in_template, NameTable* names,
                           std::vector<Op>* ops, std::vector<uint16_t>* conds,
                           uint32_t* stop) {
  const size_t ops_before = ops->size();
  const size_t conds_before = conds->size();
  Compiler compiler(chunk, end, in_template, names, ops, conds);
  const DecodeStatus st = compiler.Run(pos, stop);
  if (st != DecodeStatus::kOk) {
    ops->resize(ops_before);
    conds->resize(conds_before);
  }
  return st;
}

}  // namespace evtx
