// Name fields of output lines; see output_field.h.
#include "query/output_field.h"

#include <cstdint>

namespace qrv {

void AppendNameField(std::string& line, std::string_view name) {
  // Appended whole, then the bytes that must go are replaced in place: this
  // runs for two fields of every printed event, and they almost never occur.
  // All four are below 14, so most bytes cost one comparison.
  constexpr uint32_t kReplaced =
      1u << '\0' | 1u << '\t' | 1u << '\n' | 1u << '\r';
  const size_t first = line.size();
  line.append(name);
  for (size_t i = first; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c < 14 && (kReplaced >> c & 1u) != 0) line[i] = ' ';
  }
}

}  // namespace qrv
