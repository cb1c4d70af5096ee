// UTF-8 code page conversions; see code_page_utf8.h.
#include "platform/code_page_utf8.h"

#include <cstring>
#include <string>
#include <string_view>

#include "formats/utf16.h"
#include "formats/utf8.h"
#include "platform/win32_types.h"

namespace qrv {

ConversionResult WideCharToUtf8(const char16_t* wide, int wide_length, char* out,
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
  // Counted first and written straight into `out`: every event message
  // comes through here twice (sizing, then filling).
  const std::u16string_view view(wide, n);
  const size_t needed = text::Utf8Size(view);
  if (out_size != 0) {
    if (needed > static_cast<size_t>(out_size)) return {0, kErrorInsufficientBuffer};
    text::Utf16ToUtf8Into(view, out);
  }
  return {static_cast<int>(needed), 0};
}

ConversionResult Utf8ToWideChar(const char* text, int text_length, char16_t* out,
                                int out_size) {
  if (text == nullptr || text_length == 0 || text_length < -1 || out_size < 0) {
    return {0, kErrorInvalidParameter};
  }
  const size_t n = text_length == -1 ? std::strlen(text) + 1
                                     : static_cast<size_t>(text_length);
  const std::string_view view(text, n);
  const size_t needed = text::Utf16Size(view);
  if (out_size != 0) {
    if (needed > static_cast<size_t>(out_size)) return {0, kErrorInsufficientBuffer};
    text::Utf8ToUtf16Into(view, out);
  }
  return {static_cast<int>(needed), 0};
}

size_t Utf8CharLength(const char* text, size_t remaining) {
  if (remaining == 0) return 0;
  if (static_cast<unsigned char>(text[0]) < 0x80) return 1;
  size_t len = 1;
  utf8::Decode(reinterpret_cast<const unsigned char*>(text), remaining, &len);
  return len;
}

}  // namespace qrv
