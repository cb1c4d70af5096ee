// Copying an event out of its chunk and decoding it again; see
// captured_event.h.
#include "platform/offline/service/captured_event.h"

#include <utility>

namespace qrv::offline {

namespace {

std::u16string CopyUtf16(const evtx::Utf16Ref& ref) {
  return ref.data == nullptr ? std::u16string() : ref.ToU16();
}

// Loads the event's chunk into `decoder`; false when it no longer loads.
bool LoadChunk(const CapturedEvent& event, evtx::ChunkDecoder* decoder,
               evtx::ReaderStats* stats) {
  if (!event.source) return false;
  return decoder->Load(event.source->reader().ChunkData(event.chunk),
                       event.chunk.size, stats);
}

}  // namespace

void CaptureEvent(const evtx::SystemProperties& props,
                  std::shared_ptr<const EvtxSource> source,
                  const evtx::ChunkInfo& chunk, const evtx::RecordRef& record,
                  CapturedEvent* out) {
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
  out->source = std::move(source);
  out->chunk = chunk;
  out->record = record;
}

bool RenderCapturedXml(const CapturedEvent& event, std::string* xml) {
  evtx::ChunkDecoder decoder;
  evtx::ReaderStats stats;
  if (!LoadChunk(event, &decoder, &stats)) return false;
  return decoder.RenderXml(event.record, xml) == evtx::DecodeStatus::kOk;
}

bool BuildCapturedTree(const CapturedEvent& event, evtx::EventTree* tree) {
  evtx::ChunkDecoder decoder;
  evtx::ReaderStats stats;
  if (!LoadChunk(event, &decoder, &stats)) return false;
  return decoder.BuildTree(event.record, tree) == evtx::DecodeStatus::kOk;
}

}  // namespace qrv::offline
