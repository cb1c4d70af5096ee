// Braced GUID text to on-disk bytes.
#include "tools/guid_text.h"

#include <array>

namespace qrv::sample {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

evtx::GuidBytes ParseGuidText(std::string_view text) {
  evtx::GuidBytes out;
  // "{" 8 "-" 4 "-" 4 "-" 4 "-" 12 "}"
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return out;
  std::array<uint8_t, 16> big_endian{};
  size_t n = 0;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == '-') continue;
    const int high = HexDigit(text[i]);
    const int low = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0 || low < 0 || n == big_endian.size()) return out;
    big_endian[n++] = static_cast<uint8_t>(high << 4 | low);
    ++i;
  }
  if (n != big_endian.size()) return out;
  // Data1 (4 bytes), Data2 and Data3 (2 each) are stored little-endian.
  constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) out.bytes[i] = big_endian[kOrder[i]];
  return out;
}

}  // namespace qrv::sample
