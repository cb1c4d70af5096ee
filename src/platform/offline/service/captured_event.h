// One event a query delivered, kept by its event handle: the system
// properties copied out of the chunk (strings and the SID included), and
// where the record lies, so the XML and the message inserts can be read
// again from the shared file after the query has moved on.
// Entry points: CapturedEvent, CaptureEvent.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_CAPTURED_EVENT_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_CAPTURED_EVENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/event_tree.h"
#include "formats/evtx/file_reader.h"
#include "formats/evtx/system_properties.h"
#include "platform/offline/service/evtx_source.h"

namespace qrv::offline {

struct CapturedEvent {
  // The properties; the three string refs and user_sid are not used (they
  // pointed into the chunk): the owned copies below stand for them.
  evtx::SystemProperties system;
  std::u16string provider_name;
  std::u16string channel;
  std::u16string computer;
  std::vector<uint8_t> user_sid;

  std::shared_ptr<const EvtxSource> source;
  evtx::ChunkInfo chunk;
  evtx::RecordRef record;
};

// Fills `out` from properties read by `decoder` for `record` of `chunk`.
void CaptureEvent(const evtx::SystemProperties& props,
                  std::shared_ptr<const EvtxSource> source,
                  const evtx::ChunkInfo& chunk, const evtx::RecordRef& record,
                  CapturedEvent* out);

// Decodes captured records again: the XML as EvtRender(EvtRenderEventXml)
// prints it, or the whole tree. The last chunk loaded is kept (with its
// file), so the events of one chunk, rendered one after the other, load and
// check it once.
class CapturedRecordReader {
 public:
  // False when the record no longer decodes.
  bool RenderXml(const CapturedEvent& event, std::string* xml);
  bool BuildTree(const CapturedEvent& event, evtx::EventTree* tree);

 private:
  bool Load(const CapturedEvent& event);

  std::shared_ptr<const EvtxSource> source_;  // keeps the loaded bytes mapped
  size_t chunk_offset_ = 0;
  bool loaded_ = false;
  evtx::ChunkDecoder decoder_;
  evtx::ReaderStats stats_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_CAPTURED_EVENT_H_
