// UTF-16 <-> UTF-8 for whole strings, strict in both directions and built on
// utf8.h, so that the readers, the query engine and the offline backend agree
// on every invalid sequence. Entry points: text::Utf16ToUtf8,
// text::Utf8ToUtf16, text::Utf16CodePoint for readers that walk UTF-16
// themselves, and text::Utf16LeUnits for UTF-16LE bytes as files store them.
#ifndef QRV_FORMATS_UTF16_H_
#define QRV_FORMATS_UTF16_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/ascii_run.h"
#include "formats/utf8.h"

namespace text {

// The code point that starts with UTF-16 unit `unit`, given the unit after it
// (`next`, or -1 when there is none): a high surrogate followed by a low one
// combine and set *pair; any other surrogate is U+FFFD.
inline char32_t Utf16CodePoint(char32_t unit, int32_t next, bool* pair) {
  *pair = false;
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
    *pair = true;
    return 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(next) - 0xDC00);
  }
  return utf8::kReplacement;
}

// The UTF-8 bytes of the code point that starts at text[i], which it
// returns in *cp; *units is set to the UTF-16 units it takes (2 for a
// surrogate pair).
inline size_t Utf8BytesAt(std::u16string_view text, size_t i, char32_t* cp,
                          size_t* units) {
  const char16_t unit = text[i];
  *units = 1;
  if (unit < 0x80) {
    *cp = unit;
    return 1;
  }
  bool pair = false;
  const int32_t next = i + 1 < text.size() ? text[i + 1] : -1;
  *cp = Utf16CodePoint(unit, next, &pair);
  if (pair) *units = 2;
  return *cp < 0x800 ? 2 : *cp < 0x10000 ? 3 : 4;
}

// Bytes Utf16ToUtf8 gives for `text`, counted without building it.
inline size_t Utf8Size(std::u16string_view text) {
  size_t bytes = 0;
  char32_t cp = 0;
  size_t units = 1;
  size_t i = 0;
  while (i < text.size()) {
    // ASCII runs (most of any message) take the block steps.
    const size_t run = NarrowAsciiRun(text.data() + i, text.size() - i, nullptr);
    i += run;
    bytes += run;
    if (i == text.size()) break;
    bytes += Utf8BytesAt(text, i, &cp, &units);
    i += units;
  }
  return bytes;
}

// Writes Utf16ToUtf8(text) to out[0..Utf8Size(text)).
inline void Utf16ToUtf8Into(std::u16string_view text, char* out) {
  char32_t cp = 0;
  size_t units = 1;
  size_t i = 0;
  while (i < text.size()) {
    const size_t run = NarrowAsciiRun(text.data() + i, text.size() - i, out);
    i += run;
    out += run;
    if (i == text.size()) break;
    Utf8BytesAt(text, i, &cp, &units);
    out += utf8::Encode(cp, out);
    i += units;
  }
}

// Surrogate pairs are combined; an unpaired surrogate becomes U+FFFD. NUL
// units are kept as NUL bytes, so data with embedded NULs converts one to one.
inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out(Utf8Size(text), '\0');
  Utf16ToUtf8Into(text, out.data());
  return out;
}

// The UTF-16 units (1, or 2 for a pair) of the code point utf8::Decode finds
// at bytes[i] of bytes[0..size), which it returns in *cp; *taken is set to
// the bytes it covers.
inline size_t Utf16UnitsAt(const unsigned char* bytes, size_t size, size_t i,
                           char32_t* cp, size_t* taken) {
  if (bytes[i] < 0x80) {
    *cp = bytes[i];
    *taken = 1;
    return 1;
  }
  *cp = utf8::Decode(bytes + i, size - i, taken);
  return *cp >= 0x10000 ? 2 : 1;
}

// Units Utf8ToUtf16 gives for `text`, counted without building it.
inline size_t Utf16Size(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t units = 0;
  char32_t cp = 0;
  size_t taken = 1;
  size_t i = 0;
  while (i < text.size()) {
    const size_t run = WidenAsciiRun(text.data() + i, text.size() - i, nullptr);
    i += run;
    units += run;
    if (i == text.size()) break;
    units += Utf16UnitsAt(bytes, text.size(), i, &cp, &taken);
    i += taken;
  }
  return units;
}

// Writes Utf8ToUtf16(text) to out[0..Utf16Size(text)) and returns the end
// of what it wrote.
inline char16_t* Utf8ToUtf16Into(std::string_view text, char16_t* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  char32_t cp = 0;
  size_t taken = 1;
  size_t i = 0;
  while (i < size) {
    const size_t run = WidenAsciiRun(text.data() + i, size - i, out);
    i += run;
    out += run;
    if (i == size) break;
    const size_t units = Utf16UnitsAt(bytes, size, i, &cp, &taken);
    i += taken;
    if (units == 2) {
      *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(cp);
    }
  }
  return out;
}

// Decoded by utf8::Decode: an overlong form, an encoded surrogate, a value
// past U+10FFFF, a bad lead byte or a broken sequence becomes U+FFFD; code
// points past U+FFFF become surrogate pairs.
inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out(Utf16Size(text), u'\0');
  Utf8ToUtf16Into(text, out.data());
  return out;
}

// Utf8ToUtf16 into *out in one pass, for long texts: no input byte gives
// more than one unit, so *out is sized for that first and cut to what was
// written.
inline void AssignUtf8ToUtf16(std::string_view text, std::u16string* out) {
  out->resize(text.size());
  out->resize(static_cast<size_t>(Utf8ToUtf16Into(text, out->data()) - out->data()));
}

// Code unit `i` of UTF-16LE bytes, which need not be 2-byte aligned.
inline char16_t Utf16LeUnitAt(const uint8_t* bytes, size_t i) {
  return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

// The code units of `size` bytes of UTF-16LE as stored in a file (an odd last
// byte dropped); with `stop_at_nul` they end before the first U+0000.
inline std::u16string Utf16LeUnits(const uint8_t* bytes, size_t size, bool stop_at_nul = false) {
  std::u16string units;
  units.reserve(size / 2);
  for (size_t i = 0; i < size / 2; ++i) {
    const char16_t unit = Utf16LeUnitAt(bytes, i);
    if (unit == u'\0' && stop_at_nul) break;
    units.push_back(unit);
  }
  return units;
}

}  // namespace text

#endif  // QRV_FORMATS_UTF16_H_
