// UTF-16LE as stored in EVTX (unaligned, not terminated) to and from UTF-8,
// with the XML escaping event XML needs. Entry points: AppendUtf16(),
// AppendUtf8AsUtf16Le(), Utf16LengthToNul(), AppendCodePoint().
#ifndef QRV_FORMATS_EVTX_UTF16_TEXT_H_
#define QRV_FORMATS_EVTX_UTF16_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace evtx {

// Which characters are replaced by XML references while appending text.
enum class Escape : uint8_t {
  kNone,       // raw UTF-8 (tree values)
  kText,       // & < >
  kAttribute,  // & < > ' "
};

// One code point as UTF-8, escaped as asked.
void AppendCodePoint(uint32_t cp, Escape escape, std::string* out);
// UTF-16LE (unaligned, `units` code units) to UTF-8. Unpaired surrogates
// become U+FFFD, as Windows' WideCharToMultiByte does.
void AppendUtf16(const uint8_t* le, size_t units, Escape escape,
                 std::string* out);
// UTF-8 to UTF-16LE bytes (the on-disk form), appended to `out`; invalid
// sequences become U+FFFD (text::Utf8ToUtf16).
void AppendUtf8AsUtf16Le(std::string_view utf8, std::string* out);
// Number of code units before the first U+0000 (or `units` when none).
size_t Utf16LengthToNul(const uint8_t* le, size_t units);

}  // namespace evtx

#endif  // QRV_FORMATS_EVTX_UTF16_TEXT_H_
