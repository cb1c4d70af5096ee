// Template choice for message databases; see template_library.h.
#include "platform/offline/messages/template_library.h"

namespace qrv::offline {

int HighestInsert(std::string_view text) {
  int highest = 0;
  for (size_t i = text.find('%'); i != std::string_view::npos && i + 1 < text.size();
       i = text.find('%', i + 1)) {
    const char next = text[i + 1];
    if (next < '1' || next > '9') {
      ++i;  // "%%", "%n", ...: the escaped character is not a '%' again
      continue;
    }
    // FormatMessage reads at most two digits: %100 is %10 then '0'.
    int number = next - '0';
    if (i + 2 < text.size() && text[i + 2] >= '0' && text[i + 2] <= '9') {
      number = number * 10 + (text[i + 2] - '0');
    }
    if (number > highest) highest = number;
    ++i;
  }
  return highest;
}

const MessageTemplate* ChooseTemplate(const std::vector<MessageTemplate>& rows,
                                      size_t value_count) {
  const MessageTemplate* first_non_empty = nullptr;
  for (const MessageTemplate& row : rows) {
    if (row.text.empty()) continue;
    if (first_non_empty == nullptr) first_non_empty = &row;
    if (static_cast<size_t>(HighestInsert(row.text)) <= value_count) {
      return &row;
    }
  }
  return first_non_empty;
}

}  // namespace qrv::offline
