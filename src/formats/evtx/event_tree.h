// The whole of one event as a tree of elements with typed values: what the
// EVTX reader produces for a record and what the query evaluator walks. It is
// the event XML without the text: every element keeps its name, attributes and
// content, and every value keeps the type it was logged with, so comparisons
// can be typed (numbers, times, GUIDs, SIDs) the way the event-log service
// compares them.
//
// Entry points: EventTree (the elements of one event, root first) and Value.
#ifndef QRV_FORMATS_EVTX_EVENT_TREE_H_
#define QRV_FORMATS_EVTX_EVENT_TREE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace evtx {

// Value type codes as stored in EVTX substitution descriptors; they are the
// same numbers as EVT_VARIANT_TYPE on Windows.
enum class ValueType : uint8_t {
  kNull = 0x00,
  kString = 0x01,
  kAnsiString = 0x02,
  kInt8 = 0x03,
  kUInt8 = 0x04,
  kInt16 = 0x05,
  kUInt16 = 0x06,
  kInt32 = 0x07,
  kUInt32 = 0x08,
  kInt64 = 0x09,
  kUInt64 = 0x0A,
  kReal32 = 0x0B,
  kReal64 = 0x0C,
  kBool = 0x0D,
  kBinary = 0x0E,
  kGuid = 0x0F,
  kSizeT = 0x10,
  kFileTime = 0x11,
  kSysTime = 0x12,
  kSid = 0x13,
  kHexInt32 = 0x14,
  kHexInt64 = 0x15,
  kBinXml = 0x21,
};

// One scalar value. `text` is always the value as Windows renders it in
// event XML (UTF-8, not XML-escaped). The numeric members hold the value in
// binary form when the type has one:
//   integers, hex integers, SizeT, Bool: `u` (signed types sign-extended);
//   Real32/Real64: `d`;
//   FileTime and SysTime: `u` = FILETIME ticks (100 ns since 1601-01-01 UTC);
//   everything else (strings, GUID, SID, binary): `text` only.
// Text that came from literal characters in the event (not a substitution)
// has type kString.
struct Value {
  ValueType type = ValueType::kNull;
  uint64_t u = 0;
  double d = 0.0;
  std::string text;
};

struct Attribute {
  std::string name;
  Value value;
};

// One element. `text` is the element's character content: for content made
// of one substitution it carries that value's type; content made of several
// pieces is concatenated as kString. An element with child elements may still
// have text (mixed content), which queries never look at.
struct Element {
  std::string name;
  std::vector<Attribute> attributes;
  std::vector<uint32_t> children;  // indices into EventTree::elements, in order
  Value text;
};

// Elements of one event in document order; elements[0] is the root (<Event>).
// Cleared and refilled per record so that a reader can reuse the capacity.
struct EventTree {
  std::vector<Element> elements;

  void Clear() { elements.clear(); }
  const Element* Root() const {
    return elements.empty() ? nullptr : &elements[0];
  }
};

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_EVENT_TREE_H_
