// The system-property variant array; see system_values.h.
#include "platform/offline/service/system_values.h"

#include <cstring>

#include "platform/event_log_api.h"

namespace qrv::offline {

namespace {

using P = evtx::SystemProperty;

constexpr size_t kVariantBytes = sizeof(EvtVariant) * kEvtSystemPropertyIdEnd;
constexpr size_t kGuidBytes = 16;

size_t StringBytes(const std::u16string& s) { return (s.size() + 1) * 2; }

size_t GuidCount(const evtx::SystemProperties& p) {
  return static_cast<size_t>(p.Has(P::kProviderGuid)) +
         static_cast<size_t>(p.Has(P::kActivityId)) +
         static_cast<size_t>(p.Has(P::kRelatedActivityId));
}

// Appends bytes to the tail of the answer and returns where they went.
class Tail {
 public:
  explicit Tail(uint8_t* at) : at_(at) {}
  const uint8_t* Put(const void* data, size_t size) {
    uint8_t* where = at_;
    if (size != 0) std::memcpy(where, data, size);
    at_ += size;
    return where;
  }
  const char16_t* PutString(const std::u16string& s) {
    const char16_t nul = 0;
    const uint8_t* where = Put(s.data(), s.size() * 2);
    Put(&nul, 2);
    return reinterpret_cast<const char16_t*>(where);
  }

 private:
  uint8_t* at_;
};

}  // namespace

size_t SystemValuesSize(const CapturedEvent& event) {
  const evtx::SystemProperties& p = event.system;
  size_t size = kVariantBytes + GuidCount(p) * kGuidBytes;
  if (p.Has(P::kUserId)) size += event.user_sid.size();
  if (p.Has(P::kProviderName)) size += StringBytes(event.provider_name);
  if (p.Has(P::kChannel)) size += StringBytes(event.channel);
  if (p.Has(P::kComputer)) size += StringBytes(event.computer);
  return size;
}

void RenderSystemValues(const CapturedEvent& event, void* buffer) {
  const evtx::SystemProperties& p = event.system;
  auto* v = static_cast<EvtVariant*>(buffer);
  std::memset(v, 0, kVariantBytes);
  Tail tail(static_cast<uint8_t*>(buffer) + kVariantBytes);

  const auto guid = [&](P id, const evtx::GuidBytes& g, uint32_t slot) {
    if (!p.Has(id)) return;
    v[slot].guid_val = tail.Put(g.bytes, kGuidBytes);
    v[slot].type = kEvtVarTypeGuid;
  };
  guid(P::kProviderGuid, p.provider_guid, kEvtSystemProviderGuid);
  guid(P::kActivityId, p.activity_id, kEvtSystemActivityID);
  guid(P::kRelatedActivityId, p.related_activity_id,
       kEvtSystemRelatedActivityID);
  if (p.Has(P::kUserId)) {
    v[kEvtSystemUserID].sid_val =
        tail.Put(event.user_sid.data(), event.user_sid.size());
    v[kEvtSystemUserID].count = static_cast<uint32_t>(event.user_sid.size());
    v[kEvtSystemUserID].type = kEvtVarTypeSid;
  }
  const auto text = [&](P id, const std::u16string& s, uint32_t slot) {
    if (!p.Has(id)) return;
    v[slot].string_val = tail.PutString(s);
    v[slot].type = kEvtVarTypeString;
  };
  text(P::kProviderName, event.provider_name, kEvtSystemProviderName);
  text(P::kChannel, event.channel, kEvtSystemChannel);
  text(P::kComputer, event.computer, kEvtSystemComputer);

  if (p.Has(P::kEventId)) {
    v[kEvtSystemEventID].uint16_val = p.event_id;
    v[kEvtSystemEventID].type = kEvtVarTypeUInt16;
  }
  if (p.Has(P::kQualifiers)) {
    v[kEvtSystemQualifiers].uint16_val = p.qualifiers;
    v[kEvtSystemQualifiers].type = kEvtVarTypeUInt16;
  }
  if (p.Has(P::kLevel)) {
    v[kEvtSystemLevel].byte_val = p.level;
    v[kEvtSystemLevel].type = kEvtVarTypeByte;
  }
  if (p.Has(P::kTask)) {
    v[kEvtSystemTask].uint16_val = p.task;
    v[kEvtSystemTask].type = kEvtVarTypeUInt16;
  }
  if (p.Has(P::kOpcode)) {
    v[kEvtSystemOpcode].byte_val = p.opcode;
    v[kEvtSystemOpcode].type = kEvtVarTypeByte;
  }
  if (p.Has(P::kKeywords)) {
    v[kEvtSystemKeywords].uint64_val = p.keywords;
    v[kEvtSystemKeywords].type = kEvtVarTypeHexInt64;
  }
  if (p.Has(P::kTimeCreated)) {
    v[kEvtSystemTimeCreated].filetime_val = p.time_created;
    v[kEvtSystemTimeCreated].type = kEvtVarTypeFileTime;
  }
  if (p.Has(P::kEventRecordId)) {
    v[kEvtSystemEventRecordId].uint64_val = p.event_record_id;
    v[kEvtSystemEventRecordId].type = kEvtVarTypeUInt64;
  }
  if (p.Has(P::kProcessId)) {
    v[kEvtSystemProcessID].uint32_val = p.process_id;
    v[kEvtSystemProcessID].type = kEvtVarTypeUInt32;
  }
  if (p.Has(P::kThreadId)) {
    v[kEvtSystemThreadID].uint32_val = p.thread_id;
    v[kEvtSystemThreadID].type = kEvtVarTypeUInt32;
  }
  if (p.Has(P::kVersion)) {
    v[kEvtSystemVersion].byte_val = p.version;
    v[kEvtSystemVersion].type = kEvtVarTypeByte;
  }
}

}  // namespace qrv::offline
