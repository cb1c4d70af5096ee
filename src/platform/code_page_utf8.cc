// UTF-8 code page conversions; see code_page_utf8.h.
#include "platform/code_page_utf8.h"

#include <cstring>

#include "formats/utf8.h"
#include "platform/win32_types.h"

namespace qrv {

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
      cp = utf8::kReplacement;  // unpaired surrogate
    }
    const size_t len = utf8::Encode(cp, buf);
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
    const char32_t cp = utf8::Decode(s + i, n - i, &len);
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
  utf8::Decode(reinterpret_cast<const unsigned char*>(text), remaining, &len);
  return len;
}

}  // namespace qrv
