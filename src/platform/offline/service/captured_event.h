// One event a query delivered, kept by its event handle: the system
// properties copied out of the chunk (strings and the SID included), and
// the snapshot of the chunk it was selected from with the record's place in
// it, so the XML and the message inserts are read from the same bytes after
// the query has moved on, whatever happens to the file.
// Entry points: CapturedEvent, CaptureEvent.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_CAPTURED_EVENT_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_CAPTURED_EVENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/evt/evt_record.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/event_tree.h"
#include "formats/evtx/system_properties.h"
#include "platform/offline/service/chunk_pool.h"

namespace qrv::offline {

struct CapturedEvent {
  // The properties; the three string refs and user_sid are not used (they
  // pointed into the chunk): the owned copies below stand for them.
  evtx::SystemProperties system;
  std::u16string provider_name;
  std::u16string channel;
  std::u16string computer;
  std::vector<uint8_t> user_sid;

  std::shared_ptr<const ChunkSnapshot> chunk;
  evtx::RecordRef record;
  // Instead of a chunk: a legacy log's record, as its bytes (empty: none),
  // captured without being written into one (LegacyLogSource::NextEvent).
  // It is written into a chunk of its own only when its XML or tree is
  // asked for. Owned, so that an event filled again keeps its capacity.
  std::vector<uint8_t> legacy_record;
  // The record's data items (ChunkDecoder::ReadDataItems), when selecting
  // it decoded its whole tree anyway; nullopt otherwise.
  std::optional<std::vector<std::string>> data_items;
};

// Fills `out` from properties read for `record` of `chunk`, without data
// items.
void CaptureEvent(const evtx::SystemProperties& props,
                  std::shared_ptr<const ChunkSnapshot> chunk,
                  const evtx::RecordRef& record, CapturedEvent* out);

// The event's properties with their strings pointing at its own copies of
// them, as a System tree is built from properties (SystemTreeBuilder);
// valid while `event` is unchanged.
evtx::SystemProperties PropertiesWithStrings(const CapturedEvent& event);

// Decodes captured records again: the XML as EvtRender(EvtRenderEventXml)
// prints it, or the whole tree. The last chunk loaded is kept (with its
// snapshot), so the events of one chunk, rendered one after the other, load
// and check it once.
class CapturedRecordReader {
 public:
  // Records decode whatever the data checksum says; it is not computed.
  CapturedRecordReader() { decoder_.set_verify_data_checksum(false); }
  // False when the record no longer decodes.
  bool RenderXml(const CapturedEvent& event, std::string* xml);
  bool BuildTree(const CapturedEvent& event, evtx::EventTree* tree);
  // The event's data items (ChunkDecoder::ReadDataItems, or the ones
  // captured with it); none when the record no longer decodes.
  bool ReadDataItems(const CapturedEvent& event,
                     std::vector<std::string>* items);

 private:
  // Loads the event's chunk; the record to decode then, or null.
  const evtx::RecordRef* Load(const CapturedEvent& event);

  std::shared_ptr<const ChunkSnapshot> chunk_;  // keeps the loaded bytes
  // The legacy record whose chunk of its own is loaded (its bytes and
  // channel, which are all the chunk is written from), and its record.
  bool legacy_loaded_ = false;
  std::vector<uint8_t> legacy_;
  std::u16string legacy_channel_;
  std::unique_ptr<ChunkSnapshot> legacy_chunk_;
  evtx::RecordRef legacy_ref_;
  evt::Record legacy_scratch_;  // for a legacy record's data items
  bool loaded_ = false;
  evtx::ChunkDecoder decoder_;
  evtx::ReaderStats stats_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_CAPTURED_EVENT_H_
