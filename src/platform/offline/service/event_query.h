// The result set behind a query handle: a compiled query, one record stream
// per file of each of its paths, and the merge that hands out their events.
// One stream is read in its own order (oldest first); several (several
// paths, or a channel made of an archive and its live log) are merged by
// TimeCreated, equal times in path order, then file order, then record
// order. Entry points: EventQuery::Open, EventQuery::Next, ChannelLookup.
//
// Paths resolve as follows:
//   - a channel name through the ChannelLookup (the image's channels,
//     ignoring case); an unknown one fails with ERROR_EVT_CHANNEL_NOT_FOUND;
//     a known channel whose files are missing or unreadable is empty;
//   - files are .evtx or legacy .evt logs, told apart by their first bytes;
//     a legacy log's records are given the channel the query named, or for
//     a file:// path the one its file name stands for (none otherwise);
//   - a file:// path names a file: an absolute host path as it is; a Windows
//     path ("C:\Windows\...", "%SystemRoot%\...") as the file it stands
//     for in the image; any other path relative to the image root. A missing
//     file fails with ERROR_FILE_NOT_FOUND, a file that is not an event log
//     with ERROR_FILE_CORRUPT.
// With `tolerate_errors` (EvtQueryTolerateQueryErrors) a path that fails is
// left out instead and the query goes on with the others.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_EVENT_QUERY_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_EVENT_QUERY_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/image/channel_files.h"
#include "formats/xpath/compiled_query.h"
#include "platform/offline/service/captured_event.h"
#include "platform/offline/service/read_progress.h"
#include "platform/offline/service/record_stream.h"

namespace qrv::offline {

// The channel named `name` (ignoring case), or nullopt when there is none.
using ChannelLookup =
    std::function<std::optional<ChannelFiles>(std::string_view name)>;

// The host file a Windows path names in the image, or nullopt.
using WindowsFileLookup = std::function<std::optional<std::filesystem::path>(
    std::string_view windows_path)>;

// The names of every channel, for the nearest ones to a name that is none.
using ChannelNames = std::function<std::vector<std::string>()>;

struct QuerySources {
  ChannelLookup channels;
  std::filesystem::path root;  // base of relative file:// paths
  WindowsFileLookup windows_files;
  ChannelNames channel_names = {};
  // Told what each query reads and how far it has got; may be null.
  ReadProgress* progress = nullptr;
};

class EventQuery {
 public:
  // Null with *error set when a path fails (see above), and the unknown
  // channel's name in *unknown_channel when given.
  static std::unique_ptr<EventQuery> Open(
      std::unique_ptr<xpath::CompiledQuery> query,
      const QuerySources& sources, bool tolerate_errors, uint64_t now_filetime,
      uint32_t* error, std::string* unknown_channel = nullptr);
  // Ends the query's report to its ReadProgress if Next has not.
  ~EventQuery();
  EventQuery(const EventQuery&) = delete;
  EventQuery& operator=(const EventQuery&) = delete;

  // The next event, oldest first; false when there is none left.
  bool Next(CapturedEvent* out);

  // Once `*stop` is set, Next ends within a chunk's work (a worker's query
  // that its caller cancelled or closed). `stop` must outlive the query.
  void set_stop_flag(const std::atomic<bool>* stop);
  // See RecordStream::set_read_ahead.
  void set_read_ahead(ReadAhead* read_ahead);

  // Summed over the streams (tests and benchmarks).
  StreamCounts counts() const;
  // About how many records its files hold: how much the query may read.
  uint64_t approximate_records() const { return records_; }
  // About how much reading that is, in records of an .evtx file: a legacy
  // record captured without a chunk (RecordStream::reads_legacy_events)
  // costs less than half as much to read and select, and counts as half.
  uint64_t approximate_work() const { return work_; }

 private:
  struct Stream {
    std::unique_ptr<RecordStream> records;
    CapturedEvent head;
    bool has_head = false;
  };

  bool NextEvent(CapturedEvent* out);

  explicit EventQuery(std::unique_ptr<xpath::CompiledQuery> query)
      : query_(std::move(query)) {}

  std::unique_ptr<xpath::CompiledQuery> query_;
  std::shared_ptr<ChunkPool> pool_ = ChunkPool::Make();
  std::vector<Stream> streams_;
  bool heads_loaded_ = false;
  uint64_t records_ = 0;
  uint64_t work_ = 0;
  ReadProgress* progress_ = nullptr;  // set while the query is reported
};

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_EVENT_QUERY_H_
