// UTF-8 code page conversions; see code_page_utf8.h.
#include "platform/code_page_utf8.h"

#include <cstring>
#include <string>
#include <string_view>

#include "formats/utf16.h"
#include "formats/utf8.h"
#include "platform/ascii_run.h"
#include "platform/win32_types.h"

namespace qrv {

namespace {

// text::Utf16ToUtf8 of `wide`, byte for byte: its size, and when `out` is
// not null the bytes written there. ASCII runs take the block copy; every
// other code point the same steps as formats/utf16.h.
size_t Utf8Of(std::u16string_view wide, char* out) {
  size_t bytes = 0;
  size_t i = 0;
  char32_t cp = 0;
  size_t units = 1;
  while (i < wide.size()) {
    const size_t run = NarrowAsciiRun(wide.data() + i, wide.size() - i,
                                      out == nullptr ? nullptr : out + bytes);
    i += run;
    bytes += run;
    if (i == wide.size()) break;
    const size_t length = text::Utf8BytesAt(wide, i, &cp, &units);
    if (out != nullptr) utf8::Encode(cp, out + bytes);
    bytes += length;
    i += units;
  }
  return bytes;
}

// text::Utf8ToUtf16 of `bytes` the same way: its units, and when `out` is
// not null the units written there.
size_t Utf16Of(std::string_view bytes, char16_t* out) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t units = 0;
  size_t i = 0;
  char32_t cp = 0;
  size_t taken = 1;
  while (i < bytes.size()) {
    const size_t run = WidenAsciiRun(bytes.data() + i, bytes.size() - i,
                                     out == nullptr ? nullptr : out + units);
    i += run;
    units += run;
    if (i == bytes.size()) break;
    const size_t count = text::Utf16UnitsAt(data, bytes.size(), i, &cp, &taken);
    i += taken;
    if (out != nullptr) {
      if (count == 2) {
        out[units] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out[units + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        out[units] = static_cast<char16_t>(cp);
      }
    }
    units += count;
  }
  return units;
}

}  // namespace

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
  const size_t needed = Utf8Of(view, nullptr);
  if (out_size != 0) {
    if (needed > static_cast<size_t>(out_size)) return {0, kErrorInsufficientBuffer};
    Utf8Of(view, out);
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
  const size_t needed = Utf16Of(view, nullptr);
  if (out_size != 0) {
    if (needed > static_cast<size_t>(out_size)) return {0, kErrorInsufficientBuffer};
    Utf16Of(view, out);
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
