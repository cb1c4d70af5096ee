// Code-page aware text helpers; see text.h.
#include "platform/text.h"

#include <cstddef>

#include "formats/ascii.h"
#include "platform/platform.h"

namespace qrv {

std::string ToAnsi(const char16_t* wide) {
  if (wide == nullptr) return std::string();
  return ToAnsi(std::u16string_view(wide));
}

std::string ToAnsi(std::u16string_view wide) {
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(kCpAcp, 0, wide.data(), length,
                                         nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(kCpAcp, 0, wide.data(), length,
                                          out.data(), needed, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::u16string ToWide(std::string_view ansi) {
  if (ansi.empty()) return std::u16string();
  const int length = static_cast<int>(ansi.size());
  const int needed =
      MultiByteToWideChar(kCpAcp, 0, ansi.data(), length, nullptr, 0);
  if (needed <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(needed), u'\0');
  const int written = MultiByteToWideChar(kCpAcp, 0, ansi.data(), length,
                                          out.data(), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

std::string Trim(std::string_view text) {
  // Walk forward by characters: the first non-blank character starts the
  // result, the end of the last non-blank character ends it. A byte below
  // 0x80 is a character of its own in every ANSI code page (lead bytes are
  // 0x81 and up, UTF-8 sequences 0xC2 and up), so only the others ask the
  // code page; messages are mostly ASCII and run to kilobytes.
  size_t begin = text.size();
  size_t end = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      if (!IsBlank(static_cast<char>(byte))) {
        if (begin == text.size()) begin = pos;
        end = pos + 1;
      }
      ++pos;
      continue;
    }
    const size_t len = AnsiCharLength(text.data() + pos, text.size() - pos);
    if (begin == text.size()) begin = pos;
    end = pos + len;
    pos += len;
  }
  if (begin >= end) return std::string();
  return std::string(text.substr(begin, end - begin));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const size_t la = AnsiCharLength(a.data() + i, a.size() - i);
    const size_t lb = AnsiCharLength(b.data() + j, b.size() - j);
    if (la != lb) return false;
    if (la == 1) {
      if (ascii::Fold(a[i]) != ascii::Fold(b[j])) return false;
    } else if (a.substr(i, la) != b.substr(j, lb)) {
      return false;
    }
    i += la;
    j += lb;
  }
  return i == a.size() && j == b.size();
}

}  // namespace qrv
