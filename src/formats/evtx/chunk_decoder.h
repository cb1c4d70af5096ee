// Decodes the records of one 64 KiB EVTX chunk. One decoder is reused for
// every chunk of a read: it keeps its buffers, the chunk's decoded names and
// its compiled templates, so the per-record work is reading substitution
// values (system properties) or walking a compiled template (XML, tree).
// Entry points: ChunkDecoder::Load, NextRecord, ReadSystem, RenderXml,
// BuildTree.
//
// Chunk layout: 512-byte header (signature "ElfChnk\0", record number and id
// ranges, free space offset at 48, data CRC at 52, flags at 120, header CRC
// at 124 over bytes 0..119 and 128..511), then records from offset 512:
//   "**\0\0", size u32, record id u64, written FILETIME u64, BinXml, size u32.
// Names and template definitions are shared by chunk-relative offset, so a
// record may use definitions stored in earlier records of the same chunk.
#ifndef QRV_FORMATS_EVTX_CHUNK_DECODER_H_
#define QRV_FORMATS_EVTX_CHUNK_DECODER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "formats/evtx/binxml_program.h"
#include "formats/evtx/chunk_offset_map.h"
#include "formats/evtx/event_tree.h"
#include "formats/evtx/reader_stats.h"
#include "formats/evtx/system_properties.h"

namespace evtx {

constexpr uint32_t kChunkSize = 65536;
constexpr uint32_t kChunkHeaderSize = 512;
constexpr uint32_t kRecordHeaderSize = 24;
// Smallest record: header, an empty BinXml document (1 byte) rounded up to
// the trailing size copy.
constexpr uint32_t kMinRecordSize = 28;
// Nested BinXml values (EventData inside the System template, and values
// inside those) are decoded recursively up to this depth; Windows uses 2.
constexpr int kMaxValueNesting = 8;

// One record as found in the chunk: its place and its header fields.
struct RecordRef {
  uint32_t offset = 0;  // chunk-relative start of the record
  uint32_t size = 0;
  uint64_t record_id = 0;     // EventRecordID from the record header
  uint64_t written_time = 0;  // FILETIME
  // False when the trailing size copy disagrees: the record was torn while
  // being written. It is still offered, since its head usually decodes.
  bool size_copy_ok = true;
};

// Chunk offset of the template definition that `record` instantiates, read
// from the record's BinXml head past its fragment headers; false for records
// that are not a template instance.
bool RecordTemplateOffset(const uint8_t* chunk, uint32_t chunk_size,
                          const RecordRef& record, uint32_t* definition);

// The data items ChunkDecoder::ReadDataItems reads (as message inserts),
// moved out of a tree BuildTree built (their texts are left empty there);
// replaces `*items`.
void TakeDataItems(EventTree* tree, std::vector<std::string>* items);

class ChunkDecoder {
 public:
  ChunkDecoder() = default;
  ChunkDecoder(const ChunkDecoder&) = delete;
  ChunkDecoder& operator=(const ChunkDecoder&) = delete;

  // Starts on a chunk of `size` bytes (65536, less when the file is cut
  // short). Checksums are verified unless the chunk says it keeps none; a bad
  // one is counted in `stats` and the records are still walked. Returns false
  // when the bytes hold no chunk signature.
  bool Load(const uint8_t* chunk, uint32_t size, ReaderStats* stats);

  // Next record in file order. Bytes that hold no record head are passed
  // over by scanning for the next record whose size and size copy agree.
  bool NextRecord(RecordRef* record);

  // The 18 system properties, without building a tree or text. A record
  // that fails here is counted in ReaderStats::records_unparsable (the other
  // two calls do not count, so a record is counted once).
  DecodeStatus ReadSystem(const RecordRef& record, SystemProperties* props);
  // The event as EvtRender(EvtRenderEventXml) prints it; replaces `*xml`.
  DecodeStatus RenderXml(const RecordRef& record, std::string* xml);
  // The event as a tree of typed values; replaces `*tree`.
  DecodeStatus BuildTree(const RecordRef& record, EventTree* tree);
  // The same with only the root and its System child filled: the root's
  // other children are there, empty. Content left out is not decoded, so a
  // fault inside it does not fail the call (a nested document still is
  // walked, as it may fail).
  DecodeStatus BuildSystemPart(const RecordRef& record, EventTree* tree);
  // The event's data items without building its tree: the texts of the
  // Data children of the root's first EventData or, when the root has no
  // EventData, of the leaf elements below its first UserData, in document
  // order; each the text BuildTree gives that element, written as a
  // message insert (AppendInsertText: times with nine fraction digits,
  // hex numbers in upper case).
  // Replaces `*items` (cleared when the record does not decode), reusing
  // its strings.
  DecodeStatus ReadDataItems(const RecordRef& record,
                             std::vector<std::string>* items);

  bool header_checksum_ok() const { return header_checksum_ok_; }
  // False also when the check is turned off.
  bool data_checksum_ok() const { return data_checksum_ok_; }

  // The record-data CRC covers up to 64 KiB per chunk and is the largest
  // single cost of a system-properties-only read (about 40% of it); records
  // are delivered whatever it says, so a caller that does not need the
  // statistic may skip it. On by default.
  void set_verify_data_checksum(bool on) { verify_data_checksum_ = on; }

