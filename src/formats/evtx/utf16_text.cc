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
  size_t i = 0;
  // Four units at a time while none of them is zero.
  constexpr uint64_t kLow = 0x0001000100010001ull;
  constexpr uint64_t kHigh = 0x8000800080008000ull;
  for (; units - i >= 4; i += 4) {
    const uint64_t w = LoadU64(le + 2 * i);
    if (((w - kLow) & ~w & kHigh) != 0) break;
  }
  for (; i < units; ++i) {
    if (le[2 * i] == 0 && le[2 * i + 1] == 0) return i;
  }
  return units;
}

void AppendUtf16(const uint8_t* le, size_t units, Escape escape,
                 std::string* out) {
  // Unescaped, every ASCII unit is written as it is.
  const auto plain = [escape](uint32_t c) {
    return c < 0x80 && (escape == Escape::kNone ||
                        (c != '&' && c != '<' && c != '>' && c != '\'' &&
                         c != '"'));
  };
  size_t i = 0;
  while (i < units) {
    // A run of plain ASCII (most of any value) is narrowed through a small
    // buffer and appended in pieces: no zero-filled room, no byte at a time.
    size_t end = i;
    if (escape == Escape::kNone) {
      while (units - end >= 4 &&
             (LoadU64(le + 2 * end) & 0xFF80FF80FF80FF80ull) == 0)
        end += 4;
    }
    while (end < units && plain(LoadU16(le + 2 * end))) ++end;
    while (i < end) {
      char narrow[256];
      const size_t n = end - i < sizeof(narrow) ? end - i : sizeof(narrow);
      for (size_t k = 0; k < n; ++k)
        narrow[k] = static_cast<char>(le[2 * (i + k)]);
      out->append(narrow, n);
      i += n;
    }
    if (i == units) break;
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
