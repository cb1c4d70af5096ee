// ASCII letter case for names that Windows compares without regard to case
// (channel and provider names, query keywords, resource languages, GUID
// texts): A-Z fold to a-z, every other byte, UTF-8 included, stays as is.
// Entry points: ascii::Fold, ascii::Lower, ascii::EqualsIgnoreCase.
#ifndef QRV_FORMATS_ASCII_H_
#define QRV_FORMATS_ASCII_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace ascii {

inline char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text with A-Z lowered: a map key for lookups ignoring case.
inline std::string Lower(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = Fold(c);
  return folded;
}

// Same length, and equal byte for byte once A-Z are folded.
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

}  // namespace ascii

#endif  // QRV_FORMATS_ASCII_H_
