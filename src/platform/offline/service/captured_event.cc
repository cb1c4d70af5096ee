// Copying an event out of its chunk and decoding it again; see
// captured_event.h.
#include "platform/offline/service/captured_event.h"

#include <utility>

namespace qrv::offline {

namespace {

std::u16string CopyUtf16(const evtx::Utf16Ref& ref) {
  return ref.data == nullptr ? std::u16string() : ref.ToU16();
}

}  // namespace

void CaptureEvent(const evtx::SystemProperties& props,
                  std::shared_ptr<const ChunkSnapshot> chunk,
                  const evtx::RecordRef& record, CapturedEvent* out) {
  out->system = props;
  out->provider_name = CopyUtf16(props.provider_name);
  out->channel = CopyUtf16(props.channel);
  out->computer = CopyUtf16(props.computer);
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
  out->data_items.reset();
}

bool CapturedRecordReader::Load(const CapturedEvent& event) {
  if (!event.chunk) return false;
  // The snapshot held here cannot go back to its pool, so the same address
  // means the same bytes.
  if (loaded_ && chunk_ == event.chunk) return true;
  chunk_ = event.chunk;
  loaded_ = decoder_.Load(chunk_->bytes, chunk_->size, &stats_);
  return loaded_;
}

bool CapturedRecordReader::RenderXml(const CapturedEvent& event,
                                     std::string* xml) {
  return Load(event) &&
         decoder_.RenderXml(event.record, xml) == evtx::DecodeStatus::kOk;
}

bool CapturedRecordReader::BuildTree(const CapturedEvent& event,
                                     evtx::EventTree* tree) {
  return Load(event) &&
         decoder_.BuildTree(event.record, tree) == evtx::DecodeStatus::kOk;
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
  if (Load(event) && decoder_.ReadDataItems(event.record, items) ==
                         evtx::DecodeStatus::kOk)
    return true;
  items->clear();
  return false;
}

}  // namespace qrv::offline
