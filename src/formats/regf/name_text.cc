// The name folding used for registry name comparison, sorting and the "lh"
// hash, and stored-name decoding. See name_text.h.
#include "formats/regf/name_text.h"

#include <algorithm>

namespace regf {

char16_t UpcaseUnit(char16_t u) {
  auto down = [u](int delta) { return static_cast<char16_t>(u - delta); };
  if (u < 0x80) return (u >= u'a' && u <= u'z') ? down(0x20) : u;
  if (u == 0xB5) return 0x39C;  // micro sign folds to Greek capital mu
  if (u >= 0xE0 && u <= 0xFE) return u == 0xF7 ? u : down(0x20);
  if (u == 0xFF) return 0x178;
  // Latin Extended-A: pairs of capital then small, with the parity flipping
  // after the dotted/dotless i block and again after U+0178.
  if ((u >= 0x100 && u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) {
    return (u & 1) ? down(1) : u;
  }
  if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return (u & 1) ? u : down(1);
  // Greek.
  if (u == 0x3AC) return 0x386;
  if (u >= 0x3AD && u <= 0x3AF) return down(0x25);
  if (u == 0x3C2) return 0x3A3;  // final sigma
  if (u >= 0x3B1 && u <= 0x3CB) return down(0x20);
  if (u == 0x3CC) return 0x38C;
  if (u == 0x3CD || u == 0x3CE) return down(0x3F);
  // Cyrillic.
  if (u >= 0x430 && u <= 0x44F) return down(0x20);
  if (u >= 0x450 && u <= 0x45F) return down(0x50);
  if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF)) return (u & 1) ? down(1) : u;
  // Full-width Latin small letters.
  if (u >= 0xFF41 && u <= 0xFF5A) return down(0x20);
  return u;
}

int CompareNamesIgnoreCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = UpcaseUnit(a[i]);
    char16_t y = UpcaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool NamesEqualIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNamesIgnoreCase(a, b) == 0;
}

int CompareNamesIgnoreCase(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  return CompareNamesIgnoreCase(std::u16string_view(Utf8ToUtf16(a)), std::u16string_view(Utf8ToUtf16(b)));
}

bool NamesEqualIgnoreCase(std::string_view a, std::string_view b) {
  return a == b || NamesEqualIgnoreCase(std::u16string_view(Utf8ToUtf16(a)), std::u16string_view(Utf8ToUtf16(b)));
}

uint32_t LhNameHash(std::u16string_view name) {
  uint32_t hash = 0;
  for (char16_t u : name) hash = hash * 37 + UpcaseUnit(u);
  return hash;
}

std::u16string DecodeStoredName(std::span<const uint8_t> bytes, bool compressed) {
  if (compressed) return std::u16string(bytes.begin(), bytes.end());
  return text::Utf16LeUnits(bytes.data(), bytes.size());
}

bool StoredNameEquals(std::span<const uint8_t> bytes, bool compressed, std::u16string_view name) {
  size_t units = compressed ? bytes.size() : bytes.size() / 2;
  if (units != name.size()) return false;
  for (size_t i = 0; i < units; ++i) {
    char16_t stored = compressed ? bytes[i] : text::Utf16LeUnitAt(bytes.data(), i);
    if (UpcaseUnit(stored) != UpcaseUnit(name[i])) return false;
  }
  return true;
}

}  // namespace regf
