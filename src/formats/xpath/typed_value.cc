// Typed comparison of event values against query literals (see the header).
// Nothing here allocates when comparing, so it can run once per event.
#include "formats/xpath/typed_value.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "formats/ascii.h"

namespace xpath {
namespace {

using evtx::ValueType;

using ascii::EqualsIgnoreCase;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<uint64_t> ParseHex(std::string_view s) {
  if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) {
    return std::nullopt;
  }
  uint64_t v = 0;
  for (const char c : s.substr(2)) {
    const int d = HexDigit(c);
    if (d < 0 || (v >> 60) != 0) return std::nullopt;
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  return v;
}

std::optional<uint64_t> ParseDecimal(std::string_view s) {
  uint64_t v = 0;
  if (s.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// XPath number grammar: optional '-', Digits ['.' Digits?] | '.' Digits.
std::optional<double> ParseXPathNumber(std::string_view s) {
  size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0 || i != s.size()) return std::nullopt;
  double d = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return d;
}

std::string_view TrimSpace(std::string_view s) {
  const auto space = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
  };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// A number as read from an event value.
struct Number {
  enum class Kind : uint8_t { kNone, kUnsigned, kSigned, kDouble } kind =
      Kind::kNone;
  uint64_t u = 0;
  int64_t i = 0;
  double d = 0;
};

Number NumberFromText(std::string_view text) {
  Number n;
  text = TrimSpace(text);
  if (auto hex = ParseHex(text)) {
    n.kind = Number::Kind::kUnsigned;
    n.u = *hex;
  } else if (auto dec = ParseDecimal(text)) {
    n.kind = Number::Kind::kUnsigned;
    n.u = *dec;
  } else if (auto d = ParseXPathNumber(text)) {
    n.kind = Number::Kind::kDouble;
    n.d = *d;
  }
  return n;
}

Number ValueAsNumber(const evtx::Value& v) {
  Number n;
  switch (v.type) {
    case ValueType::kUInt8:
    case ValueType::kUInt16:
    case ValueType::kUInt32:
    case ValueType::kUInt64:
    case ValueType::kHexInt32:
    case ValueType::kHexInt64:
    case ValueType::kSizeT:
    case ValueType::kBool:
    case ValueType::kFileTime:
    case ValueType::kSysTime:
      n.kind = Number::Kind::kUnsigned;
      n.u = v.u;
      break;
    case ValueType::kInt8:
    case ValueType::kInt16:
    case ValueType::kInt32:
    case ValueType::kInt64:
      n.kind = Number::Kind::kSigned;
      n.i = static_cast<int64_t>(v.u);
      break;
    case ValueType::kReal32:
    case ValueType::kReal64:
      n.kind = Number::Kind::kDouble;
      n.d = v.d;
      break;
    case ValueType::kString:
    case ValueType::kAnsiString:
      n = NumberFromText(v.text);
      break;
    default:
      break;
  }
  return n;
}

template <typename T>
bool Apply(T a, CompareOp op, T b) {
  switch (op) {
    case CompareOp::kEq: return a == b;
    case CompareOp::kNe: return a != b;
    case CompareOp::kLt: return a < b;
    case CompareOp::kLe: return a <= b;
    case CompareOp::kGt: return a > b;
    case CompareOp::kGe: return a >= b;
  }
  return false;
}

bool CompareDouble(double a, CompareOp op, double b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  return Apply(a, op, b);
}

bool CompareNumber(const Number& n, CompareOp op, const Literal& lit) {
  const bool lit_unsigned = lit.kind == Literal::Kind::kUnsigned;
  switch (n.kind) {
    case Number::Kind::kNone:
      return false;
    case Number::Kind::kUnsigned:
      if (lit_unsigned) return Apply(n.u, op, lit.u);
      return CompareDouble(static_cast<double>(n.u), op, lit.d);
    case Number::Kind::kSigned:
      return CompareSigned(n.i, op, lit);
    case Number::Kind::kDouble:
      return CompareDouble(n.d, op,
                           lit_unsigned ? static_cast<double>(lit.u) : lit.d);
  }
  return false;
}

// 16 bytes of a GUID in text order, braces optional, case-insensitive.
bool ParseGuid(std::string_view s, uint8_t out[16]) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') {
    s = s.substr(1, 36);
  }
  if (s.size() != 36) return false;
  size_t byte = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (s[i] != '-') return false;
      ++i;
      continue;
    }
    const int hi = HexDigit(s[i]);
    const int lo = HexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[byte++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

// S-R-A-S1-…: revision, authority and at least one more number.
bool LooksLikeSid(std::string_view s) {
  if (s.size() < 5 || (s[0] != 'S' && s[0] != 's') || s[1] != '-') return false;
  size_t parts = 0;
  size_t run = 0;
  for (size_t i = 2; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == '-') {
      if (run == 0) return false;
      ++parts;
      run = 0;
    } else if (IsDigit(s[i])) {
      ++run;
    } else {
      return false;
    }
  }
  return parts >= 2;
}

}  // namespace

