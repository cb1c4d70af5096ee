// UTF-16LE / Windows-1252 / UTF-8 conversions for resource strings.
#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Code points for bytes 0x80..0x9F of Windows-1252; the rest of the upper
// half equals Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns the code point (kReplacement
// for an invalid sequence) and advances i past what was consumed (at least
// one byte).
uint32_t NextUtf8(Bytes s, size_t* i) {
  const uint8_t lead = s[*i];
  ++*i;
  if (lead < 0x80) return lead;
  size_t extra = 0;
  uint32_t cp = 0;
  uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  for (size_t k = 0; k < extra; ++k) {
    if (*i >= s.size() || (s[*i] & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (s[*i] & 0x3F);
    ++*i;
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return kReplacement;
  }
  return cp;
}

Bytes AsBytes(std::string_view s) {
  return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

}  // namespace

std::string Utf16LeToUtf8(Bytes utf16le, bool stop_at_nul) {
  std::string out;
  out.reserve(utf16le.size() / 2);
  const size_t units = utf16le.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t unit = utf16le[2 * i] | (utf16le[2 * i + 1] << 8);
    if (unit == 0 && stop_at_nul) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      const uint32_t low = utf16le[2 * i + 2] | (utf16le[2 * i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = kReplacement;
    AppendUtf8(unit, &out);
  }
  return out;
}

bool Utf16LeNulTerminatedToUtf8(ByteView view, uint64_t offset,
                                std::string* out) {
  out->clear();
  if (offset > view.size()) return false;
  const Bytes rest = view.bytes().subspan(offset);
  size_t units = 0;
  bool terminated = false;
  for (; 2 * units + 1 < rest.size(); ++units) {
    if (rest[2 * units] == 0 && rest[2 * units + 1] == 0) {
      terminated = true;
      break;
    }
  }
  *out = Utf16LeToUtf8(rest.first(2 * units), false);
  return terminated;
}

std::string Windows1252ToUtf8(Bytes ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (const uint8_t b : ansi) {
    if (b == 0) break;
    if (b >= 0x80 && b < 0xA0) {
      AppendUtf8(kCp1252High[b - 0x80], &out);
    } else {
      AppendUtf8(b, &out);
    }
  }
  return out;
}

std::string SanitizeUtf8(Bytes utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size() && utf8[i] != 0) {
    AppendUtf8(NextUtf8(utf8, &i), &out);
  }
  return out;
}

std::vector<uint8_t> Utf8ToUtf16Le(std::string_view utf8) {
  std::vector<uint8_t> out;
  out.reserve(utf8.size() * 2);
  const Bytes s = AsBytes(utf8);
  size_t i = 0;
  auto put = [&out](uint32_t unit) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  };
  while (i < s.size()) {
    const uint32_t cp = NextUtf8(s, &i);
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::vector<uint8_t> Utf8ToWindows1252(std::string_view utf8) {
  std::vector<uint8_t> out;
  out.reserve(utf8.size());
  const Bytes s = AsBytes(utf8);
  size_t i = 0;
  while (i < s.size()) {
    const uint32_t cp = NextUtf8(s, &i);
    uint8_t byte = '?';
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      byte = static_cast<uint8_t>(cp);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == cp) byte = static_cast<uint8_t>(0x80 + k);
      }
    }
    out.push_back(byte);
  }
  return out;
}

}  // namespace pe
