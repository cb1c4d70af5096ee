// On-disk encodings of substitution values for the writer (evtx_writer.h).
#include <cstring>

#include "formats/evtx/bytes.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/value_format.h"
#include "formats/evtx/value_parse.h"

namespace evtx {

size_t NumberWidth(ValueType type) {
  switch (type) {
    case ValueType::kInt8:
    case ValueType::kUInt8:
      return 1;
    case ValueType::kInt16:
    case ValueType::kUInt16:
      return 2;
    case ValueType::kInt32:
    case ValueType::kUInt32:
    case ValueType::kBool:
    case ValueType::kHexInt32:
      return 4;
    default:
      return 8;
  }
}

namespace {

void AppendNumber(ValueType type, uint64_t v, std::vector<uint8_t>* out) {
  const size_t n = NumberWidth(type);
  for (size_t i = 0; i < n; ++i)
    out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

WriterValue WriterValue::Null() { return {}; }

WriterValue WriterValue::String(std::string_view utf8) {
  std::string le;
  AppendUtf8AsUtf16Le(utf8, &le);
  return Raw(static_cast<uint8_t>(ValueType::kString),
             std::vector<uint8_t>(le.begin(), le.end()));
}

WriterValue WriterValue::Ansi(std::string_view bytes) {
  return Raw(static_cast<uint8_t>(ValueType::kAnsiString),
             std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

WriterValue WriterValue::Number(ValueType type, uint64_t value) {
  WriterValue v;
  v.type = static_cast<uint8_t>(type);
  AppendNumber(type, value, &v.bytes);
  return v;
}

WriterValue WriterValue::Real32(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  WriterValue v = Number(ValueType::kUInt32, bits);
  v.type = static_cast<uint8_t>(ValueType::kReal32);
  return v;
}

WriterValue WriterValue::Real64(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  WriterValue v = Number(ValueType::kUInt64, bits);
  v.type = static_cast<uint8_t>(ValueType::kReal64);
  return v;
}

WriterValue WriterValue::Guid(const GuidBytes& guid) {
  return Raw(static_cast<uint8_t>(ValueType::kGuid),
             std::vector<uint8_t>(guid.bytes, guid.bytes + 16));
}

WriterValue WriterValue::Sid(std::string_view text) {
  std::vector<uint8_t> sid;
  if (!ParseSidText(text, &sid)) return Null();
  return Raw(static_cast<uint8_t>(ValueType::kSid), std::move(sid));
}

WriterValue WriterValue::Binary(std::vector<uint8_t> bytes) {
  return Raw(static_cast<uint8_t>(ValueType::kBinary), std::move(bytes));
}

WriterValue WriterValue::SysTime(uint16_t year, uint16_t month, uint16_t day,
                                 uint16_t hour, uint16_t minute,
                                 uint16_t second, uint16_t ms) {
  const uint16_t fields[8] = {year, month, 0, day, hour, minute, second, ms};
  std::vector<uint8_t> bytes(16);
  for (int i = 0; i < 8; ++i) StoreU16(bytes.data() + 2 * i, fields[i]);
  return Raw(static_cast<uint8_t>(ValueType::kSysTime), std::move(bytes));
}

WriterValue WriterValue::StringArray(const std::vector<std::string>& items) {
  std::string le;
  for (const std::string& item : items) {
    AppendUtf8AsUtf16Le(item, &le);
    le.append(2, '\0');
  }
  return Raw(static_cast<uint8_t>(ValueType::kString) | kArrayFlag,
             std::vector<uint8_t>(le.begin(), le.end()));
}

WriterValue WriterValue::NumberArray(ValueType base,
                                     const std::vector<uint64_t>& items) {
  WriterValue v;
  v.type = static_cast<uint8_t>(base) | kArrayFlag;
  for (uint64_t item : items) AppendNumber(base, item, &v.bytes);
  return v;
}

WriterValue WriterValue::Raw(uint8_t type, std::vector<uint8_t> bytes) {
  WriterValue v;
  v.type = type;
  v.bytes = std::move(bytes);
  return v;
}

}  // namespace evtx
