// Legacy records as EVTX chunks or as captured events; see legacy_log_source.h.
#include "platform/offline/service/legacy_log_source.h"

#include <cstring>
#include <span>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/utf16_text.h"
#include "formats/evtx/value_format.h"
#include "formats/evtx/value_parse.h"
#include "formats/utf16.h"
#include "platform/win32_types.h"

namespace qrv::offline {

namespace {

// FILETIME ticks at 1970-01-01.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

uint8_t LevelOf(uint16_t event_type) {
  switch (event_type) {
    case evt::kTypeError: return 2;
    case evt::kTypeWarning: return 3;
    case evt::kTypeAuditSuccess:
    case evt::kTypeAuditFailure: return 0;
    default: return 4;
  }
}

// The System values of a record's event, shared by both ways of handing it
// out (as a chunk's record, or captured directly).
struct ClassicValues {
  uint16_t event_id;
  uint16_t qualifiers;
  uint8_t level;
  uint16_t task;
  uint64_t keywords;
  uint64_t time_created;
};

ClassicValues ValuesOf(const evt::Record& record) {
  ClassicValues v;
  v.event_id = static_cast<uint16_t>(record.event_id & 0xFFFF);
  v.qualifiers = static_cast<uint16_t>(record.event_id >> 16);
  v.level = LevelOf(record.event_type);
  v.task = record.category;
  v.keywords = kClassicKeyword;
  if (record.event_type == evt::kTypeAuditSuccess) v.keywords |= kAuditSuccessKeyword;
  if (record.event_type == evt::kTypeAuditFailure) v.keywords |= kAuditFailureKeyword;
  v.time_created = kUnixEpochTicks + uint64_t{record.time_generated} * kTicksPerSecond;
  return v;
}

// Makes an event too large for a chunk smaller: drops its binary data, else
// halves its longest string. False when nothing is left to cut.
bool Shrink(evtx::WriterEvent* event) {
  if (event->binary) {
    event->binary.reset();
    return true;
  }
  std::vector<uint8_t>* longest = nullptr;
  for (evtx::WriterData& d : event->event_data) {
    if (longest == nullptr || d.value.bytes.size() > longest->size()) longest = &d.value.bytes;
  }
  if (longest == nullptr || longest->empty()) return false;
  // UTF-16 bytes: the cut keeps whole code units.
  longest->resize(longest->size() / 4 * 2);
  return true;
}

// Sets `value` to the string `text`, reusing the bytes it holds: the event
// is refilled for every record.
void SetString(std::u16string_view text, evtx::WriterValue* value) {
  value->type = static_cast<uint8_t>(evtx::ValueType::kString);
  value->bytes.resize(text.size() * 2);
  uint8_t* out = value->bytes.data();
  for (const char16_t unit : text) {
    *out++ = static_cast<uint8_t>(unit);
    *out++ = static_cast<uint8_t>(unit >> 8);
  }
}

}  // namespace

void LegacyRecordToEvent(const evt::Record& record, const std::string& channel,
                         evtx::WriterEvent* out) {
  const ClassicValues v = ValuesOf(record);
  out->provider_name = text::Utf16ToUtf8(record.source);
  out->event_id = v.event_id;
  out->qualifiers = v.qualifiers;
  out->level = v.level;
  out->task = v.task;
  out->keywords = v.keywords;
  out->always_event_data = true;
  out->time_created = v.time_created;
  out->record_id = record.number;
  out->channel = channel;
  out->computer = text::Utf16ToUtf8(record.computer);
  out->user_sid.clear();
  if (!record.sid.empty()) evtx::AppendSid(record.sid.data(), record.sid.size(), &out->user_sid);
  out->event_data.resize(record.strings.size());
  for (size_t i = 0; i < record.strings.size(); ++i)
    SetString(record.strings[i], &out->event_data[i].value);
  if (record.data.empty())
    out->binary.reset();
  else
    out->binary = record.data;
}

namespace {

// A name as the chunk holds it: UTF-16 that went through UTF-8, so unpaired
// surrogates have become U+FFFD; any other text is unchanged.
void SetName(const std::u16string& name, std::u16string* out) {
  // Looked at whole, without an early exit, so the loop is vectorised:
  // names are short and surrogates rare. The flag is as wide as a unit:
  // GCC keeps the loop scalar, eight instructions a unit, for a bool.
  uint16_t surrogates = 0;
  for (const char16_t unit : name)
    surrogates |= static_cast<uint16_t>((unit & 0xF800) == 0xD800);
  if (surrogates != 0)
    *out = text::Utf8ToUtf16(text::Utf16ToUtf8(name));
  else
    *out = name;
}

}  // namespace

bool WriteLegacyRecordChunk(const std::vector<uint8_t>& record_bytes,
                            const std::string& channel, ChunkSnapshot* out) {
  evt::Record record;
  if (record_bytes.size() < evt::kMinRecordSize ||
      !evt::DecodeRecord(record_bytes.data(),
                         static_cast<uint32_t>(record_bytes.size()), &record))
    return false;
  evtx::WriterEvent event;
  LegacyRecordToEvent(record, channel, &event);
  evtx::WriterOptions options;
  options.data_checksum = false;
  out->size = 0;
  evtx::EvtxWriter writer(
      [out](const uint8_t* chunk, size_t size) {
        std::memcpy(out->bytes, chunk, size);
        out->size = static_cast<uint32_t>(size);
      },
      options);
  while (!writer.Add(event) && Shrink(&event)) {
  }
  writer.Finish();
  return out->size != 0;
}

bool LegacyDataItems(const std::vector<uint8_t>& record_bytes, evt::Record* scratch,
                     std::vector<std::string>* items) {
  if (record_bytes.size() < evt::kMinRecordSize || record_bytes.size() > kMaxDirectRecordSize ||
      !evt::DecodeRecord(record_bytes.data(), static_cast<uint32_t>(record_bytes.size()),
                         scratch))
    return false;
  // As the chunk's EventData/Data items read: each string up to its first
  // U+0000 (it has none), unpaired surrogates as U+FFFD. Assigned item by
  // item, so the strings keep their capacity.
  items->resize(scratch->strings.size());
  for (size_t i = 0; i < scratch->strings.size(); ++i) {
    (*items)[i].clear();
    evtx::AppendUtf16(reinterpret_cast<const uint8_t*>(scratch->strings[i].data()),
                      scratch->strings[i].size(), evtx::Escape::kNone, &(*items)[i]);
  }
  return true;
}

LegacyLogSource::LegacyLogSource() = default;

std::unique_ptr<LegacyLogSource> LegacyLogSource::Open(const std::filesystem::path& path,
                                                       std::string channel, uint32_t* error) {
  std::unique_ptr<LegacyLogSource> source(new LegacyLogSource());
  switch (source->file_.Open(path)) {
    case EvtOpenStatus::kOk:
      break;
    case EvtOpenStatus::kMissing:
      *error = kErrorFileNotFound;
      return nullptr;
    case EvtOpenStatus::kUnreadable:
      *error = kErrorAccessDenied;
      return nullptr;
    case EvtOpenStatus::kNotEvt:
      *error = kErrorFileCorrupt;
      return nullptr;
  }
  if (!source->reader_.Open(source->file_)) {
    *error = kErrorFileCorrupt;
    return nullptr;
  }
  source->channel_ = std::move(channel);
  LegacyLogSource* self = source.get();
  // The record streams read these chunks without checking the records'
  // checksum, so none is computed.
  evtx::WriterOptions options;
  options.data_checksum = false;
  source->writer_ = std::make_unique<evtx::EvtxWriter>(
      [self](const uint8_t* chunk, size_t size) {
        std::memcpy(self->target_, chunk, size);
        self->chunk_ready_ = true;
      },
      options);
  return source;
}

bool LegacyLogSource::NextEvent(CapturedEvent* out) {
  using P = evtx::SystemProperty;
  // The strings and data are read from the record's bytes when they are
  // asked for (LegacyDataItems): most events of a query never need them.
  if (finished_ || !reader_.Next(&record_, evt::RecordParts::kNames)) {
    finished_ = true;
    return false;
  }
  const evt::Record& r = record_;
  if (channel_u16_.empty() && !channel_.empty())
    channel_u16_ = text::Utf8ToUtf16(channel_);
  // The properties of the System template LegacyRecordToEvent's event is
  // written with: every value but the GUIDs, UserID when there is a SID.
  evtx::SystemProperties& p = out->system;
  p = evtx::SystemProperties();
  const ClassicValues v = ValuesOf(r);
  p.event_id = v.event_id;
  p.qualifiers = v.qualifiers;
  p.level = v.level;
  p.task = v.task;
  p.keywords = v.keywords;
  p.time_created = v.time_created;
  p.event_record_id = r.number;
  for (P set : {P::kProviderName, P::kEventId, P::kQualifiers, P::kLevel, P::kTask,
                P::kOpcode, P::kKeywords, P::kTimeCreated, P::kEventRecordId,
                P::kProcessId, P::kThreadId, P::kChannel, P::kComputer, P::kVersion})
    p.Set(set);
  SetName(r.source, &out->provider_name);
  out->channel = channel_u16_;
  SetName(r.computer, &out->computer);
  // The chunk's UserID is the SID's text parsed back: a SID that has no text
  // form, or whose text does not parse, gives none. Records without a SID
  // leave the last one cached, as they come between those of one account.
  if (r.sid.empty()) {
    out->user_sid.clear();
  } else {
    if (r.sid != last_sid_) {
      last_sid_ = r.sid;
      last_user_id_.clear();
      std::string sid_text;
      if (!evtx::AppendSid(r.sid.data(), r.sid.size(), &sid_text) ||
          !evtx::ParseSidText(sid_text, &last_user_id_))
        last_user_id_.clear();
    }
    out->user_sid = last_user_id_;
  }
  if (!out->user_sid.empty()) p.Set(P::kUserId);
  out->chunk.reset();
  out->record = evtx::RecordRef();
  const std::span<const uint8_t> bytes = reader_.record_bytes();
  out->legacy_record.assign(bytes.begin(), bytes.end());
  out->data_items.reset();
  return true;
}

uint64_t LegacyLogSource::ApproximateRecords() const {
  const evt::FileHeader& header = reader_.header();
  const uint64_t most = file_.size() / evt::kMinRecordSize;
  if (header.last_number > header.first_number &&
      header.last_number - header.first_number <= most)
    return header.last_number - header.first_number;
  constexpr uint64_t kCommonRecordSize = 256;
  return file_.size() / kCommonRecordSize;
}

uint32_t LegacyLogSource::NextChunk(uint8_t* buffer) {
  if (finished_) return 0;
  target_ = buffer;
  chunk_ready_ = false;
  // The writer hands a chunk over when the next record no longer fits; that
  // record starts the following chunk.
  while (!chunk_ready_) {
    if (!reader_.Next(&record_)) {
      finished_ = true;
      writer_->Finish();
      break;
    }
    LegacyRecordToEvent(record_, channel_, &event_);
    // A record too large for a chunk of its own (a legacy record may hold
    // up to kMaxRecordSize bytes) is cut until it fits, never left out.
    while (!writer_->Add(event_) && Shrink(&event_)) {
    }
  }
  return chunk_ready_ ? static_cast<uint32_t>(evtx::kChunkSize) : 0;
}

}  // namespace qrv::offline
