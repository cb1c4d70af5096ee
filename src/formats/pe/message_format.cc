// FormatMessage-style insertion and escape expansion.
#include "formats/pe/message_format.h"

#include <algorithm>

namespace pe {
namespace {

// FormatMessage reads at most two digits after %: "%123" is %12 then "3".
constexpr size_t kMaxInsertDigits = 2;
// Parameter ids are 32-bit message ids, at most 10 decimal digits.
constexpr size_t kMaxParameterDigits = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads up to `max_digits` decimal digits at text[*i]; false when none.
// The value is kept in 64 bits so ten digits cannot overflow.
bool ReadNumber(std::string_view text, size_t* i, size_t max_digits,
                uint64_t* value) {
  size_t n = 0;
  *value = 0;
  while (*i < text.size() && n < max_digits && IsDigit(text[*i])) {
    *value = *value * 10 + static_cast<uint64_t>(text[*i] - '0');
    ++*i;
    ++n;
  }
  return n > 0;
}

// True when text[at] starts "%%" followed by a digit.
bool IsParameter(std::string_view text, size_t at) {
  return at + 2 < text.size() && text[at] == '%' && text[at + 1] == '%' &&
         IsDigit(text[at + 2]);
}

// Expands the %%n that IsParameter found at text[at]; returns the index just
// past it. Unknown ids are copied as written.
size_t AppendParameter(std::string_view text, size_t at,
                       const ParameterLookup& parameters, std::string* out) {
  size_t end = at + 2;
  uint64_t id = 0;
  ReadNumber(text, &end, kMaxParameterDigits, &id);
  std::optional<std::string> found;
  if (id <= 0xFFFFFFFFu) found = parameters(static_cast<uint32_t>(id));
  if (found) {
    out->append(*found);
  } else {
    out->append(text.substr(at, end - at));
  }
  return end;
}

// Copies an inserted value, expanding the %%n it holds.
void AppendWithParameters(std::string_view value,
                          const ParameterLookup& parameters, std::string* out) {
  size_t i = 0;
  while (i < value.size()) {
    if (IsParameter(value, i)) {
      i = AppendParameter(value, i, parameters, out);
      continue;
    }
    // Up to the next '%' that could start a %%n, as one run.
    const size_t percent =
        std::min(value.find('%', i + 1), value.size());
    out->append(value.substr(i, percent - i));
    i = percent;
  }
}

}  // namespace

std::string FormatMessageText(std::string_view text,
                              std::span<const std::string> inserts,
                              const ParameterLookup& parameters,
                              bool* unresolved) {
  if (unresolved != nullptr) *unresolved = false;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    // Text between escapes is copied as one run.
    const size_t percent = std::min(text.find('%', i), text.size());
    out.append(text.substr(i, percent - i));
    i = percent;
    if (i == text.size()) break;
    const size_t start = i;
    ++i;
    if (i == text.size()) {
      out.push_back('%');
      break;
    }
    const char next = text[i];
    if (next == '0') break;
    if (IsDigit(next)) {
      uint64_t number = 0;
      ReadNumber(text, &i, kMaxInsertDigits, &number);
      if (i < text.size() && text[i] == '!') {
        const size_t close = text.find('!', i + 1);
        if (close != std::string_view::npos) i = close + 1;
      }
      if (number <= inserts.size()) {
        const std::string& value = inserts[number - 1];
        if (parameters) {
          AppendWithParameters(value, parameters, &out);
        } else {
          out.append(value);
        }
      } else {
        out.append(text.substr(start, i - start));
        if (unresolved != nullptr) *unresolved = true;
      }
      continue;
    }
    if (parameters && IsParameter(text, start)) {
      i = AppendParameter(text, start, parameters, &out);
      continue;
    }
    switch (next) {
      case 'n':
        out.append("\r\n");
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      default:
        out.push_back(next);
        break;  // %% % space . ! and the rest
    }
    ++i;
  }
  return out;
}

}  // namespace pe
