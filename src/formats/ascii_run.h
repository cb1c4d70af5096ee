// ASCII runs at the start of a text, copied between UTF-16 and bytes.
// A unit or byte below 0x80 is the same character in UTF-16, UTF-8 and
// every ANSI code page (lead bytes start at 0x81), and event texts are
// mostly such runs, so the conversions (utf16.h, and the code pages built
// on it) take them sixteen at a time here (then eight, then four) and the
// rest a code point at a time. Entry points: NarrowAsciiRun,
// WidenAsciiRun.
#ifndef QRV_FORMATS_ASCII_RUN_H_
#define QRV_FORMATS_ASCII_RUN_H_

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace text {

// Units per step: sixteen, as two SSE2 registers of UTF-16 or one of bytes.
// Elsewhere the same steps run as plain loops.
inline constexpr size_t kAsciiStep = 16;

// True when the sixteen units at `wide` are all below 0x80; if so, and `out`
// is not null, they are written there as bytes.
inline bool NarrowAsciiStep(const char16_t* wide, char* out) {
#if defined(__SSE2__)
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide));
  const __m128i high =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + 8));
  const __m128i above = _mm_and_si128(_mm_or_si128(low, high),
                                      _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF)
    return false;
  if (out != nullptr)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return true;
#else
  char16_t any = 0;
  for (size_t k = 0; k < kAsciiStep; ++k) any |= wide[k];
  if (any >= 0x80) return false;
  if (out != nullptr) {
    for (size_t k = 0; k < kAsciiStep; ++k) out[k] = static_cast<char>(wide[k]);
  }
  return true;
#endif
}

// The same for sixteen bytes, written out as UTF-16 units.
inline bool WidenAsciiStep(const char* text, char16_t* out) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  if (_mm_movemask_epi8(bytes) != 0) return false;
  if (out != nullptr) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8),
                     _mm_unpackhi_epi8(bytes, zero));
  }
  return true;
#else
  unsigned char any = 0;
  for (size_t k = 0; k < kAsciiStep; ++k) any |= static_cast<unsigned char>(text[k]);
  if (any >= 0x80) return false;
  if (out != nullptr) {
    for (size_t k = 0; k < kAsciiStep; ++k)
      out[k] = static_cast<unsigned char>(text[k]);
  }
  return true;
#endif
}

// Shorter steps for what is left after the sixteens: most texts rendered
// per event are names shorter than a step, which a unit at a time took
// several times as long. Eight units and four, as NarrowAsciiStep does.
inline bool NarrowAsciiStep8(const char16_t* wide, char* out) {
#if defined(__SSE2__)
  const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide));
  const __m128i above = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF)
    return false;
  if (out != nullptr)
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
  return true;
#else
  char16_t any = 0;
  for (size_t k = 0; k < 8; ++k) any |= wide[k];
  if (any >= 0x80) return false;
  if (out != nullptr) {
    for (size_t k = 0; k < 8; ++k) out[k] = static_cast<char>(wide[k]);
  }
  return true;
#endif
}

inline bool NarrowAsciiStep4(const char16_t* wide, char* out) {
  if ((wide[0] | wide[1] | wide[2] | wide[3]) >= 0x80) return false;
  if (out != nullptr) {
    for (size_t k = 0; k < 4; ++k) out[k] = static_cast<char>(wide[k]);
  }
  return true;
}

inline bool WidenAsciiStep8(const char* text, char16_t* out) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text));
  if (_mm_movemask_epi8(bytes) != 0) return false;
  if (out != nullptr)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
  return true;
#else
  unsigned char any = 0;
  for (size_t k = 0; k < 8; ++k) any |= static_cast<unsigned char>(text[k]);
  if (any >= 0x80) return false;
  if (out != nullptr) {
    for (size_t k = 0; k < 8; ++k) out[k] = static_cast<unsigned char>(text[k]);
  }
  return true;
#endif
}

inline bool WidenAsciiStep4(const char* text, char16_t* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if ((bytes[0] | bytes[1] | bytes[2] | bytes[3]) >= 0x80) return false;
  if (out != nullptr) {
    for (size_t k = 0; k < 4; ++k) out[k] = bytes[k];
  }
  return true;
}

// Copies the units of wide[0..n) below 0x80, up to the first other one, to
// out as bytes; returns how many it copied. `out` has room for n bytes; a
// null `out` only counts. A step that meets another unit copies nothing, so
// the shorter steps and then single units take over from where it began.
inline size_t NarrowAsciiRun(const char16_t* wide, size_t n, char* out) {
  size_t i = 0;
  while (i + kAsciiStep <= n &&
         NarrowAsciiStep(wide + i, out == nullptr ? nullptr : out + i))
    i += kAsciiStep;
  if (i + 8 <= n && NarrowAsciiStep8(wide + i, out == nullptr ? nullptr : out + i)) i += 8;
  if (i + 4 <= n && NarrowAsciiStep4(wide + i, out == nullptr ? nullptr : out + i)) i += 4;
  for (; i < n && wide[i] < 0x80; ++i) {
    if (out != nullptr) out[i] = static_cast<char>(wide[i]);
  }
  return i;
}

// Copies the bytes of text[0..n) below 0x80, up to the first other one, to
// out as UTF-16 units; returns how many it copied. A null `out` only counts.
inline size_t WidenAsciiRun(const char* text, size_t n, char16_t* out) {
  size_t i = 0;
  while (i + kAsciiStep <= n &&
         WidenAsciiStep(text + i, out == nullptr ? nullptr : out + i))
    i += kAsciiStep;
  if (i + 8 <= n && WidenAsciiStep8(text + i, out == nullptr ? nullptr : out + i)) i += 8;
  if (i + 4 <= n && WidenAsciiStep4(text + i, out == nullptr ? nullptr : out + i)) i += 4;
  for (; i < n && static_cast<unsigned char>(text[i]) < 0x80; ++i) {
    if (out != nullptr) out[i] = static_cast<unsigned char>(text[i]);
  }
  return i;
}

}  // namespace text

#endif  // QRV_FORMATS_ASCII_RUN_H_
