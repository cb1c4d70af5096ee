// Copying an event out of its chunk and decoding it again; see
// captured_event.h.
#include "platform/offline/service/captured_event.h"

#include <bit>
#include <utility>

#include "formats/utf16.h"
#include "platform/offline/service/legacy_log_source.h"

namespace qrv::offline {

namespace {

// Into `out`'s own buffer: a recycled event keeps its strings' capacity.
void CopyUtf16(const evtx::Utf16Ref& ref, std::u16string* out) {
  const size_t units = ref.data == nullptr ? 0 : ref.units;
  out->resize(units);
  for (size_t i = 0; i < units; ++i)
    (*out)[i] = static_cast<char16_t>(ref.data[2 * i] | ref.data[2 * i + 1] << 8);
}

}  // namespace

void CaptureEvent(const evtx::SystemProperties& props,
                  std::shared_ptr<const ChunkSnapshot> chunk,
                  const evtx::RecordRef& record, CapturedEvent* out) {
  out->system = props;
  CopyUtf16(props.provider_name, &out->provider_name);
  CopyUtf16(props.channel, &out->channel);
  CopyUtf16(props.computer, &out->computer);
  if (props.user_sid != nullptr)
    out->user_sid.assign(props.user_sid, props.user_sid + props.user_sid_size);
  else
    out->user_sid.clear();
  out->system.provider_name = {};
  out->system.channel = {};
  out->system.computer = {};
  out->system.user_sid = nullptr;
  out->system.user_sid_size = 0;
  out->chunk = std::move(chunk);
  out->record = record;
  out->legacy_record.clear();
  out->data_items.reset();
}

evtx::SystemProperties PropertiesWithStrings(const CapturedEvent& event) {
  // Utf16Ref reads little-endian code units, which is how char16_t text
  // lies in memory here.
  static_assert(std::endian::native == std::endian::little);
  const auto ref = [](const std::u16string& text) {
    evtx::Utf16Ref r;
    r.data = reinterpret_cast<const uint8_t*>(text.data());
    r.units = static_cast<uint32_t>(text.size());
    return r;
  };
  evtx::SystemProperties props = event.system;
  props.provider_name = ref(event.provider_name);
  props.channel = ref(event.channel);
  props.computer = ref(event.computer);
  if (!event.user_sid.empty()) {
    props.user_sid = event.user_sid.data();
    props.user_sid_size = static_cast<uint32_t>(event.user_sid.size());
  }
  return props;
}

const evtx::RecordRef* CapturedRecordReader::Load(const CapturedEvent& event) {
  if (!event.legacy_record.empty()) {
    if (!(legacy_loaded_ && legacy_ == event.legacy_record &&
          legacy_channel_ == event.channel)) {
      loaded_ = false;
      chunk_.reset();
      legacy_ = event.legacy_record;
      legacy_channel_ = event.channel;
      if (legacy_chunk_ == nullptr) legacy_chunk_ = std::make_unique<ChunkSnapshot>();
      legacy_loaded_ =
          WriteLegacyRecordChunk(legacy_, text::Utf16ToUtf8(event.channel),
                                 legacy_chunk_.get()) &&
          decoder_.Load(legacy_chunk_->bytes, legacy_chunk_->size, &stats_) &&
          decoder_.NextRecord(&legacy_ref_);
      if (!legacy_loaded_) return nullptr;
    }
    return &legacy_ref_;
  }
  if (!event.chunk) return nullptr;
  // The snapshot held here cannot go back to its pool, so the same address
  // means the same bytes.
  if (!(loaded_ && chunk_ == event.chunk)) {
    legacy_loaded_ = false;
    chunk_ = event.chunk;
    loaded_ = decoder_.Load(chunk_->bytes, chunk_->size, &stats_);
  }
  return loaded_ ? &event.record : nullptr;
}

bool CapturedRecordReader::RenderXml(const CapturedEvent& event,
                                     std::string* xml) {
  const evtx::RecordRef* record = Load(event);
  return record != nullptr &&
         decoder_.RenderXml(*record, xml) == evtx::DecodeStatus::kOk;
}

bool CapturedRecordReader::BuildTree(const CapturedEvent& event,
                                     evtx::EventTree* tree) {
  const evtx::RecordRef* record = Load(event);
  return record != nullptr &&
         decoder_.BuildTree(*record, tree) == evtx::DecodeStatus::kOk;
}

bool CapturedRecordReader::ReadDataItems(const CapturedEvent& event,
                                         std::vector<std::string>* items) {
  if (event.data_items) {
    // Assigned item by item, so the strings keep their capacity.
    items->resize(event.data_items->size());
    for (size_t i = 0; i < items->size(); ++i)
      (*items)[i].assign((*event.data_items)[i]);
    return true;
  }
  if (!event.legacy_record.empty() &&
      LegacyDataItems(event.legacy_record, &legacy_scratch_, items))
    return true;
  const evtx::RecordRef* record = Load(event);
  if (record != nullptr &&
      decoder_.ReadDataItems(*record, items) == evtx::DecodeStatus::kOk)
    return true;
  items->clear();
  return false;
}

}  // namespace qrv::offline
