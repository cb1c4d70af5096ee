// Text helpers for registry names and string data: UTF-16 <-> UTF-8 (from
// formats/utf16.h), the uppercase folding Windows applies when it compares and sorts key and value
// names, and the hash stored in "lh" subkey lists.
//
// Entry points: Utf16ToUtf8, Utf8ToUtf16, UpcaseUnit, CompareNamesIgnoreCase,
// NamesEqualIgnoreCase, LhNameHash, DecodeStoredName, StoredNameEquals.
#ifndef QRV_FORMATS_REGF_NAME_TEXT_H_
#define QRV_FORMATS_REGF_NAME_TEXT_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/utf16.h"

namespace regf {

using text::Utf16ToUtf8;
using text::Utf8ToUtf16;

// Uppercases one UTF-16 code unit the way the registry folds names: ASCII
// letters, Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin.
// Windows uses its own complete table (RtlUpcaseUnicodeChar); the ranges here
// are the ones that occur in real key names, everything else is left as is.
// Folding is one unit to one unit, as in Windows (no "SS" for U+00DF).
char16_t UpcaseUnit(char16_t unit);

// Orders two names the way Windows sorts subkey lists: by uppercased code
// unit, a shorter name before a longer one it is a prefix of. Returns <0, 0
// or >0.
int CompareNamesIgnoreCase(std::u16string_view a, std::u16string_view b);

bool NamesEqualIgnoreCase(std::u16string_view a, std::u16string_view b);

// The same two for names held as UTF-8.
int CompareNamesIgnoreCase(std::string_view a, std::string_view b);
bool NamesEqualIgnoreCase(std::string_view a, std::string_view b);

// The hash kept beside each entry of an "lh" list: h = 37 * h + unit over the
// uppercased UTF-16 name, modulo 2^32.
uint32_t LhNameHash(std::u16string_view name);

// Key and value names are stored either "compressed" (one Latin-1 byte a
// unit, flag set in the record) or as UTF-16LE; an odd last byte of a UTF-16
// name is dropped.
std::u16string DecodeStoredName(std::span<const uint8_t> bytes, bool compressed);

// NamesEqualIgnoreCase against a stored name without decoding it first.
bool StoredNameEquals(std::span<const uint8_t> bytes, bool compressed, std::u16string_view name);

}  // namespace regf

#endif  // QRV_FORMATS_REGF_NAME_TEXT_H_
