// Selecting the records of one file; see record_stream.h.
#include "platform/offline/service/record_stream.h"

#include <algorithm>
#include <utility>

namespace qrv::offline {

bool QueryReadsValueText(const xpath::CompiledQuery& query) {
  using Kind = xpath::Literal::Kind;
  for (const xpath::Query& q : query.queries()) {
    for (const xpath::QueryItem& item : q.items) {
      for (const xpath::Literal& literal : item.predicate.literals) {
        if (literal.kind == Kind::kString || literal.kind == Kind::kGuid ||
            literal.kind == Kind::kSid)
          return true;
      }
    }
  }
  return false;
}

RecordStream::RecordStream(std::shared_ptr<const EvtxSource> source,
                           const xpath::CompiledQuery& query,
                           size_t source_index, uint64_t now_filetime,
                           std::shared_ptr<ChunkPool> pool,
                           std::optional<ChannelCondition> channel)
    : RecordStream(std::move(source), nullptr, query, source_index,
                   now_filetime, std::move(pool), std::move(channel)) {}

RecordStream::RecordStream(std::unique_ptr<LegacyLogSource> legacy,
                           const xpath::CompiledQuery& query,
                           size_t source_index, uint64_t now_filetime,
                           std::shared_ptr<ChunkPool> pool)
    : RecordStream(nullptr, std::move(legacy), query, source_index,
                   now_filetime, std::move(pool), std::nullopt) {}

RecordStream::RecordStream(std::shared_ptr<const EvtxSource> source,
                           std::unique_ptr<LegacyLogSource> legacy,
                           const xpath::CompiledQuery& query,
                           size_t source_index, uint64_t now_filetime,
                           std::shared_ptr<ChunkPool> pool,
                           std::optional<ChannelCondition> channel)
    : source_(std::move(source)),
      legacy_(std::move(legacy)),
      query_(query),
      source_index_(source_index),
      now_(now_filetime),
      channel_(std::move(channel)),
      chunk_order_(source_ ? evtx::ChunkOrder(source_->file().chunks(),
                                              evtx::RecordOrder::kOldestFirst)
                           : std::vector<uint32_t>()),
      pool_(std::move(pool)),
      stats_(source_ ? source_->file().stats() : evtx::ReaderStats()),
      system_tree_(QueryReadsValueText(query)),
      selects_all_(query.SelectsEveryEvent(source_index)),
      event_ids_(query.RequiredEventIds(source_index)) {
  // Records are offered whatever the chunk's data checksum says, and the
  // service reports no statistics: the CRC of every chunk would be spent
  // for nothing (about a third of a selective query's time).
  decoder_.set_verify_data_checksum(false);
  legacy_events_ = legacy_ != nullptr && (query.system_only() || selects_all_);
}

bool RecordStream::LoadNextChunk() {
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed))
    return false;
  if (legacy_ != nullptr) {
    checks_.clear();
    chunk_ = pool_->Take();
    chunk_->size = legacy_->NextChunk(chunk_->bytes);
    return chunk_->size != 0;
  }
  if (next_chunk_ >= chunk_order_.size()) return false;
  const size_t index = next_chunk_++;
  checks_.clear();
  // Events taken from the previous chunk keep their own reference to it.
  if (!ahead_.empty()) {
    read_ahead_->Finish(*ahead_.front());
    chunk_ = std::move(ahead_.front()->snapshot);
    ahead_.pop_front();
  } else {
    chunk_ = pool_->Take();
    chunk_->size = source_->file().ReadChunk(
        source_->file().chunks()[chunk_order_[index]], chunk_->bytes);
  }
  // The chunks after it are read while it is decoded.
  if (ahead_.empty()) posted_until_ = next_chunk_;
  while (read_ahead_ != nullptr && posted_until_ < chunk_order_.size()) {
    std::shared_ptr<ChunkRead> read = read_ahead_->Post(
        source_, source_->file().chunks()[chunk_order_[posted_until_]],
        *pool_);
    if (read == nullptr) break;
    ahead_.push_back(std::move(read));
    ++posted_until_;
  }
  return true;
}

bool RecordStream::NextRecord() {
  for (;;) {
    if (chunk_loaded_ && decoder_.NextRecord(&record_)) {
      ++counts_.records;
      full_tree_is_record_ = false;
      return true;
    }
    chunk_loaded_ = false;
    if (!LoadNextChunk()) {
      if (progress_ != nullptr) progress_->AddEvents(unreported_events_);
      unreported_events_ = 0;
      return false;
    }
    if (progress_ != nullptr) progress_->AddChunk(unreported_events_);
    unreported_events_ = 0;
    chunk_loaded_ = decoder_.Load(chunk_->bytes, chunk_->size, &stats_);
  }
}