 private:
  // Where System property values come from in one template: a substitution
  // index, literal text in the template, or nowhere.
  struct PropertySource {
    enum Kind : uint8_t { kAbsent, kSubst, kLiteral } kind = kAbsent;
    uint16_t index = 0;
    uint32_t text_offset = 0;
    uint32_t text_units = 0;
  };
  struct SystemMap {
    bool usable = false;  // false: read through the tree instead
    uint8_t layout = 0;   // SystemLayout bits
    PropertySource sources[kSystemPropertyCount];
    PropertySource event_source_name;  // literal, with kLayoutEventSourceName
  };

  // Where a template's data items come from (PlanDataItems), worked out on
  // first use: the Data children of a plain EventData, each one
  // substitution or nothing, so that an item is that value's text
  // (planned_items_[first, first + count)); or, for kNested, the root's
  // own substitutions, one of which holds the EventData document.
  struct DataItemPlan {
    enum State : uint8_t {
      kUnknown, kPlain, kNested, kEventDataRoot, kWalk
    } state = kUnknown;
    uint32_t first = 0;
    uint32_t count = 0;
    uint32_t outer[2] = {0, 0};  // ops of the root and of its EventData
  };
  struct PlannedItem {
    uint16_t subst;        // kNoIndex: the element is empty
    uint32_t cond_begin;   // optional substitutions that drop the element
    uint32_t cond_count;
  };
  struct Template {
    uint32_t op_begin = 0;
    uint32_t op_end = 0;
    DecodeStatus status = DecodeStatus::kOk;
    SystemMap map;
    DataItemPlan items;
  };
  struct ValueRef {
    uint32_t offset;
    uint32_t size;
    uint8_t type;
  };
  // What a record's or value's BinXml opens with: a template instance (with
  // its values in values_[values_begin, +values_count)) or bare content
  // compiled into scratch_ops_.
  struct Fragment {
    bool is_instance = false;
    uint32_t template_index = 0;
    uint32_t values_begin = 0;
    uint32_t values_count = 0;
    uint32_t op_begin = 0;
    uint32_t op_end = 0;
  };
  class XmlSink;
  class TreeSink;
  DecodeStatus BuildTreeOf(const RecordRef& record, EventTree* tree,
                           bool system_only);
  class DataItemSink;
  // ReadDataItems' scratch, kept from record to record.
  struct DataItemSlot {
    Value value;
    bool user = false;  // below UserData, not EventData
    bool leaf = true;
  };
  struct DataItemFrame {
    enum class Role : uint8_t {
      kOther, kRoot, kEventData, kItem, kUserData, kUserItem
    } role;
    uint32_t slot;  // into data_slots_, for kItem and kUserItem
    uint32_t pieces;
  };

  DecodeStatus OpenFragment(uint32_t pos, uint32_t end, Fragment* fragment);
  // A record's BinXml, with the scratch of the previous record dropped.
  DecodeStatus OpenRecord(const RecordRef& record, Fragment* fragment);
  void PlanDataItems(Template* t);
  // The items by the template's plan; false when this record needs the
  // walk after all (a document elsewhere, an array value, a dropped root).
  bool ReadPlannedItems(const Fragment& f, const Template& t, int nesting,
                        std::vector<std::string>* items);
  DecodeStatus GetTemplate(uint32_t def_offset, uint32_t* index);
  void BuildSystemMap(const std::vector<Op>& ops, uint32_t begin, uint32_t end,
                      SystemMap* map);
  DecodeStatus ReadSystemFromTree(const RecordRef& record,
                                  SystemProperties* props);
  void ReadProperty(SystemProperty id, const PropertySource& src,
                    const Fragment& f, SystemProperties* props);
  template <typename Sink>
  DecodeStatus WalkRecord(const RecordRef& record, Sink* sink);
  template <typename Sink>
  DecodeStatus Walk(const Fragment& f, Sink* sink, int nesting);

  const uint8_t* chunk_ = nullptr;
  uint32_t size_ = 0;
  uint32_t data_end_ = 0;  // end of record data (free space offset, clamped)
  uint32_t next_ = 0;      // where NextRecord looks next
  ReaderStats* stats_ = nullptr;
  bool header_checksum_ok_ = false;
  bool verify_data_checksum_ = true;
  bool data_checksum_ok_ = false;

  NameTable names_;
  std::vector<Op> ops_;  // compiled templates of this chunk
  std::vector<uint16_t> conds_;
  std::vector<Template> templates_;
  ChunkOffsetMap template_by_offset_;
  std::vector<Op> scratch_ops_;  // bare fragments of the current record
  std::vector<uint16_t> scratch_conds_;
  std::vector<ValueRef> values_;  // substitution values, nested ones appended
  SystemMap bare_map_;            // System map of the current bare record
  EventTree fallback_tree_;       // System properties of unusual templates
  std::string fallback_text_[3];  // UTF-16LE bytes of rebuilt strings
  std::vector<uint8_t> fallback_sid_;
  std::vector<DataItemSlot> data_slots_;
  std::vector<DataItemFrame> data_stack_;
  std::vector<PlannedItem> planned_items_;  // of this chunk's templates
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_CHUNK_DECODER_H_
