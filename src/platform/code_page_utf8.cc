// UTF-8 code page conversions; see code_page_utf8.h.
#include "platform/code_page_utf8.h"

#include <cstring>

#include "platform/win32_types.h"

namespace qrv {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the UTF-8 sequence at s[0..remaining): returns the code point and
// sets *len to the bytes taken. Invalid input gives U+FFFD.
char32_t DecodeUtf8(const unsigned char* s, size_t remaining, size_t* len) {
  const unsigned char c = s[0];
  *len = 1;
  if (c < 0x80) return c;
  size_t need;
  char32_t cp;
  char32_t min;
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  // A cut or broken sequence is replaced by one U+FFFD covering its lead
  // byte and the continuation bytes that did arrive.
  for (size_t i = 1; i <= need; ++i) {
    if (i >= remaining || (s[i] & 0xC0) != 0x80) {
      *len = i;
      return kReplacement;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return kReplacement;
  }
  *len = need + 1;
  return cp;
}

size_t EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

ConversionResult Utf16ToUtf8(const char16_t* wide, int wide_length, char* out,
                             int out_size) {
  if (wide == nullptr || wide_length == 0 || wide_length < -1 || out_size < 0) {
    return {0, kErrorInvalidParameter};
  }
  size_t n = 0;
  if (wide_length == -1) {
    while (wide[n] != 0) ++n;
    ++n;  // the terminator is converted too
  } else {
    n = static_cast<size_t>(wide_length);
  }
  size_t written = 0;
  char buf[4];
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = wide[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // unpaired surrogate
    }
    const size_t len = EncodeUtf8(cp, buf);
    if (out_size != 0) {
      if (written + len > static_cast<size_t>(out_size)) {
        return {0, kErrorInsufficientBuffer};
      }
      std::memcpy(out + written, buf, len);
    }
    written += len;
  }
  return {static_cast<int>(written), 0};
}

ConversionResult Utf8ToUtf16(const char* text, int text_length, char16_t* out,
                             int out_size) {
  if (text == nullptr || text_length == 0 || text_length < -1 || out_size < 0) {
    return {0, kErrorInvalidParameter};
  }
  const size_t n = text_length == -1 ? std::strlen(text) + 1
                                     : static_cast<size_t>(text_length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t written = 0;
  for (size_t i = 0; i < n;) {
    size_t len = 1;
    const char32_t cp = DecodeUtf8(s + i, n - i, &len);
    i += len;
    const size_t units = cp >= 0x10000 ? 2 : 1;
    if (out_size != 0) {
      if (written + units > static_cast<size_t>(out_size)) {
        return {0, kErrorInsufficientBuffer};
      }
      if (units == 2) {
        out[written] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out[written + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        out[written] = static_cast<char16_t>(cp);
      }
    }
    written += units;
  }
  return {static_cast<int>(written), 0};
}

size_t Utf8CharLength(const char* text, size_t remaining) {
  if (remaining == 0) return 0;
  size_t len = 1;
  DecodeUtf8(reinterpret_cast<const unsigned char*>(text), remaining, &len);
  return len;
}

}  // namespace qrv
