// Legacy records as EVTX chunks; see legacy_log_source.h.
#include "platform/offline/service/legacy_log_source.h"

#include <cstring>
#include <vector>

#include "formats/evtx/chunk_decoder.h"
#include "formats/evtx/value_format.h"
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
  out->provider_name = text::Utf16ToUtf8(record.source);
  out->event_id = static_cast<uint16_t>(record.event_id & 0xFFFF);
  out->qualifiers = static_cast<uint16_t>(record.event_id >> 16);
  out->level = LevelOf(record.event_type);
  out->task = record.category;
  out->keywords = kClassicKeyword;
  out->always_event_data = true;
  if (record.event_type == evt::kTypeAuditSuccess) out->keywords |= kAuditSuccessKeyword;
  if (record.event_type == evt::kTypeAuditFailure) out->keywords |= kAuditFailureKeyword;
  out->time_created = kUnixEpochTicks + uint64_t{record.time_generated} * kTicksPerSecond;
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
