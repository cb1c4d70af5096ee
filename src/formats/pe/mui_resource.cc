// MUI resource reader and language-folder choice.
#include "formats/pe/mui_resource.h"

#include "formats/ascii.h"
#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

constexpr uint32_t kMuiSignature = 0xFECDFECD;
constexpr uint32_t kPairsOffset = 84;
constexpr uint32_t kHeaderSize = 132;

using ascii::EqualsIgnoreCase;

// A {offset, size} pair; size 0 means the item is absent.
bool Item(ByteView view, uint32_t pair, ByteView* out) {
  uint32_t offset = 0;
  uint32_t size = 0;
  view.U32(pair, &offset);
  view.U32(pair + 4ull, &size);
  if (size == 0) {
    *out = ByteView();
    return true;
  }
  if (!view.Has(offset, size)) return false;
  *out = view.Sub(offset, size);
  return true;
}

// NUL-separated UTF-16 strings; an empty string ends the list.
std::vector<std::string> Strings(ByteView item) {
  std::vector<std::string> out;
  const std::string all = Utf16LeToUtf8(item.bytes(), false);
  size_t start = 0;
  while (start < all.size()) {
    const size_t end = all.find('\0', start);
    const size_t stop = end == std::string::npos ? all.size() : end;
    if (stop == start) break;
    out.push_back(all.substr(start, stop - start));
    start = stop + 1;
  }
  return out;
}

std::vector<uint32_t> Ids(ByteView item) {
  std::vector<uint32_t> out;
  for (uint64_t at = 0; item.Has(at, 4); at += 4) {
    uint32_t id = 0;
    item.U32(at, &id);
    out.push_back(id);
  }
  return out;
}

}  // namespace

PeError ParseMuiResource(Bytes blob, MuiResource* out) {
  *out = MuiResource();
  const ByteView view(blob);
  uint32_t signature = 0;
  if (!view.U32(0, &signature)) return PeError::kTruncated;
  if (signature != kMuiSignature) return PeError::kBadSignature;
  if (!view.Has(0, kHeaderSize)) return PeError::kTruncated;
  MuiResource mui;
  view.U32(8, &mui.version);
  view.U32(16, &mui.file_type);
  ByteView items[6];
  for (uint32_t i = 0; i < 6; ++i) {
    if (!Item(view, kPairsOffset + 8 * i, &items[i])) {
      return PeError::kBadOffset;
    }
  }
  mui.main_name_types = Strings(items[0]);
  mui.main_id_types = Ids(items[1]);
  mui.mui_name_types = Strings(items[2]);
  mui.mui_id_types = Ids(items[3]);
  const std::vector<std::string> language = Strings(items[4]);
  if (!language.empty()) mui.language = language.front();
  const std::vector<std::string> fallback = Strings(items[5]);
  if (!fallback.empty()) mui.fallback_language = fallback.front();
  *out = std::move(mui);
  return PeError::kOk;
}

std::optional<std::string> PickMuiLanguage(
    const std::vector<std::string>& available, std::string_view wanted,
    std::string_view fallback_language) {
  if (available.empty()) return std::nullopt;
  for (const std::string_view choice :
       {wanted, std::string_view("en-US"), fallback_language}) {
    if (choice.empty()) continue;
    for (const std::string& name : available) {
      if (EqualsIgnoreCase(name, choice)) return name;
    }
  }
  for (const std::string& name : available) {
    if (name.size() > 3 && EqualsIgnoreCase(name.substr(0, 3), "en-")) return name;
  }
  return available.front();
}

}  // namespace pe
