// Code-page aware text helpers; see text.h.
#include "platform/text.h"

#include <cstddef>

#include "formats/ascii.h"
#include "formats/ascii_run.h"
#include "platform/platform.h"

namespace qrv {

namespace {

// Units before the terminator, four tests per step; no unit past the
// terminator is read. Event messages run to kilobytes.
size_t WideLength(const char16_t* wide) {
  for (size_t n = 0;; n += 4) {
    if (wide[n] == 0) return n;
    if (wide[n + 1] == 0) return n + 1;
    if (wide[n + 2] == 0) return n + 2;
    if (wide[n + 3] == 0) return n + 3;
  }
}

// The leading ASCII run is copied by `ascii_run` (see formats/ascii_run.h);
// only the rest, if any, goes to `convert` (the code page's call: sizing
// with no buffer, then filling). An ASCII unit is a character of its own in
// every code page, so the text may be split after one. A failed conversion
// gives the empty text, as for the whole.
template <typename In, typename Out, typename AsciiRun, typename Convert>
void ConvertAfterAsciiRun(In in, Out* out, AsciiRun ascii_run,
                          Convert convert) {
  out->resize(in.size());
  const size_t run = ascii_run(in.data(), in.size(), out->data());
  if (run == in.size()) return;
  const In rest = in.substr(run);
  const int needed = convert(rest, nullptr, 0);
  if (needed > 0) {
    out->resize(run + static_cast<size_t>(needed));
    const int written = convert(rest, out->data() + run, needed);
    if (written > 0) {
      out->resize(run + static_cast<size_t>(written));
      return;
    }
  }
  out->clear();
}

}  // namespace

std::string ToAnsi(const char16_t* wide) {
  std::string out;
  ToAnsi(wide, &out);
  return out;
}

void ToAnsi(const char16_t* wide, std::string* out) {
  if (wide == nullptr) {
    out->clear();
    return;
  }
  ToAnsi(std::u16string_view(wide, WideLength(wide)), out);
}

std::string ToAnsi(std::u16string_view wide) {
  std::string out;
  ToAnsi(wide, &out);
  return out;
}

void ToAnsi(std::u16string_view wide, std::string* out) {
  ConvertAfterAsciiRun(
      wide, out, text::NarrowAsciiRun,
      [](std::u16string_view rest, char* buffer, int size) {
        return WideCharToMultiByte(kCpAcp, 0, rest.data(),
                                   static_cast<int>(rest.size()), buffer, size,
                                   nullptr, nullptr);
      });
}

std::u16string ToWide(std::string_view ansi) {
  std::u16string out;
  ToWide(ansi, &out);
  return out;
}

void ToWide(std::string_view ansi, std::u16string* out) {
  ConvertAfterAsciiRun(
      ansi, out, text::WidenAsciiRun,
      [](std::string_view rest, char16_t* buffer, int size) {
        return MultiByteToWideChar(kCpAcp, 0, rest.data(),
                                   static_cast<int>(rest.size()), buffer,
                                   size);
      });
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
