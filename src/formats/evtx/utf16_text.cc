// UTF-16 and UTF-8 conversion with XML escaping; see utf16_text.h.
#include "formats/evtx/utf16_text.h"

#include "formats/evtx/bytes.h"
#include "formats/utf16.h"
#include "formats/utf8.h"

namespace evtx {

void AppendCodePoint(uint32_t cp, Escape escape, std::string* out) {
  if (cp < 0x80) {
    if (escape != Escape::kNone) {
      switch (cp) {
        case '&':
          out->append("&amp;");
          return;
        case '<':
          out->append("&lt;");
          return;
        case '>':
          out->append("&gt;");
          return;
        case '\'':
          if (escape == Escape::kAttribute) {
            out->append("&apos;");
            return;
          }
          break;
        case '"':
          if (escape == Escape::kAttribute) {
            out->append("&quot;");
            return;
          }
          break;
        default:
          break;
      }
    }
    out->push_back(static_cast<char>(cp));
    return;
  }
  utf8::Append(cp, out);
}

size_t Utf16LengthToNul(const uint8_t* le, size_t units) {
  for (size_t i = 0; i < units; ++i) {
    if (le[2 * i] == 0 && le[2 * i + 1] == 0) return i;
  }
  return units;
}

void AppendUtf16(const uint8_t* le, size_t units, Escape escape,
                 std::string* out) {
  const auto plain = [](uint32_t c) {
    return c < 0x80 && c != '&' && c != '<' && c != '>' && c != '\'' &&
           c != '"';
  };
  size_t i = 0;
  while (i < units) {
    // A run of plain ASCII (most of any value) is written in one piece.
    size_t end = i;
    while (end < units && plain(LoadU16(le + 2 * end))) ++end;
    if (end > i) {
      const size_t at = out->size();
      out->resize(at + (end - i));
      char* dst = out->data() + at;
      for (; i < end; ++i) *dst++ = static_cast<char>(le[2 * i]);
      if (i == units) break;
    }
    const uint32_t c = LoadU16(le + 2 * i);
    bool pair = false;
    const int32_t next = i + 1 < units ? LoadU16(le + 2 * (i + 1)) : -1;
    AppendCodePoint(text::Utf16CodePoint(c, next, &pair), escape, out);
    i += pair ? 2 : 1;
  }
}

void AppendUtf8AsUtf16Le(std::string_view s, std::string* out) {
  for (const char16_t unit : text::Utf8ToUtf16(s)) {
    out->push_back(static_cast<char>(unit & 0xFF));
    out->push_back(static_cast<char>(unit >> 8));
  }
}

}  // namespace evtx
