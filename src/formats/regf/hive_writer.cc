// Hive serialization: a cell arena that fills 4 KiB bins, then one pass over
// the key tree, breadth first, writing each key's records. See hive_writer.h.
#include "formats/regf/hive_writer.h"

#include <algorithm>
#include <deque>
#include <span>

#include "formats/regf/hive_layout.h"
#include "formats/regf/le_bytes.h"
#include "formats/regf/name_text.h"

namespace regf {
namespace {

using namespace layout;

constexpr uint32_t AlignUp(uint64_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

// Self-relative security descriptor shared by every key: owner
// BUILTIN\Administrators, group SYSTEM, a DACL granting Everyone
// KEY_ALL_ACCESS, inherited by subkeys. Readers want a valid "sk" cell
// behind each key even though nothing here checks access.
constexpr uint8_t kSecurityDescriptor[] = {
    0x01, 0x00, 0x04, 0x80,  // revision 1, control: self-relative, DACL present
    0x14, 0x00, 0x00, 0x00,  // owner at 20
    0x24, 0x00, 0x00, 0x00,  // group at 36
    0x00, 0x00, 0x00, 0x00,  // no SACL
    0x30, 0x00, 0x00, 0x00,  // DACL at 48
    // S-1-5-32-544
    0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
    // S-1-5-18
    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x12, 0x00, 0x00, 0x00,
    // ACL: revision 2, size 28, one ACE
    0x02, 0x00, 0x1C, 0x00, 0x01, 0x00, 0x00, 0x00,
    // ACCESS_ALLOWED, container+object inherit, size 20, KEY_ALL_ACCESS, S-1-1-0
    0x00, 0x03, 0x14, 0x00, 0x3F, 0x00, 0x0F, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00};
constexpr uint32_t kSkHeaderSize = 20;

// Hands out cells from a growing hive-bins area. A cell that does not fit
// in the current bin starts a new one (large enough for it); the rest of the
// old bin becomes one free cell, as bins must be filled without gaps.
// Spans into the area are invalidated by the next Alloc.
class CellArena {
 public:
  explicit CellArena(uint64_t timestamp) : timestamp_(timestamp) {}

  uint32_t Alloc(size_t payload_size) {
    const uint32_t cell_size = AlignUp(payload_size + kCellHeaderSize, kCellAlignment);
    if (area_.empty() || bin_end_ - used_ < cell_size) {
      CloseBin();
      OpenBin(cell_size);
    }
    const uint32_t offset = used_;
    StoreU32(area_, offset, static_cast<uint32_t>(-static_cast<int32_t>(cell_size)));
    used_ += cell_size;
    return offset;
  }

  std::span<uint8_t> Payload(uint32_t offset) {
    const uint32_t cell_size = static_cast<uint32_t>(-static_cast<int32_t>(LoadU32(area_, offset)));
    return std::span<uint8_t>(area_).subspan(offset + kCellHeaderSize, cell_size - kCellHeaderSize);
  }

  std::vector<uint8_t> Finish() {
    CloseBin();
    return std::move(area_);
  }

 private:
  void OpenBin(uint32_t cell_size) {
    const uint32_t start = static_cast<uint32_t>(area_.size());
    const uint32_t size = AlignUp(uint64_t{cell_size} + kBinHeaderSize, kBinAlignment);
    area_.resize(area_.size() + size);
    std::span<uint8_t> header(area_.data() + start, kBinHeaderSize);
    StoreU32(header, 0, kBinSignature);
    StoreU32(header, kBinOffsetOffset, start);
    StoreU32(header, kBinSizeOffset, size);
    if (start == 0) StoreU64(header, kBinTimeOffset, timestamp_);
    used_ = start + kBinHeaderSize;
    bin_end_ = start + size;
  }

  void CloseBin() {
    if (used_ < bin_end_) StoreU32(area_, used_, bin_end_ - used_);
    used_ = bin_end_;
  }

  uint64_t timestamp_;
  std::vector<uint8_t> area_;
  uint32_t used_ = 0;
  uint32_t bin_end_ = 0;
};

struct StoredName {
  std::vector<uint8_t> bytes;
  bool compressed;
};

// Windows stores a name in one byte a unit whenever every unit fits.
StoredName EncodeName(std::u16string_view name) {
  StoredName out{{}, std::all_of(name.begin(), name.end(), [](char16_t u) { return u <= 0xFF; })};
  for (char16_t u : name) {
    out.bytes.push_back(static_cast<uint8_t>(u));
    if (!out.compressed) out.bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

void StoreBytes(std::span<uint8_t> dest, size_t offset, std::span<const uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), dest.begin() + offset);
}

class Serializer {
 public:
  explicit Serializer(const WriterOptions& options) : options_(options), arena_(options.timestamp) {
    kind_ = options.list_kind;
    if (kind_ == SubkeyListKind::kDefault) {
      kind_ = options.minor_version >= 5 ? SubkeyListKind::kLh : SubkeyListKind::kLf;
    }
    max_leaf_ = std::clamp<uint32_t>(options.max_leaf_entries, 1, 0xFFFF);
  }

  std::vector<uint8_t> Run(const WriterKey& root) {
    const uint32_t root_offset = AllocKeyNode(root);
    sk_offset_ = arena_.Alloc(kSkHeaderSize + sizeof(kSecurityDescriptor));
    struct Pending {
      const WriterKey* key;
      uint32_t offset;
      uint32_t parent;
    };
    std::deque<Pending> queue{{&root, root_offset, kNoCell}};
    uint32_t key_count = 0;
    while (!queue.empty()) {
      Pending item = queue.front();
      queue.pop_front();
      ++key_count;
      for (auto& [child, child_offset] : WriteKey(*item.key, item.offset, item.parent)) {
        queue.push_back({child, child_offset, item.offset});
      }
    }
    WriteSecurity(key_count);
    return Assemble(root_offset, arena_.Finish());
  }

 private:
  using Children = std::vector<std::pair<const WriterKey*, uint32_t>>;

  uint32_t AllocKeyNode(const WriterKey& key) { return arena_.Alloc(kNkName + EncodeName(key.name()).bytes.size()); }

  // Writes the key's values, class and subkey list, allocates its children's
  // key nodes (filled when they are dequeued) and fills its own node.
  Children WriteKey(const WriterKey& key, uint32_t offset, uint32_t parent) {
    std::vector<uint32_t> value_offsets;
    uint32_t max_value_name = 0;
    uint32_t max_value_data = 0;
    for (const WriterValue& value : key.values()) {
      value_offsets.push_back(WriteValue(value));
      max_value_name = std::max<uint32_t>(max_value_name, static_cast<uint32_t>(value.name.size() * 2));
      max_value_data = std::max<uint32_t>(max_value_data, static_cast<uint32_t>(value.data.size()));
    }
    uint32_t value_list = kNoCell;
    if (!value_offsets.empty()) {
      value_list = arena_.Alloc(value_offsets.size() * 4);
      auto cell = arena_.Payload(value_list);
      for (size_t i = 0; i < value_offsets.size(); ++i) StoreU32(cell, i * 4, value_offsets[i]);
    }
    uint32_t class_cell = kNoCell;
    if (!key.class_name().empty()) {
      class_cell = arena_.Alloc(key.class_name().size() * 2);
      auto cell = arena_.Payload(class_cell);
      for (size_t i = 0; i < key.class_name().size(); ++i) StoreU16(cell, i * 2, key.class_name()[i]);
    }

    std::vector<const WriterKey*> sorted;
    for (const auto& child : key.subkeys()) sorted.push_back(child.get());
    std::stable_sort(sorted.begin(), sorted.end(), [](const WriterKey* a, const WriterKey* b) {
      return CompareNamesIgnoreCase(a->name(), b->name()) < 0;
    });
    Children children;
    uint32_t max_subkey_name = 0;
    uint32_t max_subkey_class = 0;
    for (const WriterKey* child : sorted) {
      children.emplace_back(child, AllocKeyNode(*child));
      max_subkey_name = std::max<uint32_t>(max_subkey_name, static_cast<uint32_t>(child->name().size() * 2));
      max_subkey_class = std::max<uint32_t>(max_subkey_class, static_cast<uint32_t>(child->class_name().size() * 2));
    }
    const uint32_t subkey_list = children.empty() ? kNoCell : WriteSubkeyList(children);

    StoredName name = EncodeName(key.name());
    uint16_t flags = name.compressed ? kKeyCompressedName : 0;
    if (parent == kNoCell) flags |= kKeyHiveEntry | kKeyNoDelete;
    auto nk = arena_.Payload(offset);
    StoreU16(nk, 0, kNkSig);
    StoreU16(nk, kNkFlags, flags);
    StoreU64(nk, kNkLastWrite, key.last_write_time());
    StoreU32(nk, kNkParent, parent);
    StoreU32(nk, kNkSubkeyCount, static_cast<uint32_t>(children.size()));
    StoreU32(nk, kNkVolatileSubkeyCount, 0);
    StoreU32(nk, kNkSubkeyList, subkey_list);
    StoreU32(nk, kNkVolatileSubkeyList, kNoCell);
    StoreU32(nk, kNkValueCount, static_cast<uint32_t>(value_offsets.size()));
    StoreU32(nk, kNkValueList, value_list);
    StoreU32(nk, kNkSecurity, sk_offset_);
    StoreU32(nk, kNkClass, class_cell);
    StoreU32(nk, kNkMaxSubkeyName, max_subkey_name);
    StoreU32(nk, kNkMaxSubkeyClass, max_subkey_class);
    StoreU32(nk, kNkMaxValueName, max_value_name);
    StoreU32(nk, kNkMaxValueData, max_value_data);
    StoreU16(nk, kNkNameLength, static_cast<uint16_t>(name.bytes.size()));
    StoreU16(nk, kNkClassLength, static_cast<uint16_t>(key.class_name().size() * 2));
    StoreBytes(nk, kNkName, name.bytes);
    return children;
  }

  uint32_t WriteValue(const WriterValue& value) {
    const uint32_t size = static_cast<uint32_t>(value.data.size());
    const bool inline_data = size <= kInlineDataMax;
    const uint32_t data_cell = inline_data ? 0 : WriteData(value.data);
    StoredName name = EncodeName(value.name);
    const uint32_t offset = arena_.Alloc(kVkName + name.bytes.size());
    auto vk = arena_.Payload(offset);
    StoreU16(vk, 0, kVkSig);
    StoreU16(vk, kVkNameLength, static_cast<uint16_t>(name.bytes.size()));
    StoreU32(vk, kVkDataSize, inline_data ? (size | kDataInline) : size);
    if (inline_data) {
      StoreBytes(vk, kVkData, value.data);
    } else {
      StoreU32(vk, kVkData, data_cell);
    }
    StoreU32(vk, kVkType, value.type);
    StoreU16(vk, kVkFlags, name.compressed ? kValueCompressedName : 0);
    StoreBytes(vk, kVkName, name.bytes);
    return offset;
  }

  uint32_t WriteData(std::span<const uint8_t> data) {
    if (options_.minor_version < kBigDataMinMinor || data.size() <= kBigDataSegmentSize) {
      const uint32_t cell = arena_.Alloc(data.size());
      StoreBytes(arena_.Payload(cell), 0, data);
      return cell;
    }
    std::vector<uint32_t> segments;
    for (size_t pos = 0; pos < data.size(); pos += kBigDataSegmentSize) {
      auto piece = data.subspan(pos, std::min<size_t>(kBigDataSegmentSize, data.size() - pos));
      const uint32_t cell = arena_.Alloc(piece.size());
      StoreBytes(arena_.Payload(cell), 0, piece);
      segments.push_back(cell);
    }
    const uint32_t list = arena_.Alloc(segments.size() * 4);
    auto list_cell = arena_.Payload(list);
    for (size_t i = 0; i < segments.size(); ++i) StoreU32(list_cell, i * 4, segments[i]);
    const uint32_t db = arena_.Alloc(kDbRecordSize);
    auto db_cell = arena_.Payload(db);
    StoreU16(db_cell, 0, kDbSig);
    StoreU16(db_cell, 2, static_cast<uint16_t>(segments.size()));
    StoreU32(db_cell, 4, list);
    return db;
  }

  uint32_t WriteLeaf(std::span<const std::pair<const WriterKey*, uint32_t>> entries) {
    const bool li = kind_ == SubkeyListKind::kLi;
    const size_t entry_size = li ? 4 : 8;
    const uint32_t offset = arena_.Alloc(kListHeaderSize + entries.size() * entry_size);
    auto leaf = arena_.Payload(offset);
    StoreU16(leaf, 0, li ? kLiSig : kind_ == SubkeyListKind::kLf ? kLfSig : kLhSig);
    StoreU16(leaf, 2, static_cast<uint16_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      const size_t at = kListHeaderSize + i * entry_size;
      StoreU32(leaf, at, entries[i].second);
      if (kind_ == SubkeyListKind::kLh) StoreU32(leaf, at + 4, LhNameHash(entries[i].first->name()));
      if (kind_ == SubkeyListKind::kLf) {
        // Hint: the first four name units as bytes, zero-padded; a unit
        // that does not fit in a byte is stored as 0.
        const std::u16string& name = entries[i].first->name();
        for (size_t k = 0; k < 4 && k < name.size(); ++k) {
          leaf[at + 4 + k] = name[k] <= 0xFF ? static_cast<uint8_t>(name[k]) : 0;
        }
      }
    }
    return offset;
  }

  uint32_t WriteSubkeyList(const Children& children) {
    std::span<const std::pair<const WriterKey*, uint32_t>> all(children);
    if (all.size() <= max_leaf_) return WriteLeaf(all);
    std::vector<uint32_t> leaves;
    for (size_t pos = 0; pos < all.size(); pos += max_leaf_) {
      leaves.push_back(WriteLeaf(all.subspan(pos, std::min<size_t>(max_leaf_, all.size() - pos))));
    }
    const uint32_t offset = arena_.Alloc(kListHeaderSize + leaves.size() * 4);
    auto ri = arena_.Payload(offset);
    StoreU16(ri, 0, kRiSig);
    StoreU16(ri, 2, static_cast<uint16_t>(leaves.size()));
    for (size_t i = 0; i < leaves.size(); ++i) StoreU32(ri, kListHeaderSize + i * 4, leaves[i]);
    return offset;
  }

  void WriteSecurity(uint32_t key_count) {
    auto sk = arena_.Payload(sk_offset_);
    StoreU16(sk, 0, kSkSig);
    StoreU32(sk, 4, sk_offset_);  // the only descriptor: its own next and previous
    StoreU32(sk, 8, sk_offset_);
    StoreU32(sk, 12, key_count);  // reference count
    StoreU32(sk, 16, sizeof(kSecurityDescriptor));
    StoreBytes(sk, kSkHeaderSize, kSecurityDescriptor);
  }

  std::vector<uint8_t> Assemble(uint32_t root_offset, const std::vector<uint8_t>& bins) {
    std::vector<uint8_t> file(kBaseBlockSize + bins.size());
    std::copy(bins.begin(), bins.end(), file.begin() + kBaseBlockSize);
    std::span<uint8_t> base(file.data(), kBaseBlockSize);
    StoreU32(base, 0, kSignature);
    StoreU32(base, kPrimarySeqOffset, 1);
    StoreU32(base, kSecondarySeqOffset, 1);
    StoreU64(base, kBaseTimeOffset, options_.timestamp);
    StoreU32(base, kMajorOffset, 1);
    StoreU32(base, kMinorOffset, options_.minor_version);
    StoreU32(base, kFileTypeOffset, kPrimaryFileType);
    StoreU32(base, kFileFormatOffset, 1);
    StoreU32(base, kRootCellOffset, root_offset);
    StoreU32(base, kBinsSizeOffset, static_cast<uint32_t>(bins.size()));
    StoreU32(base, kClusteringOffset, 1);
    uint32_t sum = 0;
    for (uint32_t off = 0; off < kChecksumOffset; off += 4) sum ^= LoadU32(base, off);
    if (sum == 0xFFFFFFFF) sum = 0xFFFFFFFE;
    if (sum == 0) sum = 1;
    StoreU32(base, kChecksumOffset, sum);
    return file;
  }

  const WriterOptions& options_;
  CellArena arena_;
  SubkeyListKind kind_;
  uint32_t max_leaf_;
  uint32_t sk_offset_ = kNoCell;
};

}  // namespace

std::vector<uint8_t> WriteHive(const WriterKey& root, const WriterOptions& options) {
  return Serializer(options).Run(root);
}

}  // namespace regf
