// One legacy .evt file opened for a query, its records handed out oldest
// first as the events Windows gives for a classic source (see
// LegacyRecordToEvent), in one of two ways:
//   - as EVTX chunks (NextChunk): written with the EVTX writer into 64 KiB
//     chunks one at a time, for queries that look past the System part; the
//     record streams then treat them as any .evtx chunk;
//   - as captured events (NextEvent), for queries that look at the System
//     part alone: the properties and data items a chunk would give, set
//     straight from the record, which is written into a chunk of its own
//     only if its XML is asked for. This is several times cheaper.
// Memory is one chunk and one record, whatever the file's size.
// Entry points: LegacyLogSource::Open, LegacyRecordToEvent,
// WriteLegacyRecordChunk.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_LEGACY_LOG_SOURCE_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_LEGACY_LOG_SOURCE_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "formats/evt/evt_log_reader.h"
#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/evtx_writer.h"
#include "platform/offline/image/evt_log_file.h"
#include "platform/offline/service/captured_event.h"

namespace qrv::offline {

// Keywords Windows gives classic events, and their audit outcomes.
inline constexpr uint64_t kClassicKeyword = 0x0080000000000000ULL;
inline constexpr uint64_t kAuditSuccessKeyword = 0x0020000000000000ULL;
inline constexpr uint64_t kAuditFailureKeyword = 0x0010000000000000ULL;

// The event of legacy record `record`, read from a log of `channel`
// (records carry none): Provider Name the source; EventID the low 16 bits
// of the event id, Qualifiers the high 16; Level 2, 3, 4 for error,
// warning, information (and the other types), 0 for audits, which also get
// their audit keyword; Task the category; TimeCreated the time generated;
// EventRecordID the record number; Computer; Security UserID; EventData
// one unnamed Data per string, then Binary when the record has data. A
// record too large for a 64 KiB chunk loses its binary data, then halves of
// its longest strings, until it fits.
void LegacyRecordToEvent(const evt::Record& record, const std::string& channel,
                         evtx::WriterEvent* out);

// The data items of records up to this size are read from their bytes
// (LegacyDataItems); a larger record may have to be cut to fit a chunk, and
// its items are then read from the chunk it is cut into.
inline constexpr uint32_t kMaxDirectRecordSize = 32 * 1024;

// The data items of the legacy record `record_bytes` as the chunk NextChunk
// writes for it gives them (ChunkDecoder::ReadDataItems), read with
// `scratch`. False for a record larger than kMaxDirectRecordSize or bytes
// that are not a record.
bool LegacyDataItems(const std::vector<uint8_t>& record_bytes, evt::Record* scratch,
                     std::vector<std::string>* items);

// The chunk, holding that record alone, which CapturedEvent::legacy_record
// stands for: written as NextChunk writes it. False when the bytes are not a
// legacy record.
bool WriteLegacyRecordChunk(const std::vector<uint8_t>& record_bytes,
                            const std::string& channel, ChunkSnapshot* out);

class LegacyLogSource {
 public:
  // The file at `path`, or null with *error set as EvtxSource::Open sets it
  // (kErrorFileCorrupt: not a legacy log).
  static std::unique_ptr<LegacyLogSource> Open(const std::filesystem::path& path,
                                               std::string channel, uint32_t* error);
  LegacyLogSource(const LegacyLogSource&) = delete;
  LegacyLogSource& operator=(const LegacyLogSource&) = delete;

  // Writes the next chunk into `buffer` (evtx::kChunkSize bytes) and
  // returns its size; 0 when every record has been handed out.
  uint32_t NextChunk(uint8_t* buffer);

  // The next record as the event NextChunk's chunk would give, captured
  // without writing one: the system properties and their strings as
  // ChunkDecoder::ReadSystem and CaptureEvent give them, and the record's
  // bytes for its XML and data items (CapturedEvent::legacy_record). False at the end. A source
  // is read either by chunks or by events, not both.
  bool NextEvent(CapturedEvent* out);
  // Bytes of the file NextEvent has walked past so far.
  uint64_t BytesRead() const { return reader_.walked(); }

  // About how many records the file holds: its header's record numbers
  // (as last saved, in a log not closed cleanly), or, where those cannot
  // be right, its size in records of a common size.
  uint64_t ApproximateRecords() const;
  // The file's size in chunk-sized units, for a progress display: the
  // chunks written from it are about as many, not exactly.
  uint64_t ApproximateChunks() const {
    return (file_.size() + evtx::kChunkSize - 1) / evtx::kChunkSize;
  }

 private:
  LegacyLogSource();

  EvtLogFile file_;
  evt::LogReader reader_;
  std::string channel_;
  std::u16string channel_u16_;
  evt::Record record_;
  // The last SID seen (empty until one is) and its form as the chunk's
  // UserID holds it (empty: none), as SIDs repeat from record to record.
  std::vector<uint8_t> last_sid_;
  std::vector<uint8_t> last_user_id_;
  evtx::WriterEvent event_;
  std::unique_ptr<evtx::EvtxWriter> writer_;
  uint8_t* target_ = nullptr;  // where the writer's next full chunk goes
  bool chunk_ready_ = false;
  bool finished_ = false;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_LEGACY_LOG_SOURCE_H_
