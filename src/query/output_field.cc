// Name fields of output lines; see output_field.h.
#include "query/output_field.h"

namespace qrv {

void AppendNameField(std::string& line, std::string_view name) {
  for (const char c : name) {
    const bool breaks_line = c == '\t' || c == '\r' || c == '\n' || c == '\0';
    line += breaks_line ? ' ' : c;
  }
}

}  // namespace qrv
