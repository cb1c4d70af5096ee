// Parsing of value text; see value_parse.h.
#include "formats/evtx/value_parse.h"

#include <charconv>

#include "formats/evtx/bytes.h"
#include "formats/evtx/civil_time.h"

namespace evtx {
namespace {

bool ParseDecimal(std::string_view text, uint64_t* out) {
  auto res = std::from_chars(text.data(), text.data() + text.size(), *out);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

}  // namespace

bool ParseFileTimeText(std::string_view t, uint64_t* ticks) {
  auto num = [&t](size_t pos, size_t n, uint32_t* v) {
    if (pos + n > t.size()) return false;
    *v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      *v = *v * 10 + static_cast<uint32_t>(t[i] - '0');
    }
    return true;
  };
  uint32_t year, month, day, hour, minute, second;
  if (!num(0, 4, &year) || !num(5, 2, &month) || !num(8, 2, &day) ||
      !num(11, 2, &hour) || !num(14, 2, &minute) || !num(17, 2, &second) ||
      t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
      t[16] != ':') {
    return false;
  }
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 ||
      hour > 23 || minute > 59 || second > 60) {
    return false;
  }
  uint32_t frac = 0;
  size_t pos = 19, digits = 0;
  if (pos < t.size() && t[pos] == '.') {
    for (++pos; pos < t.size() && t[pos] >= '0' && t[pos] <= '9';
         ++pos, ++digits) {
      if (digits < 7) frac = frac * 10 + static_cast<uint32_t>(t[pos] - '0');
    }
    for (size_t d = digits; d < 7; ++d) frac *= 10;
  }
  if (pos != t.size() - 1 || t[pos] != 'Z') return false;
  const int64_t secs = DaysFromCivil(year, month, day) * 86400 + hour * 3600 +
                       minute * 60 + second + kFileTimeToUnixSeconds;
  *ticks = static_cast<uint64_t>(secs) * kTicksPerSecond + frac;
  return true;
}

bool ParseGuidText(std::string_view t, uint8_t* guid16) {
  if (t.size() == 38 && t.front() == '{' && t.back() == '}')
    t = t.substr(1, 36);
  if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' ||
      t[23] != '-') {
    return false;
  }
  // Text order of the 16 bytes: Data1..Data3 are little-endian on disk.
  static constexpr int kOrder[16] = {3, 2, 1,  0,  5,  4,  7,  6,
                                     8, 9, 10, 11, 12, 13, 14, 15};
  size_t pos = 0;
  for (int i = 0; i < 16; ++i) {
    if (t[pos] == '-') ++pos;
    unsigned v = 0;
    auto res = std::from_chars(t.data() + pos, t.data() + pos + 2, v, 16);
    if (res.ec != std::errc() || res.ptr != t.data() + pos + 2) return false;
    guid16[kOrder[i]] = static_cast<uint8_t>(v);
    pos += 2;
  }
  return true;
}

bool ParseSidText(std::string_view t, std::vector<uint8_t>* out) {
  if (t.size() < 4 || t.substr(0, 2) != "S-") return false;
  t.remove_prefix(2);
  uint64_t parts[17];
  size_t n = 0;
  while (!t.empty()) {
    const size_t dash = t.find('-');
    const std::string_view part = t.substr(0, dash);
    if (n == 17 || !ParseDecimal(part, &parts[n++])) return false;
    t = dash == std::string_view::npos ? std::string_view()
                                       : t.substr(dash + 1);
  }
  if (n < 2) return false;
  out->assign(8 + 4 * (n - 2), 0);
  (*out)[0] = static_cast<uint8_t>(parts[0]);
  (*out)[1] = static_cast<uint8_t>(n - 2);
  for (int i = 0; i < 6; ++i)
    (*out)[2 + i] = static_cast<uint8_t>(parts[1] >> (8 * (5 - i)));
  for (size_t i = 2; i < n; ++i)
    StoreU32(out->data() + 8 + 4 * (i - 2), static_cast<uint32_t>(parts[i]));
  return true;
}

}  // namespace evtx