Literal ClassifyString(std::string_view text, CompareOp op) {
  Literal lit;
  lit.text = std::string(text);
  const bool equality = op == CompareOp::kEq || op == CompareOp::kNe;
  uint8_t guid[16];
  if (auto ticks = ParseTimeLiteral(text)) {
    lit.kind = Literal::Kind::kTime;
    lit.u = *ticks;
  } else if (ParseGuid(text, guid)) {
    lit.kind = Literal::Kind::kGuid;
  } else if (LooksLikeSid(text)) {
    lit.kind = Literal::Kind::kSid;
  } else if (auto hex = ParseHex(text)) {
    lit.kind = Literal::Kind::kUnsigned;
    lit.u = *hex;
  } else if (!equality) {
    const Number n = NumberFromText(text);
    if (n.kind == Number::Kind::kUnsigned) {
      lit.kind = Literal::Kind::kUnsigned;
      lit.u = n.u;
    } else if (n.kind == Number::Kind::kDouble) {
      lit.kind = Literal::Kind::kDouble;
      lit.d = n.d;
    } else {
      lit.kind = Literal::Kind::kNever;
    }
  }
  return lit;
}

std::optional<Literal> NumberLiteral(std::string_view token) {
  Literal lit;
  lit.text = std::string(token);
  if (auto hex = ParseHex(token)) {
    lit.kind = Literal::Kind::kUnsigned;
    lit.u = *hex;
  } else if (auto dec = ParseDecimal(token)) {
    lit.kind = Literal::Kind::kUnsigned;
    lit.u = *dec;
  } else if (auto d = ParseXPathNumber(token)) {
    lit.kind = Literal::Kind::kDouble;
    lit.d = *d;
  } else {
    return std::nullopt;
  }
  return lit;
}

bool CompareSigned(int64_t lhs, CompareOp op, const Literal& lit) {
  if (lit.kind == Literal::Kind::kDouble) {
    return CompareDouble(static_cast<double>(lhs), op, lit.d);
  }
  if (lit.kind != Literal::Kind::kUnsigned) return false;
  if (lhs < 0) {
    // Any negative number is below every unsigned literal.
    return op == CompareOp::kNe || op == CompareOp::kLt ||
           op == CompareOp::kLe;
  }
  return Apply(static_cast<uint64_t>(lhs), op, lit.u);
}

bool CompareUnsigned(uint64_t lhs, CompareOp op, const Literal& lit) {
  if (lit.kind == Literal::Kind::kDouble) {
    return CompareDouble(static_cast<double>(lhs), op, lit.d);
  }
  return lit.kind == Literal::Kind::kUnsigned && Apply(lhs, op, lit.u);
}

std::optional<uint64_t> ValueAsUnsigned(const evtx::Value& value) {
  const Number n = ValueAsNumber(value);
  if (n.kind == Number::Kind::kUnsigned) return n.u;
  if (n.kind == Number::Kind::kSigned) return static_cast<uint64_t>(n.i);
  return std::nullopt;
}

std::optional<uint64_t> ValueAsTime(const evtx::Value& value) {
  if (value.type == ValueType::kFileTime || value.type == ValueType::kSysTime) {
    return value.u;
  }
  if (value.type == ValueType::kString || value.type == ValueType::kAnsiString) {
    return ParseTimeLiteral(TrimSpace(value.text));
  }
  return std::nullopt;
}

bool CompareValue(const evtx::Value& value, CompareOp op, const Literal& lit) {
  switch (lit.kind) {
    case Literal::Kind::kUnsigned:
    case Literal::Kind::kDouble:
      return CompareNumber(ValueAsNumber(value), op, lit);
    case Literal::Kind::kString: {
      const bool equal = EqualsIgnoreCase(value.text, lit.text);
      return op == CompareOp::kEq ? equal : !equal;
    }
    case Literal::Kind::kTime: {
      const auto ticks = ValueAsTime(value);
      return ticks.has_value() && Apply(*ticks, op, lit.u);
    }
    case Literal::Kind::kGuid: {
      uint8_t a[16];
      uint8_t b[16];
      if (!ParseGuid(value.text, a) || !ParseGuid(lit.text, b)) return false;
      bool equal = true;
      for (int i = 0; i < 16; ++i) equal = equal && a[i] == b[i];
      return op == CompareOp::kEq ? equal : !equal;
    }
    case Literal::Kind::kSid: {
      if (!LooksLikeSid(value.text)) return false;
      const bool equal = EqualsIgnoreCase(value.text, lit.text);
      return op == CompareOp::kEq ? equal : !equal;
    }
    case Literal::Kind::kNever:
      return false;
  }
  return false;
}

}  // namespace xpath
