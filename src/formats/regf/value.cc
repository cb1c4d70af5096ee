// Value records: names, inline, plain and big-data (db) value data, and the
// typed views. See value.h.
#include "formats/regf/value.h"

#include <algorithm>

#include "formats/regf/hive.h"
#include "formats/regf/hive_layout.h"
#include "formats/regf/le_bytes.h"
#include "formats/regf/name_text.h"

namespace regf {
namespace {

using namespace layout;

std::u16string BytesToUnits(const std::vector<uint8_t>& data) {
  return text::Utf16LeUnits(data.data(), data.size());
}

}  // namespace

std::optional<Value> Value::At(const Hive* hive, uint32_t offset) {
  auto record = hive->Cell(offset);
  if (record.size() < kVkName || LoadU16(record, 0) != kVkSig) return std::nullopt;
  if (LoadU16(record, kVkNameLength) > record.size() - kVkName) return std::nullopt;
  return Value(hive, offset);
}

std::span<const uint8_t> Value::Record() const { return hive_->Cell(offset_); }

std::u16string Value::NameUtf16() const {
  auto record = Record();
  return DecodeStoredName(record.subspan(kVkName, LoadU16(record, kVkNameLength)),
                          (LoadU16(record, kVkFlags) & kValueCompressedName) != 0);
}

std::string Value::Name() const { return Utf16ToUtf8(NameUtf16()); }

bool Value::IsDefault() const { return LoadU16(Record(), kVkNameLength) == 0; }

uint32_t Value::Type() const { return LoadU32(Record(), kVkType); }

uint32_t Value::DeclaredSize() const { return LoadU32(Record(), kVkDataSize) & ~kDataInline; }

std::optional<std::vector<uint8_t>> Value::Data() const {
  auto record = Record();
  const uint32_t raw_size = LoadU32(record, kVkDataSize);
  const uint32_t size = raw_size & ~kDataInline;
  if (raw_size & kDataInline) {
    if (size > kInlineDataMax) return std::nullopt;
    auto inline_data = record.subspan(kVkData, size);
    return std::vector<uint8_t>(inline_data.begin(), inline_data.end());
  }
  if (size == 0) return std::vector<uint8_t>();
  auto cell = hive_->Cell(LoadU32(record, kVkData));
  // A db record is 8 bytes, so a cell that can hold the whole value is plain
  // data even when its first bytes happen to read "db". Hives before minor
  // version 4 store large values in one cell; that path covers them too.
  if (size > kBigDataSegmentSize && cell.size() < size && cell.size() >= kDbRecordSize &&
      LoadU16(cell, 0) == kDbSig) {
    return ReadBigData(cell, size);
  }
  if (cell.size() < size) return std::nullopt;
  return std::vector<uint8_t>(cell.begin(), cell.begin() + size);
}

std::optional<std::vector<uint8_t>> Value::ReadBigData(std::span<const uint8_t> db, uint32_t size) const {
  // Every segment but the last carries exactly one full segment of data.
  // The total is capped by the hive size before anything is reserved, so a
  // forged size or a segment list naming one cell many times cannot make
  // the reader allocate more than the file holds.
  const uint32_t segments = LoadU16(db, 2);
  const uint32_t needed = (size + kBigDataSegmentSize - 1) / kBigDataSegmentSize;
  if (size > hive_->bins_size() || needed > segments) return std::nullopt;
  auto list = hive_->Cell(LoadU32(db, 4));
  if (list.size() / 4 < needed) return std::nullopt;
  std::vector<uint8_t> data;
  data.reserve(size);
  for (uint32_t i = 0; i < needed; ++i) {
    auto segment = hive_->Cell(LoadU32(list, size_t{i} * 4));
    const size_t want = std::min<size_t>(kBigDataSegmentSize, size - data.size());
    if (segment.size() < want) return std::nullopt;
    data.insert(data.end(), segment.begin(), segment.begin() + want);
  }
  return data;
}

std::optional<std::u16string> Value::DataUtf16() const {
  std::optional<std::vector<uint8_t>> data = Data();
  if (!data) return std::nullopt;
  return BytesToUnits(*data);
}

std::optional<std::string> Value::AsString() const {
  const uint32_t type = Type();
  if (type != kRegSz && type != kRegExpandSz && type != kRegLink) return std::nullopt;
  std::optional<std::u16string> units = DataUtf16();
  if (!units) return std::nullopt;
  std::u16string_view text(*units);
  return Utf16ToUtf8(text.substr(0, text.find(u'\0')));
}

std::optional<std::vector<std::string>> Value::AsMultiString() const {
  if (Type() != kRegMultiSz) return std::nullopt;
  std::optional<std::u16string> units = DataUtf16();
  if (!units) return std::nullopt;
  std::vector<std::string> strings;
  std::u16string_view rest(*units);
  while (!rest.empty()) {
    size_t nul = rest.find(u'\0');
    std::u16string_view item = rest.substr(0, nul);
    if (item.empty()) break;
    strings.push_back(Utf16ToUtf8(item));
    rest = nul == std::u16string_view::npos ? std::u16string_view() : rest.substr(nul + 1);
  }
  return strings;
}

std::optional<uint32_t> Value::AsDword() const {
  const uint32_t type = Type();
  if (type != kRegDword && type != kRegDwordBigEndian) return std::nullopt;
  std::optional<std::vector<uint8_t>> data = Data();
  if (!data || data->size() != 4) return std::nullopt;
  uint32_t little = LoadU32(*data, 0);
  if (type == kRegDword) return little;
  return (little >> 24) | ((little >> 8) & 0xFF00) | ((little << 8) & 0xFF0000) | (little << 24);
}

std::optional<uint64_t> Value::AsQword() const {
  if (Type() != kRegQword) return std::nullopt;
  std::optional<std::vector<uint8_t>> data = Data();
  if (!data || data->size() != 8) return std::nullopt;
  return LoadU64(*data, 0);
}

}  // namespace regf
