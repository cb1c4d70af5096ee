// The 18 system properties of an event, in EVT_SYSTEM_PROPERTY_ID order, as
// read straight from a record's substitution values without building a tree
// or text. Strings and SIDs point into the chunk (or into the decoder's
// scratch for unusual templates) and stay valid until the decoder loads the
// next record or chunk. Entry points: SystemProperties, Utf16Ref.
#ifndef QRV_FORMATS_EVTX_SYSTEM_PROPERTIES_H_
#define QRV_FORMATS_EVTX_SYSTEM_PROPERTIES_H_

#include <cstdint>
#include <string>

namespace evtx {

// Same numbering as EVT_SYSTEM_PROPERTY_ID on Windows.
enum class SystemProperty : uint8_t {
  kProviderName = 0,
  kProviderGuid,
  kEventId,
  kQualifiers,
  kLevel,
  kTask,
  kOpcode,
  kKeywords,
  kTimeCreated,
  kEventRecordId,
  kActivityId,
  kRelatedActivityId,
  kProcessId,
  kThreadId,
  kChannel,
  kComputer,
  kUserId,
  kVersion,
};
constexpr int kSystemPropertyCount = 18;

// UTF-16LE text inside the mapped file: `units` code units at `data`, not
// NUL-terminated and possibly not 2-byte aligned.
struct Utf16Ref {
  const uint8_t* data = nullptr;
  uint32_t units = 0;

  std::u16string ToU16() const;
  std::string ToUtf8() const;
};

// A GUID in its on-disk byte order (Data1..Data3 little-endian, Data4 bytes).
struct GuidBytes {
  uint8_t bytes[16] = {};
};

// Where the System part of an event's template departs from the manifest
// layout (Provider with a typed Guid, Correlation and Execution always
// there). These come from the template alone, so every record of a template
// has the same bits.
enum SystemLayout : uint8_t {
  kLayoutGuidText = 1,         // Provider/@Guid is literal template text
  kLayoutEventSourceName = 2,  // Provider has a literal @EventSourceName
  kLayoutNoCorrelation = 4,    // no Correlation element
  kLayoutNoExecution = 8,      // no Execution element
  // Something in System is filled from a substitution that feeds none of
  // the properties: the System part cannot be rebuilt from them.
  kLayoutOpaque = 16,
};

struct SystemProperties {
  // Bit (1 << property id) is set for each property the event has; absent ones
  // are what EvtRender reports as EvtVarTypeNull.
  uint32_t present = 0;

  Utf16Ref provider_name;
  GuidBytes provider_guid;
  uint16_t event_id = 0;
  uint16_t qualifiers = 0;
  uint8_t level = 0;
  uint16_t task = 0;
  uint8_t opcode = 0;
  uint64_t keywords = 0;
  uint64_t time_created = 0;  // FILETIME ticks, UTC
  uint64_t event_record_id = 0;
  GuidBytes activity_id;
  GuidBytes related_activity_id;
  uint32_t process_id = 0;
  uint32_t thread_id = 0;
  Utf16Ref channel;
  Utf16Ref computer;
  const uint8_t* user_sid = nullptr;  // binary SID
  uint32_t user_sid_size = 0;
  uint8_t version = 0;

  uint8_t layout = 0;  // SystemLayout bits
  // With kLayoutGuidText, the template's text of Provider/@Guid (as written,
  // whatever its case); with kLayoutEventSourceName, that attribute's text.
  Utf16Ref provider_guid_text;
  Utf16Ref event_source_name;

  bool Has(SystemProperty p) const {
    return (present >> static_cast<int>(p)) & 1u;
  }
  void Set(SystemProperty p) { present |= 1u << static_cast<int>(p); }
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_SYSTEM_PROPERTIES_H_
