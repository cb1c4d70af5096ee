// Value rendering for event XML and event trees; see value_format.h for the
// Windows forms mirrored.
#include "formats/evtx/value_format.h"

#include <charconv>
#include <cstring>

#include "formats/evtx/bytes.h"
#include "formats/evtx/civil_time.h"
#include "formats/evtx/utf16_text.h"

namespace evtx {
namespace {

constexpr char kHexLower[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";

template <typename T>
void AppendInt(T v, std::string* out) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof(buf), v);
  out->append(buf, res.ptr);
}

void AppendHex(uint64_t v, std::string* out) {
  char buf[18];
  char* p = buf + sizeof(buf);
  do {
    *--p = kHexLower[v & 0xF];
    v >>= 4;
  } while (v != 0);
  out->append("0x");
  out->append(p, buf + sizeof(buf));
}

void AppendPadded(uint32_t v, int width, std::string* out) {
  char buf[10];
  for (int i = width - 1; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out->append(buf, width);
}

// SYSTEMTIME (8 x u16: year, month, weekday, day, hour, minute, second, ms)
// to FILETIME ticks; 0 for an impossible date.
uint64_t SysTimeTicks(const uint8_t* p) {
  const uint32_t year = LoadU16(p), month = LoadU16(p + 2),
                 day = LoadU16(p + 6);
  const uint32_t hour = LoadU16(p + 8), minute = LoadU16(p + 10);
  const uint32_t second = LoadU16(p + 12), ms = LoadU16(p + 14);
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 ||
      hour > 23 || minute > 59 || second > 59 || ms > 999) {
    return 0;
  }
  const int64_t days = DaysFromCivil(year, month, day);
  const int64_t secs = days * 86400 + hour * 3600 + minute * 60 + second +
                       kFileTimeToUnixSeconds;
  return static_cast<uint64_t>(secs) * kTicksPerSecond + ms * 10000ULL;
}

size_t FixedWidth(uint8_t base) {
  switch (static_cast<ValueType>(base)) {
    case ValueType::kInt8:
    case ValueType::kUInt8:
      return 1;
    case ValueType::kInt16:
    case ValueType::kUInt16:
      return 2;
    case ValueType::kInt32:
    case ValueType::kUInt32:
    case ValueType::kReal32:
    case ValueType::kBool:
    case ValueType::kHexInt32:
      return 4;
    case ValueType::kInt64:
    case ValueType::kUInt64:
    case ValueType::kReal64:
    case ValueType::kFileTime:
    case ValueType::kHexInt64:
    case ValueType::kSizeT:
      return 8;
    case ValueType::kGuid:
    case ValueType::kSysTime:
      return 16;
    default:
      return 0;
  }
}

uint64_t LoadSized(const uint8_t* data, size_t size) {
  if (size >= 8) return LoadU64(data);
  if (size >= 4) return LoadU32(data);
  if (size >= 2) return LoadU16(data);
  return size >= 1 ? data[0] : 0;
}

void AppendAnsi(const uint8_t* data, size_t size, Escape escape,
                std::string* out) {
  // Cut at the first NUL; bytes above 0x7F are taken as Windows-1252's
  // Latin-1 range since the writer's code page is not recorded in the file.
  for (size_t i = 0; i < size && data[i] != 0; ++i) {
    AppendCodePoint(data[i], escape, out);
  }
}

// ISO 8601 UTC with `digits` fraction digits: 7 (all the ticks say) or 9
// (the same, written in nanoseconds).
void AppendTime(uint64_t ticks, int digits, std::string* out) {
  const int64_t secs =
      static_cast<int64_t>(ticks / kTicksPerSecond) - kFileTimeToUnixSeconds;
  const uint32_t frac = static_cast<uint32_t>(ticks % kTicksPerSecond);
  int64_t days = secs / 86400;
  int64_t rem = secs % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  int64_t year;
  uint32_t month, day;
  CivilFromDays(days, &year, &month, &day);
  AppendPadded(static_cast<uint32_t>(year), 4, out);
  out->push_back('-');
  AppendPadded(month, 2, out);
  out->push_back('-');
  AppendPadded(day, 2, out);
  out->push_back('T');
  AppendPadded(static_cast<uint32_t>(rem / 3600), 2, out);
  out->push_back(':');
  AppendPadded(static_cast<uint32_t>(rem / 60 % 60), 2, out);
  out->push_back(':');
  AppendPadded(static_cast<uint32_t>(rem % 60), 2, out);
  out->push_back('.');
  AppendPadded(frac, 7, out);
  if (digits == 9) out->append("00");
  out->push_back('Z');
}

bool IsTime(uint8_t type) {
  return type == static_cast<uint8_t>(ValueType::kFileTime) ||
         type == static_cast<uint8_t>(ValueType::kSysTime);
}

bool IsHex(uint8_t type) {
  return type == static_cast<uint8_t>(ValueType::kHexInt32) ||
         type == static_cast<uint8_t>(ValueType::kHexInt64);
}

// "0x3e7" from `start` on -> "0x3E7".
void UpperHexDigits(std::string* out, size_t start) {
  for (size_t i = start + 2; i < out->size(); ++i) {
    char& c = (*out)[i];
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
}

}  // namespace

void AppendFileTime(uint64_t ticks, std::string* out) {
  AppendTime(ticks, 7, out);
}

void AppendGuid(const uint8_t* g, std::string* out) {
  char buf[38];
  char* p = buf;
  auto hex = [&p](uint8_t b) {
    *p++ = kHexLower[b >> 4];
    *p++ = kHexLower[b & 0xF];
  };
  *p++ = '{';
  for (int i = 3; i >= 0; --i) hex(g[i]);
  *p++ = '-';
  hex(g[5]);
  hex(g[4]);
  *p++ = '-';
  hex(g[7]);
  hex(g[6]);
  *p++ = '-';
  hex(g[8]);
  hex(g[9]);
  *p++ = '-';
  for (int i = 10; i < 16; ++i) hex(g[i]);
  *p++ = '}';
  out->append(buf, sizeof(buf));
}

bool AppendSid(const uint8_t* data, size_t size, std::string* out) {
  if (size < 8) return false;
  const size_t count = data[1];
  if (size < 8 + 4 * count) return false;
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | data[i];
  out->append("S-");
  AppendInt(static_cast<unsigned>(data[0]), out);
  out->push_back('-');
  if (authority >= (1ULL << 32)) {
    // ConvertSidToStringSid prints such authorities as 12 hex digits.
    out->append("0x");
    for (int i = 2; i < 8; ++i) {
      out->push_back(kHexLower[data[i] >> 4]);
      out->push_back(kHexLower[data[i] & 0xF]);
    }
  } else {
    AppendInt(authority, out);
  }
  for (size_t i = 0; i < count; ++i) {
    out->push_back('-');
    AppendInt(LoadU32(data + 8 + 4 * i), out);
  }
  return true;
}

void AppendValueText(uint8_t type, const uint8_t* data, size_t size,
                     Escape escape, std::string* out) {
  const size_t need = FixedWidth(type);
  if (need != 0 && size < need &&
      type != static_cast<uint8_t>(ValueType::kSizeT) &&
      type != static_cast<uint8_t>(ValueType::kBool)) {
    return;
  }
  switch (static_cast<ValueType>(type)) {
    case ValueType::kString:
      AppendUtf16(data, Utf16LengthToNul(data, size / 2), escape, out);
      break;
    case ValueType::kAnsiString:
      AppendAnsi(data, size, escape, out);
      break;
    case ValueType::kInt8:
      AppendInt(static_cast<int8_t>(data[0]), out);
      break;
    case ValueType::kUInt8:
      AppendInt(static_cast<unsigned>(data[0]), out);
      break;
    case ValueType::kInt16:
      AppendInt(static_cast<int16_t>(LoadU16(data)), out);
      break;
    case ValueType::kUInt16:
      AppendInt(LoadU16(data), out);
      break;
    case ValueType::kInt32:
      AppendInt(static_cast<int32_t>(LoadU32(data)), out);
      break;
    case ValueType::kUInt32:
      AppendInt(LoadU32(data), out);
      break;
    case ValueType::kInt64:
      AppendInt(static_cast<int64_t>(LoadU64(data)), out);
      break;
    case ValueType::kUInt64:
      AppendInt(LoadU64(data), out);
      break;
    case ValueType::kReal32: {
      float f;
      std::memcpy(&f, data, 4);
      char buf[32];
      auto res = std::to_chars(buf, buf + sizeof(buf), f);
      out->append(buf, res.ptr);
      break;
    }
    case ValueType::kReal64: {
      double d;
      std::memcpy(&d, data, 8);
      char buf[32];
      auto res = std::to_chars(buf, buf + sizeof(buf), d);
      out->append(buf, res.ptr);
      break;
    }
    case ValueType::kBool:
      out->append(LoadSized(data, size) != 0 ? "true" : "false");
      break;
    case ValueType::kBinary:
      for (size_t i = 0; i < size; ++i) {
        out->push_back(kHexUpper[data[i] >> 4]);
        out->push_back(kHexUpper[data[i] & 0xF]);
      }
      break;
    case ValueType::kGuid:
      AppendGuid(data, out);
      break;
    case ValueType::kSizeT:
    case ValueType::kHexInt32:
    case ValueType::kHexInt64:
      AppendHex(LoadSized(data, size), out);
      break;
    case ValueType::kFileTime:
      AppendFileTime(LoadU64(data), out);
      break;
    case ValueType::kSysTime:
      AppendFileTime(SysTimeTicks(data), out);
      break;
    case ValueType::kSid:
      AppendSid(data, size, out);
      break;
    default:
      break;  // Null, API-only handle/XML types, unknown codes
  }
}

bool ValueAsUnsigned(uint8_t type, const uint8_t* data, size_t size,
                     uint64_t* out) {
  const size_t need = FixedWidth(type);
  const bool sized = type == static_cast<uint8_t>(ValueType::kSizeT) ||
                     type == static_cast<uint8_t>(ValueType::kBool);
  if (need != 0 && size < need && !(sized && size > 0)) return false;
  switch (static_cast<ValueType>(type)) {
    case ValueType::kInt8:
      *out = static_cast<uint64_t>(
          static_cast<int64_t>(static_cast<int8_t>(data[0])));
      return true;
    case ValueType::kInt16:
      *out = static_cast<uint64_t>(
          static_cast<int64_t>(static_cast<int16_t>(LoadU16(data))));
      return true;
    case ValueType::kInt32:
      *out = static_cast<uint64_t>(
          static_cast<int64_t>(static_cast<int32_t>(LoadU32(data))));
      return true;
    case ValueType::kUInt8:
    case ValueType::kUInt16:
    case ValueType::kUInt32:
    case ValueType::kInt64:
    case ValueType::kUInt64:
    case ValueType::kHexInt32:
    case ValueType::kHexInt64:
    case ValueType::kFileTime:
      *out = LoadSized(data, need);
      return true;
    case ValueType::kSizeT:
    case ValueType::kBool:
      *out = LoadSized(data, size < 8 ? size : 8);
      return true;
    case ValueType::kSysTime:
      *out = SysTimeTicks(data);
      return true;
    default:
      return false;
  }
}

void FillValue(uint8_t type, const uint8_t* data, size_t size, Value* value) {
  value->type = static_cast<ValueType>(type);
  value->u = 0;
  value->d = 0.0;
  value->text.clear();
  AppendValueText(type, data, size, Escape::kNone, &value->text);
  if (ValueAsUnsigned(type, data, size, &value->u)) return;
  if (type == static_cast<uint8_t>(ValueType::kReal32) && size >= 4) {
    float f;
    std::memcpy(&f, data, 4);
    value->d = f;
  } else if (type == static_cast<uint8_t>(ValueType::kReal64) && size >= 8) {
    std::memcpy(&value->d, data, 8);
  }
}

bool NextArrayItem(uint8_t base, const uint8_t** pos, const uint8_t* end,
                   const uint8_t** item, size_t* item_size) {
  const uint8_t* p = *pos;
  if (p >= end) return false;
  const size_t left = static_cast<size_t>(end - p);
  size_t n = 0;
  switch (static_cast<ValueType>(base)) {
    case ValueType::kString: {
      size_t units = Utf16LengthToNul(p, left / 2);
      *item = p;
      *item_size = units * 2;
      n = units * 2 + 2;
      if (n > left) n = left - left % 2;
      if (n == 0) return false;
      *pos = p + n;
      return true;
    }
    case ValueType::kAnsiString: {
      while (n < left && p[n] != 0) ++n;
      *item = p;
      *item_size = n;
      *pos = p + (n < left ? n + 1 : n);
      return true;
    }
    case ValueType::kSid:
      if (left < 8) return false;
      n = 8 + 4 * static_cast<size_t>(p[1]);
      break;
    default:
      n = FixedWidth(base);
      break;
  }
  if (n == 0 || n > left) return false;
  *item = p;
  *item_size = n;
  *pos = p + n;
  return true;
}

void AppendInsertText(uint8_t type, const uint8_t* data, size_t size,
                      std::string* out) {
  uint64_t ticks = 0;
  if (IsTime(type) && ValueAsUnsigned(type, data, size, &ticks)) {
    AppendTime(ticks, 9, out);
    return;
  }
  const size_t start = out->size();
  AppendValueText(type, data, size, Escape::kNone, out);
  if (IsHex(type)) UpperHexDigits(out, start);
}

void AppendInsertText(const Value& value, std::string* out) {
  const auto type = static_cast<uint8_t>(value.type);
  if (IsTime(type) && !value.text.empty()) {
    AppendTime(value.u, 9, out);
    return;
  }
  const size_t start = out->size();
  out->append(value.text);
  if (IsHex(type)) UpperHexDigits(out, start);
}

}  // namespace evtx
