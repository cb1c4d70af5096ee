// Lines for refused queries; see query_diagnostic.h.
#include "platform/offline/service/query_diagnostic.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "formats/ascii.h"

namespace qrv::offline {
namespace {

constexpr char kPrefix[] = "QRV_EventLog_Tools: query: ";

// Control characters (line breaks of a multi-line query included) as spaces,
// so that what is quoted keeps the line one line.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return line;
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// "column C" for a one-line text, else "line L, column C"; both count from
// 1, columns in characters.
std::string Position(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  const size_t newline =
      offset == 0 ? std::string_view::npos : text.rfind('\n', offset - 1);
  const size_t begin = newline == std::string_view::npos ? 0 : newline + 1;
  size_t column = 1;
  for (size_t i = begin; i < offset; ++i) {
    if (!IsContinuationByte(text[i])) ++column;
  }
  if (text.find('\n') == std::string_view::npos) {
    return "column " + std::to_string(column);
  }
  const size_t line =
      1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const bool same = ascii::Fold(a[i - 1]) == ascii::Fold(b[j - 1]);
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string QueryRefusedLine(std::string_view text,
                             const xpath::CompiledQuery& query) {
  std::string line = kPrefix;
  if (const auto offset = query.error_offset()) {
    line += query.structured() ? Position(text, *offset)
                               : "offset " + std::to_string(*offset);
    line += ": ";
  }
  return line + OneLine(query.error()) + "\n";
}

std::vector<std::string> NearestNames(std::string_view name,
                                      const std::vector<std::string>& names,
                                      size_t count) {
  std::vector<std::pair<size_t, size_t>> ranked;  // distance, index
  for (size_t i = 0; i < names.size(); ++i) {
    ranked.emplace_back(EditDistance(name, names[i]), i);
  }
  std::stable_sort(ranked.begin(), ranked.end());
  std::vector<std::string> nearest;
  for (const auto& [distance, index] : ranked) {
    if (nearest.size() == count) break;
    // The same channel can be listed twice (a log and a channel).
    if (std::find(nearest.begin(), nearest.end(), names[index]) == nearest.end()) {
      nearest.push_back(names[index]);
    }
  }
  return nearest;
}

std::string UnknownChannelLine(std::string_view name,
                               const std::vector<std::string>& channels) {
  std::string line = kPrefix;
  line += "Path '" + OneLine(name) + "' names no channel of this machine; nearest:";
  const char* separator = " ";
  for (const std::string& near : NearestNames(name, channels, 3)) {
    line += separator + OneLine(near);
    separator = ", ";
  }
  return line + "\n";
}

}  // namespace qrv::offline
