// Events to records: a Windows-style System template (optional substitutions,
// Computer literal unless asked otherwise), EventData as a nested template
// instance, UserData as a nested bare tree. Chunk bytes come from
// ChunkBuilder; a record that does not fit moves to a fresh chunk.
#include "formats/evtx/evtx_writer.h"

#include <charconv>
#include <cstring>

#include "formats/evtx/bytes.h"
#include "formats/evtx/chunk_builder.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/crc32.h"
#include "formats/evtx/file_reader.h"
#include "formats/evtx/value_format.h"

namespace evtx {
namespace {

constexpr uint32_t kSystemValues = 18;
constexpr uint8_t kBinXmlType = static_cast<uint8_t>(ValueType::kBinXml);

// FNV-1a: template ids and GUIDs only need to differ between shapes.
uint64_t Fnv(const std::string& s) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
  return h;
}

}  // namespace

class EvtxWriter::Impl {
 public:
  Impl(ChunkSink sink, WriterOptions options)
      : sink_(std::move(sink)), options_(options) {}

  bool Add(const WriterEvent& event) {
    const uint64_t id = event.record_id.value_or(next_record_id_);
    for (int attempt = 0; attempt < 2; ++attempt) {
      const ChunkBuilder::Mark mark = c_.Save();
      WriteRecord(event, id);
      if (!c_.overflow()) {
        c_.NoteRecord(id, mark.pos);
        next_record_id_ = id + 1;
        return true;
      }
      c_.Restore(mark);
      if (c_.empty()) return false;
      Flush();
    }
    return false;
  }

  std::vector<uint8_t> Finish() {
    if (!c_.empty()) Flush();
    std::vector<uint8_t> header(kFileHeaderBlockSize, 0);
    uint8_t* h = header.data();
    std::memcpy(h, "ElfFile", 8);
    StoreU64(h + 8, 0);
    StoreU64(h + 16, chunks_ == 0 ? 0 : chunks_ - 1);
    StoreU64(h + 24, next_record_id_);
    StoreU32(h + 32, 128);
    StoreU16(h + 36, 1);
    StoreU16(h + 38, 3);
    StoreU16(h + 40, static_cast<uint16_t>(kFileHeaderBlockSize));
    StoreU16(h + 42, static_cast<uint16_t>(chunks_));
    StoreU32(h + 124, Crc32(h, 120));
    return header;
  }

 private:
  struct Open {
    uint32_t size_at;
    uint32_t attr_at;
  };
  // A value slot of a template instance: `size` bytes of type `type` at
  // `data` (type 0 and no bytes: null), or nested BinXml written in place by
  // `nested`.
  struct Slot {
    uint8_t type = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    const WriterEvent* nested = nullptr;
  };
  static Slot ValueSlot(const WriterValue& v) {
    return {v.type, v.bytes.data(), v.bytes.size(), nullptr};
  }
  static Slot BytesSlot(ValueType type, const uint8_t* data, size_t size) {
    return {static_cast<uint8_t>(type), data, size, nullptr};
  }
  // The last text a field was given, with its encoding: an event log
  // repeats the same provider, channel, computer and user from record to
  // record, so each is encoded once per change, not once per record.
  struct EncodedText {
    std::string text;
    std::string le;  // UTF-16LE
    bool valid = false;
    const std::string& Encode(const std::string& utf8) {
      if (!valid || text != utf8) {
        text = utf8;
        le.clear();
        AppendUtf8AsUtf16Le(utf8, &le);
        valid = true;
      }
      return le;
    }
  };
  struct EncodedSid {
    std::string text;
    WriterValue value;
    bool valid = false;
  };

  void Flush() {
    c_.Finalize(options_.data_checksum);
    sink_(c_.data(), kChunkSize);
    ++chunks_;
    c_.Reset();
  }

