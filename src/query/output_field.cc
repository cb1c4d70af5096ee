// Name fields of output lines; see output_field.h.
#include "query/output_field.h"

namespace qrv {

void AppendNameField(std::string& line, std::string_view name) {
  // Appended whole, then the bytes that must go are replaced in place: this
  // runs for two fields of every printed event, and they almost never occur.
  const size_t first = line.size();
  line.append(name);
  for (size_t i = first; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t' || c == '\r' || c == '\n' || c == '\0') line[i] = ' ';
  }
}

}  // namespace qrv