const RecordStream::TemplateCheck* RecordStream::CheckTemplate(
    const evtx::SystemProperties& props) {
  uint32_t definition = 0;
  // Records that are not a template instance always get the full tree.
  if (!evtx::RecordTemplateOffset(chunk_->bytes, chunk_->size, record_, &definition))
    return nullptr;
  for (const TemplateCheck& c : checks_) {
    if (c.definition == definition && c.present == props.present) return &c;
  }
  if (checks_.size() >= kMaxCheckedTemplatesPerChunk) return nullptr;
  // Only the System part is compared, so only it is built.
  if (decoder_.BuildSystemPart(record_, &full_tree_) != evtx::DecodeStatus::kOk)
    return nullptr;
  TemplateCheck check;
  check.definition = definition;
  check.present = props.present;
  check.system_tree_exact =
      !(props.layout & evtx::kLayoutOpaque) &&
      SameSystemPart(check_tree_.Build(props), full_tree_);
  checks_.push_back(check);
  return &checks_.back();
}

bool RecordStream::SelectedBySystem(evtx::SystemProperties* props) {
  if (decoder_.ReadSystem(record_, props) != evtx::DecodeStatus::kOk) {
    ++counts_.undecodable;
    return false;
  }
  const TemplateCheck* check = CheckTemplate(*props);
  if (check != nullptr && check->system_tree_exact) {
    ++counts_.system_trees;
    // A query that takes every record needs no tree to say so, nor one that
    // names event ids for a record of another id: the tree would hold the
    // record's own EventID.
    if (selects_all_) return true;
    if (event_ids_ &&
        (!props->Has(evtx::SystemProperty::kEventId) ||
         !std::binary_search(event_ids_->begin(), event_ids_->end(),
                             props->event_id))) {
      return false;
    }
    return query_.Matches(source_index_, system_tree_.Build(*props), now_);
  }
  // The query reads the System part alone, so the rest is not built; the
  // tree then gives no data items.
  if (decoder_.BuildSystemPart(record_, &full_tree_) !=
      evtx::DecodeStatus::kOk) {
    ++counts_.undecodable;
    return false;
  }
  ++counts_.full_trees;
  return selects_all_ || query_.Matches(source_index_, full_tree_, now_);
}

bool RecordStream::Selected(evtx::SystemProperties* props) {
  if (query_.system_only() || selects_all_) return SelectedBySystem(props);
  if (decoder_.BuildTree(record_, &full_tree_) != evtx::DecodeStatus::kOk) {
    ++counts_.undecodable;
    return false;
  }
  full_tree_is_record_ = true;
  ++counts_.full_trees;
  if (!query_.Matches(source_index_, full_tree_, now_)) return false;
  if (decoder_.ReadSystem(record_, props) != evtx::DecodeStatus::kOk) {
    ++counts_.undecodable;
    return false;
  }
  return true;
}

bool RecordStream::NextLegacyEvent(CapturedEvent* out) {
  // Progress and the stop flag are looked at per chunk-sized stretch of the
  // file, as for the chunks of other logs.
  const auto report = [this](bool last) {
    const uint64_t read = legacy_->BytesRead();
    if (!last && read - legacy_reported_ < evtx::kChunkSize) return true;
    legacy_reported_ = read;
    if (progress_ != nullptr) {
      if (last)
        progress_->AddEvents(unreported_events_);
      else
        progress_->AddChunk(unreported_events_);
    }
    unreported_events_ = 0;
    return last || stop_ == nullptr || !stop_->load(std::memory_order_relaxed);
  };
  for (;;) {
    if (!legacy_->NextEvent(out)) {
      report(true);
      return false;
    }
    ++counts_.records;
    ++counts_.system_trees;
    const bool selected =
        selects_all_ ||
        ((!event_ids_ || std::binary_search(event_ids_->begin(), event_ids_->end(),
                                            out->system.event_id)) &&
         query_.Matches(source_index_, system_tree_.Build(PropertiesWithStrings(*out)),
                        now_));
    if (selected) ++unreported_events_;
    if (!report(false)) return false;
    if (selected) return true;
  }
}

bool RecordStream::Next(CapturedEvent* out) {
  if (legacy_events_) return NextLegacyEvent(out);
  evtx::SystemProperties props;
  while (NextRecord()) {
    if (Selected(&props) && (!channel_ || channel_->Admits(props))) {
      CaptureEvent(props, chunk_, record_, out);
      ++unreported_events_;
      // The tree selection decoded gives the message inserts; the record
      // is not walked again for them.
      if (full_tree_is_record_) {
        out->data_items.emplace();
        evtx::TakeDataItems(&full_tree_, &*out->data_items);
      }
      return true;
    }
  }
  return false;
}

}  // namespace qrv::offline
