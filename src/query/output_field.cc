// Name fields of output lines; see output_field.h.
#include "query/output_field.h"

#include <cstdint>
#include <cstring>

namespace qrv {

namespace {

// The four bytes a name field loses are all below 14.
bool Replaced(unsigned char c) {
  return (c == '\0') | (c == '\t') | (c == '\n') | (c == '\r');
}

// Whether any byte of `text` is below 14: eight bytes a step, each word
// tested at once (a byte below n, for n up to 128, leaves its high bit set
// in w - n*0x01..01 while its own high bit is clear; the test is exact for
// the word as a whole).
bool AnyBelow14(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof(word));
    if (((word - kOnes * 14) & ~word & kOnes * 0x80) != 0) return true;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) < 14) return true;
  }
  return false;
}

}  // namespace

void AppendNameField(std::string& line, std::string_view name) {
  // This runs for two fields of every printed event, and the bytes that
  // must go almost never occur: a name without a byte that low is appended
  // as it is, and only one that has such a byte is walked to replace them.
  const size_t first = line.size();
  line.append(name);
  if (!AnyBelow14(name)) return;
  for (size_t i = first; i < line.size(); ++i) {
    if (Replaced(static_cast<unsigned char>(line[i]))) line[i] = ' ';
  }
}

}  // namespace qrv
