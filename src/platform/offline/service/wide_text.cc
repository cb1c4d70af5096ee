// UTF-16 and UTF-8 conversions; see wide_text.h.
#include "platform/offline/service/wide_text.h"

#include <cstdint>

#include "formats/evtx/utf16_text.h"

namespace qrv::offline {

namespace {
constexpr uint32_t kReplacement = 0xFFFD;
}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    evtx::AppendCodePoint(cp, evtx::Escape::kNone, &out);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    uint32_t cp = kReplacement;
    size_t length = 1;
    if (b < 0x80) {
      cp = b;
    } else {
      const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
      if (need != 0 && i + need <= text.size()) {
        uint32_t value = b & (0x7F >> need);
        bool ok = true;
        for (size_t k = 1; k < need; ++k) {
          const auto c = static_cast<uint8_t>(text[i + k]);
          ok = ok && (c & 0xC0) == 0x80;
          value = (value << 6) | (c & 0x3F);
        }
        if (ok && value <= 0x10FFFF) {
          cp = value;
          length = need;
        }
      }
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

}  // namespace qrv::offline
