// UTF-8 as an ANSI code page: the conversions and character walk behind
// WideCharToMultiByte / MultiByteToWideChar where the code page is UTF-8 (the
// offline backend, the test fake). Pure functions with the Win32 contract:
// invalid input is replaced by U+FFFD, as Windows does for CP_UTF8 without
// MB_ERR_INVALID_CHARS; a length of -1 means NUL-terminated, terminator
// included; an output size of 0 asks for the size needed; 0 means failure
// (with kErrorInsufficientBuffer when the output is too small).
#ifndef QRV_PLATFORM_CODE_PAGE_UTF8_H_
#define QRV_PLATFORM_CODE_PAGE_UTF8_H_

#include <cstddef>
#include <cstdint>

namespace qrv {

struct ConversionResult {
  int length = 0;      // units written (or needed); 0 on failure
  uint32_t error = 0;  // Win32 code when length is 0
};

// WideCharToMultiByte and MultiByteToWideChar for CP_UTF8; the conversion
// itself is text::Utf16ToUtf8 / text::Utf8ToUtf16 (formats/utf16.h).
ConversionResult WideCharToUtf8(const char16_t* wide, int wide_length, char* out,
                                int out_size);
ConversionResult Utf8ToWideChar(const char* text, int text_length, char16_t* out,
                                int out_size);
// Bytes of the UTF-8 character starting at `text` (1 to 4); an invalid or cut
// sequence counts its lead byte alone. Never more than `remaining`.
size_t Utf8CharLength(const char* text, size_t remaining);

}  // namespace qrv

#endif  // QRV_PLATFORM_CODE_PAGE_UTF8_H_
