// UTF conversions and the name folding used for registry name comparison,
// sorting and the "lh" hash. See name_text.h.
#include "formats/regf/name_text.h"

#include <algorithm>

#include "formats/utf8.h"

namespace regf {
namespace {

constexpr char32_t kReplacement = utf8::kReplacement;

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      char32_t low = text[++i];
      utf8::Append(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), &out);
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      utf8::Append(kReplacement, &out);
    } else {
      utf8::Append(u, &out);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    char32_t cp = 0;
    char32_t min_cp = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, min_cp = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, min_cp = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, min_cp = 0x10000;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }
    size_t consumed = 1;
    bool ok = true;
    for (size_t k = 0; k < extra; ++k) {
      if (i + consumed >= text.size()) {
        ok = false;
        break;
      }
      unsigned char c = static_cast<unsigned char>(text[i + consumed]);
      if ((c & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (c & 0x3F);
      ++consumed;
    }
    i += consumed;
    if (!ok || cp < min_cp || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
      out.push_back(static_cast<char16_t>(kReplacement));
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

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

uint32_t LhNameHash(std::u16string_view name) {
  uint32_t hash = 0;
  for (char16_t u : name) hash = hash * 37 + UpcaseUnit(u);
  return hash;
}

std::u16string DecodeStoredName(std::span<const uint8_t> bytes, bool compressed) {
  std::u16string out;
  if (compressed) {
    out.assign(bytes.begin(), bytes.end());
  } else {
    out.resize(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
  }
  return out;
}

bool StoredNameEquals(std::span<const uint8_t> bytes, bool compressed, std::u16string_view name) {
  size_t units = compressed ? bytes.size() : bytes.size() / 2;
  if (units != name.size()) return false;
  for (size_t i = 0; i < units; ++i) {
    char16_t stored = compressed ? bytes[i] : static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (UpcaseUnit(stored) != UpcaseUnit(name[i])) return false;
  }
  return true;
}

}  // namespace regf
