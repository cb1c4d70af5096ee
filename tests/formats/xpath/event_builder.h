// Test helper: builds evtx::EventTree values by hand, with values typed the
// way the EVTX reader types them (EventID UInt16, Keywords HexInt64,
// SystemTime FileTime, ...). Entry points: EventBuilder and the value makers.
#ifndef QRV_TESTS_FORMATS_XPATH_EVENT_BUILDER_H_
#define QRV_TESTS_FORMATS_XPATH_EVENT_BUILDER_H_

#include <cstdint>
#include <string>

#include "formats/evtx/event_tree.h"

namespace xpath_test {

evtx::Value Str(std::string text);
evtx::Value UInt(evtx::ValueType type, uint64_t u);  // decimal text
evtx::Value Hex64(uint64_t u);                      // "0x…" text
evtx::Value FileTime(uint64_t ticks);               // ISO text, 7 digits
evtx::Value Typed(evtx::ValueType type, std::string text);  // GUID, SID

// FILETIME ticks for a UTC date and time (whole seconds).
uint64_t Ticks(int year, int month, int day, int hour, int minute, int second);

class EventBuilder {
 public:
  EventBuilder();  // creates the <Event> root
  uint32_t Add(uint32_t parent, std::string name, evtx::Value text = {});
  void Attr(uint32_t element, std::string name, evtx::Value value);
  // Event/System with the usual typed fields; returns the System index.
  uint32_t System(uint16_t event_id, uint8_t level, uint64_t keywords,
                  uint64_t time_ticks, const std::string& provider);
  const evtx::EventTree& tree() const { return tree_; }

 private:
  evtx::EventTree tree_;
};

}  // namespace xpath_test

#endif  // QRV_TESTS_FORMATS_XPATH_EVENT_BUILDER_H_
