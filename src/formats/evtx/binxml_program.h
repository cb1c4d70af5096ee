// Binary XML compiled to a flat list of operations, once per template
// definition (or per bare fragment), so that rendering a record only walks the
// list and reads substitution values. Entry points: NameTable (the chunk's
// shared names, decoded once) and CompileBinXml().
//
// BinXml token layout (all little-endian, unaligned):
//   0x01/0x41 open element: [dependency u16 in templates] size u32, name u32
//             [+ inline name], [0x41: attribute list size u32]
//   0x02 close start tag, 0x03 close empty element, 0x04 end element
//   0x05/0x45 text: type u8, units u16, UTF-16; 0x06/0x46 attribute: name u32
//   0x07 CDATA: units u16, UTF-16; 0x08 char ref u16; 0x09 entity ref name u32
//   0x0A PI target name u32; 0x0B PI data units u16, UTF-16
//   0x0D/0x0E normal/optional substitution: index u16, type u8
//   0x0F fragment header (3 bytes), 0x00 end of fragment
// A name offset equal to the position right after it means the name record
// (next u32, hash u16, units u16, UTF-16, NUL u16) is stored inline there.
#ifndef QRV_FORMATS_EVTX_BINXML_PROGRAM_H_
#define QRV_FORMATS_EVTX_BINXML_PROGRAM_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace evtx {

// Deepest element nesting accepted in one template or fragment. Real events
// nest about 5 deep (Event/UserData/x/y/z); 64 leaves room for odd providers
// while bounding the walker's stack.
constexpr uint32_t kMaxElementDepth = 64;
// Substitution index used for "no dependency" and "no array substitution".
constexpr uint16_t kNoIndex = 0xFFFF;

enum class OpKind : uint8_t {
  kElementStart,  // name; end = index of the matching kElementEnd
  kAttribute,     // name; value pieces follow until the next non-piece op
  kCloseStart,    // end of the start tag ('>')
  kElementEnd,    // flags & kOpEmptyClose: '/>' else '</name>'
  kText,          // literal UTF-16 at text_offset (chunk-relative)
  kCData,
  kCharRef,    // index = UTF-16 code unit
  kEntityRef,  // name
  kSubst,      // index, value_type, flags & kOpOptional
  kPITarget,   // name
  kPIData,     // text
};

constexpr uint8_t kOpOptional = 0x01;
constexpr uint8_t kOpEmptyClose = 0x02;

struct Op {
  OpKind kind = OpKind::kText;
  uint8_t flags = 0;
  uint8_t value_type = 0;
  uint16_t index = kNoIndex;        // substitution / char ref / dependency
  uint16_t array_subst = kNoIndex;  // element: first substitution in content
  uint32_t name = 0;
  uint32_t text_offset = 0;
  uint32_t text_units = 0;
  uint32_t end = 0;         // element start: its kElementEnd op
  uint32_t cond_begin = 0;  // element start: optional substitutions that drop
  uint32_t cond_count = 0;  //   the element when null (indexes into conds)
};

// Names of one chunk, decoded to UTF-8 once and referenced by id.
class NameTable {
 public:
  void Reset(const uint8_t* chunk, uint32_t chunk_size);
  // Name record at chunk offset `offset`; false when it runs out of the chunk.
  bool Lookup(uint32_t offset, uint32_t* id);
  std::string_view Get(uint32_t id) const {
    const Entry& e = entries_[id];
    return std::string_view(arena_).substr(e.begin, e.size);
  }

 private:
  struct Entry {
    uint32_t begin;
    uint32_t size;
  };
  const uint8_t* chunk_ = nullptr;
  uint32_t chunk_size_ = 0;
  std::unordered_map<uint32_t, uint32_t> by_offset_;
  std::vector<Entry> entries_;
  std::string arena_;
};

enum class DecodeStatus : uint8_t {
  kOk,
  kOutOfBounds,  // a size or offset points outside the record or chunk
  kBadToken,     // unknown or misplaced token
  kBadName,      // a name record is unreadable
  kBadTemplate,  // template definition unreadable or unbalanced
  kTooDeep,      // nesting beyond kMaxElementDepth or kMaxValueNesting
  kNoEvent,      // the record holds no element at all
};

// Compiles the BinXml in chunk bytes [pos, end) and appends ops and element
// drop conditions. `in_template` says whether elements carry a dependency id.
// On success `*stop` is the position after the EOF token (or `end`).
DecodeStatus CompileBinXml(const uint8_t* chunk, uint32_t pos, uint32_t end,
                           bool in_template, NameTable* names,
                           std::vector<Op>* ops, std::vector<uint16_t>* conds,
                           uint32_t* stop);

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_BINXML_PROGRAM_H_
