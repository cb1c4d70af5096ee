// Tokens of the XPath subset. Entry point: LexXPath(), which reads the token
// at an offset without state, so the parser can look ahead freely. Input the
// subset refuses ('//', '.', '|', '$', axes, prefixes, stray characters)
// comes back as a kBad token carrying the reason.
#ifndef QRV_FORMATS_XPATH_XPATH_LEXER_H_
#define QRV_FORMATS_XPATH_XPATH_LEXER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/xpath/typed_value.h"

namespace xpath {

enum class Tok : uint8_t {
  kEnd, kName, kStar, kAt, kSlash, kLBracket, kRBracket, kLParen, kRParen,
  kComma, kOp, kString, kNumber, kBad,
};

struct Token {
  Tok kind = Tok::kEnd;
  std::string_view text;  // name, literal contents, number, or why kBad
  CompareOp op = CompareOp::kEq;
  size_t end = 0;         // offset just past the token
};

// The token starting at or after `pos` (white space skipped); kEnd at the end.
Token LexXPath(std::string_view text, size_t pos);

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_XPATH_LEXER_H_