  Open OpenElement(std::string_view name, bool attrs, bool in_template) {
    c_.Put8(attrs ? 0x41 : 0x01);
    if (in_template) c_.Put16(kNoIndex);
    Open o{c_.pos(), 0};
    c_.Put32(0);
    c_.PutName(name);
    if (attrs) {
      o.attr_at = c_.pos();
      c_.Put32(0);
    }
    return o;
  }
  void Attribute(std::string_view name, bool more) {
    c_.Put8(more ? 0x46 : 0x06);
    c_.PutName(name);
  }
  void Subst(uint32_t index, uint8_t type, bool optional) {
    c_.Put8(optional ? 0x0E : 0x0D);
    c_.Put16(static_cast<uint16_t>(index));
    c_.Put8(type);
  }
  void Text(std::string_view utf8, uint8_t token = 0x05) {
    std::string le;
    AppendUtf8AsUtf16Le(utf8, &le);
    c_.Put8(token);
    if (token == 0x05) c_.Put8(0x01);
    c_.Put16(static_cast<uint16_t>(le.size() / 2));
    c_.PutBytes(reinterpret_cast<const uint8_t*>(le.data()), le.size());
  }
  void CloseStart(const Open& o) {
    if (o.attr_at != 0) c_.Patch32(o.attr_at, c_.pos() - (o.attr_at + 4));
    c_.Put8(0x02);
  }
  void CloseEmpty(const Open& o) {
    if (o.attr_at != 0) c_.Patch32(o.attr_at, c_.pos() - (o.attr_at + 4));
    c_.Put8(0x03);
    c_.Patch32(o.size_at, c_.pos() - (o.size_at + 4));
  }
  void End(const Open& o) {
    c_.Put8(0x04);
    c_.Patch32(o.size_at, c_.pos() - (o.size_at + 4));
  }
  void FragmentHeader() {
    const uint8_t h[4] = {0x0F, 0x01, 0x01, 0x00};
    c_.PutBytes(h, 4);
  }

  // Text element <name>%index</name> with an optional substitution.
  void SubstElement(std::string_view name, uint32_t index, ValueType type) {
    const Open o = OpenElement(name, false, true);
    CloseStart(o);
    Subst(index, static_cast<uint8_t>(type), true);
    End(o);
  }

