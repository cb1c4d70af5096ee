// Events to records: a Windows-style System template (optional substitutions,
// Computer literal unless asked otherwise), EventData as a nested template
// instance, UserData as a nested bare tree. Chunk bytes come from
// ChunkBuilder; a record that does not fit moves to a fresh chunk.
#include "formats/evtx/evtx_writer.h"

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
  // A value slot of a template instance: bytes, or nested BinXml written in
  // place by `nested`.
  struct Slot {
    const WriterValue* value = nullptr;
    const WriterEvent* nested = nullptr;
  };

  void Flush() {
    c_.Finalize();
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
  void Instance(const std::string& key, Body body,
                const std::vector<Slot>& slots) {
    const uint64_t hash = Fnv(key);
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
      c_.Put16(s.value != nullptr ? static_cast<uint16_t>(s.value->bytes.size())
                                  : 0);
      c_.Put8(s.value != nullptr    ? s.value->type
              : s.nested != nullptr ? kBinXmlType
                                    : 0);
      c_.Put8(0);
    }
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].value != nullptr) {
        c_.PutBytes(slots[i].value->bytes.data(), slots[i].value->bytes.size());
      } else if (slots[i].nested != nullptr) {
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
    WriterValue v[19];
    v[0] = WriterValue::Number(ValueType::kUInt8, e.level);
    v[1] = WriterValue::Number(ValueType::kUInt8, e.opcode);
    v[2] = WriterValue::Number(ValueType::kUInt16, e.task);
    v[3] = WriterValue::Number(ValueType::kUInt16, e.event_id);
    if (e.qualifiers)
      v[4] = WriterValue::Number(ValueType::kUInt16, *e.qualifiers);
    v[5] = WriterValue::Number(ValueType::kHexInt64, e.keywords);
    v[6] = WriterValue::Number(ValueType::kFileTime, e.time_created);
    if (e.activity_id) v[7] = WriterValue::Guid(*e.activity_id);
    v[8] = WriterValue::Number(ValueType::kUInt32, e.process_id);
    v[9] = WriterValue::Number(ValueType::kUInt32, e.thread_id);
    v[10] = WriterValue::Number(ValueType::kUInt64, id);
    v[11] = WriterValue::Number(ValueType::kUInt8, e.version);
    if (!e.user_sid.empty()) v[12] = WriterValue::Sid(e.user_sid);
    if (e.related_activity_id)
      v[13] = WriterValue::Guid(*e.related_activity_id);
    v[14] = WriterValue::String(e.provider_name);
    if (e.provider_guid) v[15] = WriterValue::Guid(*e.provider_guid);
    v[16] = WriterValue::String(e.channel);
    if (options_.computer_as_substitution)
      v[18] = WriterValue::String(e.computer);
    std::vector<Slot> slots(count);
    for (uint32_t i = 0; i < count; ++i) slots[idx(i)].value = &v[i];
    const bool has_payload = !e.event_data.empty() || e.binary.has_value() ||
                             e.always_event_data || e.user_data.has_value();
    slots[idx(17)].value = has_payload ? nullptr : &v[17];
    slots[idx(17)].nested = has_payload ? &e : nullptr;

    std::string key = "S|" + std::to_string(rot) + "|";
    if (!options_.computer_as_substitution) key += e.computer;
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
    Instance(key, body, slots);
  }

  // EventData (nested template instance) or UserData (bare tree), written as
  // the BinXml value of the System template's last substitution.
  void WritePayload(const WriterEvent& e) {
    FragmentHeader();
    if (e.user_data.has_value()) {
      WriteNode(*e.user_data);
    } else {
      std::string key = "D|";
      for (const WriterData& d : e.event_data) {
        key += d.name + '\x1f' + std::to_string(d.value.type) +
               (d.optional ? "?" : "") + '\x1e';
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
      std::vector<Slot> slots(e.event_data.size() + (e.binary ? 1 : 0));
      for (size_t i = 0; i < e.event_data.size(); ++i)
        slots[i].value = &e.event_data[i].value;
      WriterValue binary;
      if (e.binary) {
        binary = WriterValue::Binary(*e.binary);
        slots.back().value = &binary;
      }
      Instance(key, body, slots);
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
