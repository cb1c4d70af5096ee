// UTF-16LE / Windows-1252 / UTF-8 conversions for resource strings.
#include "formats/pe/text_encoding.h"

#include "formats/utf16.h"
#include "formats/utf8.h"

namespace pe {
namespace {

// Code points for bytes 0x80..0x9F of Windows-1252; the rest of the upper
// half equals Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at s[i] (see utf8::Decode) and advances i past
// what it took, at least one byte.
uint32_t NextUtf8(Bytes s, size_t* i) {
  size_t length = 1;
  const char32_t cp = utf8::Decode(s.data() + *i, s.size() - *i, &length);
  *i += length;
  return cp;
}

Bytes AsBytes(std::string_view s) {
  return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

}  // namespace

std::string Utf16LeToUtf8(Bytes utf16le, bool stop_at_nul) {
  return text::Utf16ToUtf8(text::Utf16LeUnits(utf16le.data(), utf16le.size(), stop_at_nul));
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
      utf8::Append(kCp1252High[b - 0x80], &out);
    } else {
      utf8::Append(b, &out);
    }
  }
  return out;
}

std::string SanitizeUtf8(Bytes utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size() && utf8[i] != 0) {
    utf8::Append(NextUtf8(utf8, &i), &out);
  }
  return out;
}

std::vector<uint8_t> Utf8ToUtf16Le(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  std::vector<uint8_t> out;
  out.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
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
