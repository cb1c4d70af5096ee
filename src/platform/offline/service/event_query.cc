// Opening a query's paths and merging their streams; see event_query.h.
#include "platform/offline/service/event_query.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/offline/image/evt_log_file.h"
#include "platform/offline/image/path_resolver.h"
#include "platform/win32_types.h"

namespace qrv::offline {

namespace {

// One file of a path, of either kind, as told by its first bytes.
struct OpenedFile {
  std::shared_ptr<const EvtxSource> evtx;
  std::unique_ptr<LegacyLogSource> legacy;
  explicit operator bool() const { return evtx || legacy; }
};

// `channel` is what the records of a legacy log are given as theirs.
OpenedFile OpenLogFile(const std::filesystem::path& path, const std::string& channel,
                       uint32_t* error) {
  OpenedFile file;
  file.evtx = EvtxSource::Open(path, error);
  if (!file.evtx && *error == kErrorFileCorrupt) {
    uint32_t legacy_error = 0;
    file.legacy = LegacyLogSource::Open(path, channel, &legacy_error);
  }
  return file;
}

// About how many records an .evtx file holds: its chunks' first record
// numbers span all the records but the newest chunk's, which is taken to
// hold as many as the others on average. Numbers that no chunks could hold
// (damage) are bounded by what fits in them.
uint64_t ApproximateRecords(const std::vector<evtx::ChunkInfo>& chunks) {
  constexpr uint64_t kMaxRecordsPerChunk = evtx::kChunkSize / 32;
  const uint64_t count = chunks.size();
  if (count < 2) return count;
  uint64_t lowest = chunks[0].first_record;
  uint64_t highest = lowest;
  for (const evtx::ChunkInfo& chunk : chunks) {
    lowest = std::min(lowest, chunk.first_record);
    highest = std::max(highest, chunk.first_record);
  }
  const uint64_t span = std::min(highest - lowest, count * kMaxRecordsPerChunk);
  return span + span / (count - 1);
}

}  // namespace

std::unique_ptr<EventQuery> EventQuery::Open(
    std::unique_ptr<xpath::CompiledQuery> query,
    const QuerySources& sources, bool tolerate_errors, uint64_t now_filetime,
    uint32_t* error, std::string* unknown_channel) {
  std::unique_ptr<EventQuery> result(new EventQuery(std::move(query)));
  const auto& paths = result->query_->sources();
  // What the progress display names: the first path (a file by its name),
  // and how many others there are.
  std::string what;
  size_t paths_read = 0;
  uint64_t chunks = 0;
  for (size_t index = 0; index < paths.size(); ++index) {
    const xpath::SourcePath& path = paths[index];
    std::vector<OpenedFile> files;
    std::vector<std::optional<ChannelCondition>> conditions;
    if (path.kind == xpath::PathKind::kChannel) {
      std::optional<ChannelFiles> channel;
      if (sources.channels) channel = sources.channels(path.name);
      if (!channel) {
        if (tolerate_errors) continue;
        *error = kErrorEvtChannelNotFound;
        if (unknown_channel != nullptr) *unknown_channel = path.name;
        return nullptr;
      }
      for (const std::filesystem::path& file : channel->files) {
        uint32_t file_error = 0;
        // A registered channel whose log is missing or unusable has no
        // events; it is not an error to ask for it.
        OpenedFile source = OpenLogFile(file, channel->name, &file_error);
        if (!source) continue;
        files.push_back(std::move(source));
        // A file other channels share yields only this channel's records.
        std::optional<ChannelCondition> condition;
        for (const SharedFile& shared : channel->shared) {
          if (shared.path == file) condition.emplace(channel->name, shared);
        }
        conditions.push_back(std::move(condition));
      }
    } else {
      std::filesystem::path file(path.name);
      std::optional<std::filesystem::path> in_image;
      if (file.is_relative() && sources.windows_files)
        in_image = sources.windows_files(path.name);
      if (in_image)
        file = *in_image;
      else if (file.is_relative())
        file = sources.root / file;
      uint32_t file_error = 0;
      // A legacy log names no channel; its file name may stand for one.
      const std::string channel =
          ChannelFromLogFileName(Utf8FileName(file)).value_or(std::string());
      OpenedFile source = OpenLogFile(file, channel, &file_error);
      if (!source) {
        if (tolerate_errors) continue;
        *error = file_error;
        return nullptr;
      }
      files.push_back(std::move(source));
      conditions.emplace_back();  // a file query returns the whole file
    }
    if (!files.empty() && paths_read++ == 0) {
      what = path.name;
      // A file by its name alone, whether its path is a host or a Windows one.
      if (path.kind != xpath::PathKind::kChannel)
        what.erase(0, what.find_last_of("/\\") + 1);
    }
    for (size_t i = 0; i < files.size(); ++i) {
      chunks += files[i].legacy ? files[i].legacy->ApproximateChunks()
                                : files[i].evtx->file().chunks().size();
      const uint64_t records = files[i].legacy
                                   ? files[i].legacy->ApproximateRecords()
                                   : ApproximateRecords(files[i].evtx->file().chunks());
      result->records_ += records;
      Stream stream;
      if (files[i].legacy) {
        stream.records = std::make_unique<RecordStream>(
            std::move(files[i].legacy), *result->query_, index, now_filetime,
            result->pool_);
      } else {
        stream.records = std::make_unique<RecordStream>(
            std::move(files[i].evtx), *result->query_, index, now_filetime,
            result->pool_, std::move(conditions[i]));
      }
      result->work_ += stream.records->reads_legacy_events() ? records / 2 : records;
      result->streams_.push_back(std::move(stream));
    }
  }
  if (sources.progress != nullptr && !result->streams_.empty()) {
    if (paths_read > 1) what += " and " + std::to_string(paths_read - 1) + " more";
    result->progress_ = sources.progress;
    result->progress_->BeginQuery(std::move(what), chunks);
    for (Stream& s : result->streams_) s.records->set_progress(result->progress_);
  }
  return result;
}

EventQuery::~EventQuery() {
  if (progress_ != nullptr) progress_->EndQuery();
}

bool EventQuery::Next(CapturedEvent* out) {
  const bool more = NextEvent(out);
  if (!more && progress_ != nullptr) {
    progress_->EndQuery();
    progress_ = nullptr;
  }
  return more;
}

bool EventQuery::NextEvent(CapturedEvent* out) {
  if (streams_.size() == 1) return streams_[0].records->Next(out);
  if (!heads_loaded_) {
    for (Stream& s : streams_) s.has_head = s.records->Next(&s.head);
    heads_loaded_ = true;
  }
  Stream* oldest = nullptr;
  for (Stream& s : streams_) {
    // Strictly older only: on equal times the earlier stream wins.
    if (s.has_head &&
        (oldest == nullptr ||
         s.head.system.time_created < oldest->head.system.time_created))
      oldest = &s;
  }
  if (oldest == nullptr) return false;
  std::swap(*out, oldest->head);
  oldest->has_head = oldest->records->Next(&oldest->head);
  return true;
}

void EventQuery::set_stop_flag(const std::atomic<bool>* stop) {
  for (Stream& s : streams_) s.records->set_stop_flag(stop);
}

void EventQuery::set_read_ahead(ReadAhead* read_ahead) {
  for (Stream& s : streams_) s.records->set_read_ahead(read_ahead);
}

StreamCounts EventQuery::counts() const {
  StreamCounts total;
  for (const Stream& s : streams_) {
    const StreamCounts& c = s.records->counts();
    total.records += c.records;
    total.system_trees += c.system_trees;
    total.full_trees += c.full_trees;
    total.undecodable += c.undecodable;
  }
  return total;
}

}  // namespace qrv::offline
