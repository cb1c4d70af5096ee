// Text helpers over the platform's ANSI code page: conversions to and from
// UTF-16 (CP_ACP, flags 0: the code page argv and the registry's ANSI text
// are in), trimming and case-insensitive comparison that walk whole
// characters, so that the trail byte of a double-byte character never counts
// as white space or a letter.
#ifndef QRV_PLATFORM_TEXT_H_
#define QRV_PLATFORM_TEXT_H_

#include <string>
#include <string_view>

namespace qrv {

// UTF-16 (NUL-terminated or with a length) to the ANSI code page with no
// substitute character given. A null pointer gives the empty text.
std::string ToAnsi(const char16_t* wide);
std::string ToAnsi(std::u16string_view wide);
// The same into *out, replacing what it held (its capacity is kept).
void ToAnsi(const char16_t* wide, std::string* out);
void ToAnsi(std::u16string_view wide, std::string* out);
// ANSI code page to UTF-16.
std::u16string ToWide(std::string_view ansi);
void ToWide(std::string_view ansi, std::u16string* out);

// Space, tab, line feed, vertical tab, form feed, carriage return.
bool IsBlank(char c);
// Removes white space at both ends, walking whole characters.
std::string Trim(std::string_view text);
// Whole-word equality, ASCII letters compared without regard to case, a
// multi-byte character compared as one unit (byte for byte).
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qrv

#endif  // QRV_PLATFORM_TEXT_H_
