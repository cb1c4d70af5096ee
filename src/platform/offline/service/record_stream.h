// The records of one .evtx file (or of a legacy .evt log, written into EVTX
// chunks as it is read, or captured record by record when the query looks at
// the System part alone: see legacy_log_source.h) that a compiled query
// selects, oldest first
// (chunks by their first record number, records in file order within a
// chunk), each tested without rendering any text:
//   - queries that look only at Event/System are tested on a System tree
//     built from the reader's system properties (SystemTreeBuilder), for the
//     templates where that tree equals the full one; the first record of each
//     template and property set in a chunk is checked against the full tree,
//     and templates that differ get the full tree for every record. Number
//     and time texts are left out when the query compares no text;
//   - other queries are tested on the full event tree.
// Records that do not decode are passed over: a damaged file still yields
// every intact record. A file that several channels share, read for one of
// them, yields only the records its ChannelCondition admits. Each chunk is
// read once, with a positioned read, into a snapshot from the query's pool
// that its selected events keep. Entry point: RecordStream.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_RECORD_STREAM_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_RECORD_STREAM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/event_tree.h"
#include "formats/evtx/system_properties.h"
#include "formats/xpath/compiled_query.h"
#include "platform/offline/service/captured_event.h"
#include "platform/offline/service/channel_condition.h"
#include "platform/offline/service/chunk_pool.h"
#include "platform/offline/service/evtx_source.h"
#include "platform/offline/service/legacy_log_source.h"
#include "platform/offline/service/read_ahead.h"
#include "platform/offline/service/read_progress.h"
#include "platform/offline/service/system_tree.h"

namespace qrv::offline {

// Templates checked per chunk. Real chunks use a handful; past this many the
// others simply get the full tree.
inline constexpr size_t kMaxCheckedTemplatesPerChunk = 64;

// True when some comparison of the query reads a value as text (a string,
// GUID or SID literal); otherwise numbers and times are only read in binary.
bool QueryReadsValueText(const xpath::CompiledQuery& query);

struct StreamCounts {
  uint64_t records = 0;       // records the cursor reached
  uint64_t system_trees = 0;  // tested on the System tree from properties
  uint64_t full_trees = 0;    // tested on a decoded tree (System part
                              // alone for a System-only query)
  uint64_t undecodable = 0;   // passed over
};

class RecordStream {
 public:
  // `query` must outlive the stream; `source_index` is the index of the
  // file's path in query.sources(); `now_filetime` is what timediff()
  // measures against; chunks are read into buffers from `pool`; `channel`
  // is set for a shared file only.
  RecordStream(std::shared_ptr<const EvtxSource> source,
               const xpath::CompiledQuery& query, size_t source_index,
               uint64_t now_filetime, std::shared_ptr<ChunkPool> pool,
               std::optional<ChannelCondition> channel = std::nullopt);
  // The same over the chunks a legacy log's records are written into.
  RecordStream(std::unique_ptr<LegacyLogSource> legacy,
               const xpath::CompiledQuery& query, size_t source_index,
               uint64_t now_filetime, std::shared_ptr<ChunkPool> pool);
  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;

  // The next selected record, captured into `out`; false at the end, or
  // once the stop flag is set (checked before each chunk is read).
  bool Next(CapturedEvent* out);
  void set_stop_flag(const std::atomic<bool>* stop) { stop_ = stop; }
  // Reads the next chunks through `read_ahead` while one is decoded; null
  // (the default) reads each when it is reached.
  void set_read_ahead(ReadAhead* read_ahead) { read_ahead_ = read_ahead; }
  // Reports each chunk read, and the events selected, to `progress`; null
  // (the default) reports nothing.
  void set_progress(ReadProgress* progress) { progress_ = progress; }
  const StreamCounts& counts() const { return counts_; }
  // True for a legacy log whose records are captured as events without a
  // chunk (NextLegacyEvent), the cheapest way a record is read.
  bool reads_legacy_events() const { return legacy_events_; }

 private:
  struct TemplateCheck {
    uint32_t definition = 0;  // chunk offset of the template definition
    uint32_t present = 0;     // SystemProperties::present
    bool system_tree_exact = false;
  };

  bool NextRecord();
  // Next for a legacy log whose records the query selects from their
  // System part alone: each record is captured without a chunk
  // (LegacyLogSource::NextEvent) and tested on the System tree of its
  // properties, which is the tree its chunk would hold.
  bool NextLegacyEvent(CapturedEvent* out);
  // True when the current record is selected; *props holds its properties.
  bool Selected(evtx::SystemProperties* props);
  bool SelectedBySystem(evtx::SystemProperties* props);
  const TemplateCheck* CheckTemplate(const evtx::SystemProperties& props);

  RecordStream(std::shared_ptr<const EvtxSource> source,
               std::unique_ptr<LegacyLogSource> legacy,
               const xpath::CompiledQuery& query, size_t source_index,
               uint64_t now_filetime, std::shared_ptr<ChunkPool> pool,
               std::optional<ChannelCondition> channel);
  // Loads the next chunk into chunk_; false when there is none.
  bool LoadNextChunk();

  std::shared_ptr<const EvtxSource> source_;  // null for a legacy log
  std::unique_ptr<LegacyLogSource> legacy_;   // null for an .evtx file
  // legacy_ is read by events (NextLegacyEvent), not by chunks.
  bool legacy_events_ = false;
  uint64_t legacy_reported_ = 0;  // bytes of it reported as chunks read
  const xpath::CompiledQuery& query_;
  size_t source_index_;
  uint64_t now_;
  std::optional<ChannelCondition> channel_;
  std::vector<uint32_t> chunk_order_;
  size_t next_chunk_ = 0;
  bool chunk_loaded_ = false;
  const std::atomic<bool>* stop_ = nullptr;
  ReadAhead* read_ahead_ = nullptr;
  ReadProgress* progress_ = nullptr;
  uint64_t unreported_events_ = 0;  // selected since the last report
  // Reads posted for chunk_order_[next_chunk_, posted_until_).
  std::deque<std::shared_ptr<ChunkRead>> ahead_;
  size_t posted_until_ = 0;
  std::shared_ptr<ChunkPool> pool_;
  std::shared_ptr<ChunkSnapshot> chunk_;  // the loaded chunk
  evtx::ChunkDecoder decoder_;
  evtx::ReaderStats stats_;
  evtx::RecordRef record_;
  evtx::EventTree full_tree_;
  // full_tree_ holds the whole of record_ (not just its System part).
  bool full_tree_is_record_ = false;
  // The tree queries are tested on (without number texts when the query
  // reads none), and the complete one templates are checked with.
  SystemTreeBuilder system_tree_;
  SystemTreeBuilder check_tree_;
  // The query takes every record of this source (`*`, nothing suppressed).
  const bool selects_all_;
  // Event ids outside of which no record with a tree rebuilt from its
  // properties is selected; nullopt when the query names none.
  const std::optional<std::vector<uint16_t>> event_ids_;
  std::vector<TemplateCheck> checks_;  // of the loaded chunk
  StreamCounts counts_;
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_RECORD_STREAM_H_
