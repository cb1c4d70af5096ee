// Notice lines; see notice.h.
#include "platform/offline/notice.h"

namespace qrv::offline {

std::string NoticeLine(std::string_view text, std::string_view program) {
  std::string line;
  line.reserve(program.size() + text.size() + 3);
  line.append(program).append(": ");
  for (char c : text) {
    const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    line.push_back(control ? ' ' : c);
  }
  line.push_back('\n');
  return line;
}

}  // namespace qrv::offline
