// The Event/System part of an event tree built straight from the reader's
// system properties, without walking the record's BinXml: the fast input of
// queries that look at nothing but System. Entry points: SystemTreeBuilder,
// SameSystemPart.
//
// The layout is the one of the System template Windows writes for manifest
// events (Provider, EventID, Version, Level, Task, Opcode, Keywords,
// TimeCreated, EventRecordID, Correlation, Execution, Channel, Computer,
// Security), attributes present as the properties are, with the departures
// the properties' layout bits record: a Guid kept as the template's text, a
// literal EventSourceName (classic sources), no Correlation or Execution.
// Values are filled by the reader's own value formatter, so types and texts
// are those the full tree has. Other templates (records saved as plain text,
// attributes in another order, values of other types) differ; a caller
// checks each template once against the full tree with SameSystemPart and
// builds the full tree for the templates that differ.
#ifndef QRV_PLATFORM_OFFLINE_SERVICE_SYSTEM_TREE_H_
#define QRV_PLATFORM_OFFLINE_SERVICE_SYSTEM_TREE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/evtx/event_tree.h"
#include "formats/evtx/system_properties.h"

namespace qrv::offline {

class SystemTreeBuilder {
 public:
  // Without `number_texts`, integer and FILETIME values get their type and
  // binary value but no text: for queries that compare nothing as text
  // (QueryReadsValueText), which then read numbers and times only in binary.
  explicit SystemTreeBuilder(bool number_texts = true)
      : number_texts_(number_texts) {}

  // Refills the tree from `props`: Event (with its xmlns attribute) holding
  // one System element. The tree's elements, attributes and strings are
  // overwritten in place, so once the same properties have been seen no
  // record allocates. When the set of present properties is the one of the
  // last call, only the values are written, and a value whose stored bytes
  // equal the last record's (the provider, channel and computer names, the
  // GUIDs and the SID usually do) keeps its text as it is.
  const evtx::EventTree& Build(const evtx::SystemProperties& props);

 private:
  uint32_t AddElement(std::string_view name, uint32_t parent);
  evtx::Value* AddAttribute(uint32_t element, std::string_view name);
  void FinishElement(uint32_t element);
  // FillValue, skipped when the value's type and bytes are those it was
  // last filled from.
  void Fill(evtx::ValueType type, const uint8_t* data, size_t size,
            evtx::Value* value);

  // An integer or FILETIME value; through Fill when texts are wanted.
  void FillNumber(evtx::ValueType type, uint64_t value, size_t width,
                  evtx::Value* out);

  const bool number_texts_;
  evtx::EventTree tree_;
  size_t element_count_ = 0;
  size_t attribute_count_ = 0;  // of the element being built
  // Values are only rewritten (the layout is the last call's).
  bool refresh_ = false;
  bool built_ = false;
  uint32_t present_ = 0;  // of the last call
  uint8_t layout_ = 0;    // of the last call
  // The type and bytes each value was last filled from, in fill order.
  std::vector<std::string> sources_;
  size_t fill_count_ = 0;
};

// True when both trees have the same root (name and attributes) and the same
// System subtree: element names and order, attribute names and order, value
// types, binary values and texts. Other children of the root are ignored.
bool SameSystemPart(const evtx::EventTree& a, const evtx::EventTree& b);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_SERVICE_SYSTEM_TREE_H_
