// UTF-16 <-> UTF-8 for whole strings, strict in both directions and built on
// utf8.h, so that the readers, the query engine and the offline backend agree
// on every invalid sequence. Entry points: text::Utf16ToUtf8,
// text::Utf8ToUtf16, and text::Utf16CodePoint for readers that walk UTF-16
// themselves.
#ifndef QRV_FORMATS_UTF16_H_
#define QRV_FORMATS_UTF16_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Surrogate pairs are combined; an unpaired surrogate becomes U+FFFD. NUL
// units are kept as NUL bytes, so data with embedded NULs converts one to one.
inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    bool pair = false;
    const int32_t next = i + 1 < text.size() ? text[i + 1] : -1;
    utf8::Append(Utf16CodePoint(text[i], next, &pair), &out);
    if (pair) ++i;
  }
  return out;
}

// Decoded by utf8::Decode: an overlong form, an encoded surrogate, a value
// past U+10FFFF, a bad lead byte or a broken sequence becomes U+FFFD; code
// points past U+FFFF become surrogate pairs.
inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    const char32_t cp = utf8::Decode(bytes + i, text.size() - i, &length);
    i += length;
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace text

#endif  // QRV_FORMATS_UTF16_H_