  template <typename Body>
  void Instance(const std::string& key, uint64_t hash, Body body,
                const std::vector<Slot>& slots) {
    const uint32_t id = static_cast<uint32_t>(hash);
    c_.Put8(0x0C);
    c_.Put8(0x01);
    c_.Put32(id);
    uint32_t def = c_.FindTemplate(key);
    if (def != 0) {
      c_.Put32(def);
    } else {
      def = c_.pos() + 4;
      c_.Put32(def);
      c_.Put32(0);  // next template in the bucket, linked in Finalize
      uint8_t guid[16];
      StoreU64(guid, hash);
      StoreU64(guid + 8, Fnv(key + "#"));
      StoreU32(guid, id);
      c_.PutBytes(guid, 16);
      const uint32_t size_at = c_.pos();
      c_.Put32(0);
      FragmentHeader();
      body();
      c_.Put8(0x00);
      c_.Patch32(size_at, c_.pos() - (size_at + 4));
      if (!c_.overflow()) c_.AddTemplate(key, def, id);
    }
    c_.Put32(static_cast<uint32_t>(slots.size()));
    const uint32_t desc_at = c_.pos();
    for (const Slot& s : slots) {
      c_.Put16(static_cast<uint16_t>(s.size));
      c_.Put8(s.nested != nullptr ? kBinXmlType : s.type);
      c_.Put8(0);
    }
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].nested == nullptr) {
        c_.PutBytes(slots[i].data, slots[i].size);
      } else {
        const uint32_t start = c_.pos();
        WritePayload(*slots[i].nested);
        c_.Patch16(desc_at + 4 * static_cast<uint32_t>(i),
                   static_cast<uint16_t>(c_.pos() - start));
      }
    }
  }

  void WriteRecord(const WriterEvent& e, uint64_t id) {
    const uint32_t start = c_.pos();
    const uint8_t sig[4] = {0x2A, 0x2A, 0x00, 0x00};
    c_.PutBytes(sig, 4);
    c_.Put32(0);
    c_.Put64(id);
    c_.Put64(e.time_created);
    FragmentHeader();
    WriteSystemInstance(e, id);
    c_.Put8(0x00);
    const uint32_t size = c_.pos() + 4 - start;
    c_.Put32(size);
    c_.Patch32(start + 4, size);
  }

  void WriteSystemInstance(const WriterEvent& e, uint64_t id) {
    const uint32_t count =
        kSystemValues + (options_.computer_as_substitution ? 1 : 0);
    const uint32_t rot = options_.system_index_rotation % count;
    auto idx = [count, rot](uint32_t windows_index) {
      return (windows_index + rot) % count;
    };
    // Numbers are encoded in place; texts come from the encodings kept
    // from the records before.
    uint8_t numbers[kSystemValues][8];
    std::vector<Slot>& slots = system_slots_;
    slots.assign(count, Slot{});
    auto number = [&](uint32_t windows_index, ValueType type, uint64_t value) {
      const size_t width = NumberWidth(type);
      for (size_t i = 0; i < width; ++i)
        numbers[windows_index][i] = static_cast<uint8_t>(value >> (8 * i));
      slots[idx(windows_index)] = BytesSlot(type, numbers[windows_index], width);
    };
    auto text = [&](uint32_t windows_index, EncodedText& cache,
                    const std::string& utf8) {
      const std::string& le = cache.Encode(utf8);
      slots[idx(windows_index)] = BytesSlot(
          ValueType::kString, reinterpret_cast<const uint8_t*>(le.data()), le.size());
    };
    auto guid = [&](uint32_t windows_index, const std::optional<GuidBytes>& g) {
      if (g) slots[idx(windows_index)] = BytesSlot(ValueType::kGuid, g->bytes, 16);
    };
    number(0, ValueType::kUInt8, e.level);
    number(1, ValueType::kUInt8, e.opcode);
    number(2, ValueType::kUInt16, e.task);
    number(3, ValueType::kUInt16, e.event_id);
    if (e.qualifiers) number(4, ValueType::kUInt16, *e.qualifiers);
    number(5, ValueType::kHexInt64, e.keywords);
    number(6, ValueType::kFileTime, e.time_created);
    guid(7, e.activity_id);
    number(8, ValueType::kUInt32, e.process_id);
    number(9, ValueType::kUInt32, e.thread_id);
    number(10, ValueType::kUInt64, id);
    number(11, ValueType::kUInt8, e.version);
    if (!e.user_sid.empty()) {
      if (!sid_.valid || sid_.text != e.user_sid) {
        sid_.text = e.user_sid;
        sid_.value = WriterValue::Sid(e.user_sid);
        sid_.valid = true;
      }
      slots[idx(12)] = ValueSlot(sid_.value);
    }
    guid(13, e.related_activity_id);
    text(14, provider_, e.provider_name);
    guid(15, e.provider_guid);
    text(16, channel_, e.channel);
    if (options_.computer_as_substitution) text(18, computer_, e.computer);
    const bool has_payload = !e.event_data.empty() || e.binary.has_value() ||
                             e.always_event_data || e.user_data.has_value();
    if (has_payload) slots[idx(17)].nested = &e;

    // The template's key names its shape: the rotation, and the computer
    // when it is literal text.
    if (!system_key_valid_ ||
        (!options_.computer_as_substitution && system_key_computer_ != e.computer)) {
      system_key_ = "S|" + std::to_string(rot) + "|";
      if (!options_.computer_as_substitution) system_key_ += e.computer;
      system_key_computer_ = e.computer;
      system_key_hash_ = Fnv(system_key_);
      system_key_valid_ = true;
    }
    const std::string& key = system_key_;
    auto body = [&] {
      using T = ValueType;
      const Open ev = OpenElement("Event", true, true);
      Attribute("xmlns", false);
      Text("http://schemas.microsoft.com/win/2004/08/events/event");
      CloseStart(ev);
      const Open sys = OpenElement("System", false, true);
      CloseStart(sys);
      Open o = OpenElement("Provider", true, true);
      Attribute("Name", true);
      Subst(idx(14), static_cast<uint8_t>(T::kString), true);
      Attribute("Guid", false);
      Subst(idx(15), static_cast<uint8_t>(T::kGuid), true);
      CloseEmpty(o);
      o = OpenElement("EventID", true, true);
      Attribute("Qualifiers", false);
      Subst(idx(4), static_cast<uint8_t>(T::kUInt16), true);
      CloseStart(o);
      Subst(idx(3), static_cast<uint8_t>(T::kUInt16), true);
      End(o);
      SubstElement("Version", idx(11), T::kUInt8);
      SubstElement("Level", idx(0), T::kUInt8);
      SubstElement("Task", idx(2), T::kUInt16);
      SubstElement("Opcode", idx(1), T::kUInt8);
      SubstElement("Keywords", idx(5), T::kHexInt64);
      o = OpenElement("TimeCreated", true, true);
      Attribute("SystemTime", false);
      Subst(idx(6), static_cast<uint8_t>(T::kFileTime), true);
      CloseEmpty(o);
      SubstElement("EventRecordID", idx(10), T::kUInt64);
      o = OpenElement("Correlation", true, true);
      Attribute("ActivityID", true);
      Subst(idx(7), static_cast<uint8_t>(T::kGuid), true);
      Attribute("RelatedActivityID", false);
      Subst(idx(13), static_cast<uint8_t>(T::kGuid), true);
      CloseEmpty(o);
      o = OpenElement("Execution", true, true);
      Attribute("ProcessID", true);
      Subst(idx(8), static_cast<uint8_t>(T::kUInt32), true);
      Attribute("ThreadID", false);
      Subst(idx(9), static_cast<uint8_t>(T::kUInt32), true);
      CloseEmpty(o);
      SubstElement("Channel", idx(16), T::kString);
      o = OpenElement("Computer", false, true);
      CloseStart(o);
      if (options_.computer_as_substitution) {
        Subst(idx(18), static_cast<uint8_t>(T::kString), true);
      } else {
        Text(e.computer);
      }
      End(o);
      o = OpenElement("Security", true, true);
      Attribute("UserID", false);
      Subst(idx(12), static_cast<uint8_t>(T::kSid), true);
      CloseEmpty(o);
      End(sys);
      Subst(idx(17), kBinXmlType, true);
      End(ev);
    };
    Instance(key, system_key_hash_, body, slots);
  }

  // EventData (nested template instance) or UserData (bare tree), written as
  // the BinXml value of the System template's last substitution.
  void WritePayload(const WriterEvent& e) {
    FragmentHeader();
    if (e.user_data.has_value()) {
      WriteNode(*e.user_data);
    } else {
      std::string& key = payload_key_;
      key.assign("D|");
      for (const WriterData& d : e.event_data) {
        char type[4];
        const char* type_end =
            std::to_chars(type, type + sizeof type, d.value.type).ptr;
        key += d.name;
        key += '\x1f';
        key.append(type, static_cast<size_t>(type_end - type));
        if (d.optional) key += '?';
        key += '\x1e';
      }
      if (e.binary) key += "B";
      auto body = [&] {
        const Open ed = OpenElement("EventData", false, true);
        CloseStart(ed);
        for (size_t i = 0; i < e.event_data.size(); ++i) {
          const WriterData& d = e.event_data[i];
          const Open o = OpenElement("Data", !d.name.empty(), true);
          if (!d.name.empty()) {
            Attribute("Name", false);
            Text(d.name);
          }
          CloseStart(o);
          Subst(static_cast<uint32_t>(i), d.value.type, d.optional);
          End(o);
        }
        if (e.binary) {
          const Open o = OpenElement("Binary", false, true);
          CloseStart(o);
          Subst(static_cast<uint32_t>(e.event_data.size()),
                static_cast<uint8_t>(ValueType::kBinary), true);
          End(o);
        }
        End(ed);
      };
      std::vector<Slot>& slots = payload_slots_;
      slots.clear();
      for (const WriterData& d : e.event_data) slots.push_back(ValueSlot(d.value));
      if (e.binary)
        slots.push_back(BytesSlot(ValueType::kBinary, e.binary->data(), e.binary->size()));
      Instance(key, Fnv(key), body, slots);
    }
    c_.Put8(0x00);
  }

  // Writer input is the caller's own data, so plain recursion is fine here.
  void WriteNode(const WriterNode& n) {
    switch (n.kind) {
      case WriterNode::Kind::kText:
        Text(n.text);
        return;
      case WriterNode::Kind::kCData:
        Text(n.text, 0x07);
        return;
      case WriterNode::Kind::kCharRef:
        c_.Put8(0x08);
        c_.Put16(n.char_ref);
        return;
      case WriterNode::Kind::kEntityRef:
        c_.Put8(0x09);
        c_.PutName(n.name);
        return;
      case WriterNode::Kind::kElement:
        break;
    }
    const Open o = OpenElement(n.name, !n.attributes.empty(), false);
    for (size_t i = 0; i < n.attributes.size(); ++i) {
      Attribute(n.attributes[i].first, i + 1 < n.attributes.size());
      Text(n.attributes[i].second);
    }
    if (n.children.empty()) {
      CloseEmpty(o);
      return;
    }
    CloseStart(o);
    for (const WriterNode& child : n.children) WriteNode(child);
    End(o);
  }

  ChunkSink sink_;
  WriterOptions options_;
  ChunkBuilder c_;
  // Kept from record to record (see EncodedText), and the buffers each
  // record's instances are assembled in.
  EncodedText provider_, channel_, computer_;
  EncodedSid sid_;
  std::string system_key_;
  std::string system_key_computer_;
  uint64_t system_key_hash_ = 0;
  bool system_key_valid_ = false;
  std::string payload_key_;
  std::vector<Slot> system_slots_;
  std::vector<Slot> payload_slots_;
  uint64_t next_record_id_ = 1;
  uint32_t chunks_ = 0;
};

EvtxWriter::EvtxWriter(ChunkSink sink, WriterOptions options)
    : impl_(std::make_unique<Impl>(std::move(sink), options)) {}
EvtxWriter::~EvtxWriter() = default;
bool EvtxWriter::Add(const WriterEvent& event) { return impl_->Add(event); }
std::vector<uint8_t> EvtxWriter::Finish() { return impl_->Finish(); }

std::vector<uint8_t> WriteEvtx(const std::vector<WriterEvent>& events,
                               WriterOptions options) {
  std::vector<uint8_t> chunks;
  EvtxWriter writer(
      [&chunks](const uint8_t* p, size_t n) {
        chunks.insert(chunks.end(), p, p + n);
      },
      options);
  for (const WriterEvent& e : events) writer.Add(e);
  std::vector<uint8_t> file = writer.Finish();
  file.insert(file.end(), chunks.begin(), chunks.end());
  return file;
}

}  // namespace evtx
