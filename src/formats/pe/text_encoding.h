// Conversions between the encodings found in PE resources (UTF-16LE, the
// Windows-1252 "ANSI" code page, UTF-8) and UTF-8 strings. Decoders never fail:
// what cannot be decoded becomes U+FFFD, as MultiByteToWideChar does without
// MB_ERR_INVALID_CHARS. Encoders serve the resource writer.
//
// Entry points: Utf16LeToUtf8, Windows1252ToUtf8, SanitizeUtf8,
// Utf8ToUtf16Le, Utf8ToWindows1252, Utf16LeNulTerminatedToUtf8.
#ifndef QRV_FORMATS_PE_TEXT_ENCODING_H_
#define QRV_FORMATS_PE_TEXT_ENCODING_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/pe/byte_view.h"

namespace pe {

// UTF-16LE code units (an odd trailing byte is ignored) to UTF-8; unpaired
// surrogates become U+FFFD. Stops at the first NUL unit when stop_at_nul.
std::string Utf16LeToUtf8(Bytes utf16le, bool stop_at_nul);

// Reads a NUL-terminated UTF-16LE string starting at `offset` inside `view`,
// up to the end of the view. False when offset is outside the view or no
// terminator is found before the end (the text read so far is still stored).
bool Utf16LeNulTerminatedToUtf8(ByteView view, uint64_t offset,
                                std::string* out);

// Windows-1252 bytes to UTF-8, stopping at the first NUL byte. The five bytes
// the code page leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) map to the C1
// control of the same value, which is what Windows' own conversion does.
std::string Windows1252ToUtf8(Bytes ansi);

// Copies UTF-8 bytes up to the first NUL, replacing each invalid sequence
// (bad lead byte, truncated sequence, overlong form, surrogate, > U+10FFFF)
// with U+FFFD.
std::string SanitizeUtf8(Bytes utf8);

// UTF-8 to UTF-16LE bytes without terminator; invalid input becomes U+FFFD.
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view utf8);

// UTF-8 to Windows-1252 bytes without terminator; characters the code page
// cannot hold become '?', as WideCharToMultiByte's default character.
std::vector<uint8_t> Utf8ToWindows1252(std::string_view utf8);

}  // namespace pe

#endif  // QRV_FORMATS_PE_TEXT_ENCODING_H_
