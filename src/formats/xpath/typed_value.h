// Typed comparison of event values against query literals, the way the
// event-log service compares them: a literal is classified once when the
// query compiles (number, time, GUID, SID, hex number or plain string) and
// each event value is converted to the literal's type when compared; a value
// that does not convert never compares true, whatever the operator.
// Entry points: ClassifyString(), NumberLiteral(), CompareValue(),
// CompareSigned(), CompareUnsigned(), ValueAsUnsigned(), ValueAsTime().
#ifndef QRV_FORMATS_XPATH_TYPED_VALUE_H_
#define QRV_FORMATS_XPATH_TYPED_VALUE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/evtx/event_tree.h"
#include "formats/xpath/time_literal.h"

namespace xpath {

enum class CompareOp : uint8_t { kEq, kNe, kLt, kLe, kGt, kGe };

struct Literal {
  enum class Kind : uint8_t {
    kUnsigned,  // number token or '0x…' string that fits 64 bits
    kDouble,    // any other number
    kString,    // text compared case-insensitively (= and != only)
    kTime,      // 'YYYY-MM-DDTHH:MM:SS[.f]Z' as FILETIME ticks in `u`
    kGuid,      // '{…}' or bare 8-4-4-4-12 GUID text (= and != only)
    kSid,       // 'S-1-…' (= and != only)
    kNever,     // relational test against a non-numeric string: never true
  };
  Kind kind = Kind::kString;
  uint64_t u = 0;
  double d = 0.0;
  std::string text;
};

// Classifies a quoted literal used on the right of `op`. Strings that read as
// a decimal number stay strings for = and != (so EventID='4624' compares the
// rendered text) but become numbers for <, <=, >, >= as XPath 1.0 converts
// both sides to numbers there.
Literal ClassifyString(std::string_view text, CompareOp op);

// Parses an unquoted number token (decimal, decimal fraction or 0x hex).
std::optional<Literal> NumberLiteral(std::string_view token);

// True when `value` converts to the literal's type and the comparison holds.
bool CompareValue(const evtx::Value& value, CompareOp op, const Literal& lit);

// Compare a computed number (a timediff() result, a position, a band()
// result) with a numeric literal (kUnsigned or kDouble); false otherwise.
bool CompareSigned(int64_t lhs, CompareOp op, const Literal& lit);
bool CompareUnsigned(uint64_t lhs, CompareOp op, const Literal& lit);

// Integer view of a value for band(): integer types as stored, strings when
// they read as a decimal or 0x hex integer.
std::optional<uint64_t> ValueAsUnsigned(const evtx::Value& value);

// FILETIME ticks of a value: FileTime/SysTime as stored, strings when they
// read as a time in the literal grammar.
std::optional<uint64_t> ValueAsTime(const evtx::Value& value);

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_TYPED_VALUE_H_
