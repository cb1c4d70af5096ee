// Renders EVTX substitution values (the EVT_VARIANT_TYPE codes of event_tree.h)
// as Windows 10/11 EvtRender prints them in event XML: FILETIMEs as ISO 8601
// UTC with 7 fractional digits, GUIDs lowercase in braces, SIDs as S-1-...,
// hex integers as 0x + lowercase digits, binary as uppercase hex pairs.
// Message inserts are rendered apart, as EvtFormatMessage writes them.
// Entry points: AppendValueText(), FillValue(), NextArrayItem(),
// AppendInsertText().
#ifndef QRV_FORMATS_EVTX_VALUE_FORMAT_H_
#define QRV_FORMATS_EVTX_VALUE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/evtx/event_tree.h"
#include "formats/evtx/utf16_text.h"

namespace evtx {

// Bit set on a descriptor's type byte when the value is an array of the base
// type in the low 7 bits.
constexpr uint8_t kArrayFlag = 0x80;

void AppendFileTime(uint64_t ticks, std::string* out);
void AppendGuid(const uint8_t* guid16, std::string* out);
// False (and nothing appended) when the bytes do not hold a whole SID.
bool AppendSid(const uint8_t* data, size_t size, std::string* out);

// Appends the text of one scalar value (type without kArrayFlag). Malformed
// sizes render what Windows would have nothing for: an empty string.
void AppendValueText(uint8_t type, const uint8_t* data, size_t size,
                     Escape escape, std::string* out);

// The binary form of integer-shaped values (integers sign-extended, hex,
// SizeT, Bool, FileTime and SysTime as FILETIME ticks); false for others.
bool ValueAsUnsigned(uint8_t type, const uint8_t* data, size_t size,
                     uint64_t* out);

// Fills `value` (type, binary form and unescaped text) from one scalar value.
void FillValue(uint8_t type, const uint8_t* data, size_t size, Value* value);

// Steps through the items of an array value of base type `base`: sets
// `item`/`item_size` and advances `*pos`; false at the end or on a torn item.
// String arrays hold NUL-terminated items; SIDs size themselves; the rest
// have a fixed width.
bool NextArrayItem(uint8_t base, const uint8_t** pos, const uint8_t* end,
                   const uint8_t** item, size_t* item_size);

// A data item as EvtFormatMessage writes it into an event's message (%1 and
// on), where Windows 10 and later differ from the XML in two types: a
// FILETIME or SYSTEMTIME has nine fraction digits
// (2026-05-28T02:32:07.496501000Z where the XML holds ...07.4965010Z), and
// a HexInt32 or HexInt64 has upper-case digits (Logon ID 0x3E7 where the
// XML holds 0x3e7). Every other type is written as in the XML. This is the
// one rule for inserts: every message, from a DLL or from a database, takes
// its inserts from here.
void AppendInsertText(uint8_t type, const uint8_t* data, size_t size,
                      std::string* out);
// The same for an item as an event tree holds it (times by their ticks).
void AppendInsertText(const Value& value, std::string* out);

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_VALUE_FORMAT_H_
