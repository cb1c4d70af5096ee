// XPath text of one Select/Suppress to an XPathProgram. Entry point:
// CompileXPath(). The accepted subset and what is refused are listed in
// xpath_program.h.
#ifndef QRV_FORMATS_XPATH_XPATH_PARSER_H_
#define QRV_FORMATS_XPATH_XPATH_PARSER_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "formats/xpath/xpath_program.h"

namespace xpath {

// Returns false and sets *error (a human-readable reason: what was expected
// or found) when `text` is not in the supported subset or exceeds a limit;
// *error_offset, when given, is the byte offset in `text` where it stopped.
bool CompileXPath(std::string_view text, XPathProgram* program,
                  std::string* error, size_t* error_offset = nullptr);

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_XPATH_PARSER_H_
