// UTF-8 encoding and strict decoding, shared by the file-format readers, the
// query text reader and the code-page conversions, so that every part agrees
// on what a valid sequence is and what stands in for an invalid one.
// Entry points: utf8::Encode, utf8::Append, utf8::Decode.
#ifndef QRV_FORMATS_UTF8_H_
#define QRV_FORMATS_UTF8_H_

#include <cstddef>
#include <string>

namespace utf8 {

// U+FFFD, what an invalid sequence or a lone surrogate decodes to.
inline constexpr char32_t kReplacement = 0xFFFD;

// Writes `cp` (at most U+10FFFF) to out[0..4) and returns the bytes written.
inline size_t Encode(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

inline void Append(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
    return;
  }
  char bytes[4];
  out->append(bytes, Encode(cp, bytes));
}

// Decodes the sequence at s[0..remaining) (remaining >= 1) and sets *length
// to the bytes taken, at least one. Overlong forms, surrogates, values past
// U+10FFFF and bad lead bytes give kReplacement; a cut or broken sequence
// gives one kReplacement covering its lead byte and the continuation bytes
// that did arrive.
inline char32_t Decode(const unsigned char* s, size_t remaining, size_t* length) {
  const unsigned char lead = s[0];
  *length = 1;
  if (lead < 0x80) return lead;
  size_t need;
  char32_t cp;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  for (size_t i = 1; i <= need; ++i) {
    if (i >= remaining || (s[i] & 0xC0) != 0x80) {
      *length = i;
      return kReplacement;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  *length = need + 1;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

}  // namespace utf8

#endif  // QRV_FORMATS_UTF8_H_
