// XPath subset tokens: LexXPath() is the only entry point.
#include "formats/xpath/xpath_lexer.h"

namespace xpath {
namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

Token LexXPath(std::string_view text, size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' ||
                                text[pos] == '\n' || text[pos] == '\r')) {
    ++pos;
  }
  Token t;
  t.end = pos + 1;
  if (pos >= text.size()) {
    t.end = pos;
    return t;
  }
  const char c = text[pos];
  const char next = pos + 1 < text.size() ? text[pos + 1] : '\0';
  auto bad = [&t](std::string_view why) {
    t.kind = Tok::kBad;
    t.text = why;
    return t;
  };
  switch (c) {
    case '/':
      if (next == '/') return bad("'//' is not supported");
      t.kind = Tok::kSlash;
      return t;
    case '[': t.kind = Tok::kLBracket; return t;
    case ']': t.kind = Tok::kRBracket; return t;
    case '(': t.kind = Tok::kLParen; return t;
    case ')': t.kind = Tok::kRParen; return t;
    case ',': t.kind = Tok::kComma; return t;
    case '@': t.kind = Tok::kAt; return t;
    case '*': t.kind = Tok::kStar; return t;
    case '=': t.kind = Tok::kOp; t.op = CompareOp::kEq; return t;
    case '!':
      if (next != '=') return bad("'!' is not supported");
      t.kind = Tok::kOp;
      t.op = CompareOp::kNe;
      t.end = pos + 2;
      return t;
    case '<':
    case '>': {
      t.kind = Tok::kOp;
      const bool eq = next == '=';
      t.op = c == '<' ? (eq ? CompareOp::kLe : CompareOp::kLt)
                      : (eq ? CompareOp::kGe : CompareOp::kGt);
      t.end = pos + (eq ? 2 : 1);
      return t;
    }
    case '\'':
    case '"': {
      const size_t close = text.find(c, pos + 1);
      if (close == std::string_view::npos) return bad("unterminated string");
      t.kind = Tok::kString;
      t.text = text.substr(pos + 1, close - pos - 1);
      t.end = close + 1;
      return t;
    }
    case '|': return bad("'|' unions are not supported");
    case '$': return bad("variables are not supported");
    case '&': return bad("'&' is not valid here (entities belong to XML)");
    default: break;
  }
  if (IsDigit(c) || (c == '.' && IsDigit(next))) {
    size_t end = pos;
    if (c == '0' && (next == 'x' || next == 'X')) {
      end = pos + 2;
      while (end < text.size() && IsHexDigit(text[end])) ++end;
    } else {
      while (end < text.size() && IsDigit(text[end])) ++end;
      if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && IsDigit(text[end])) ++end;
      }
    }
    if (end < text.size() && IsNameChar(text[end])) {
      return bad("malformed number");
    }
    t.kind = Tok::kNumber;
    t.text = text.substr(pos, end - pos);
    t.end = end;
    return t;
  }
  if (c == '.') return bad("'.' and '..' are not supported");
  if (IsNameStart(c)) {
    size_t end = pos;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    if (end < text.size() && text[end] == ':') {
      return bad(end + 1 < text.size() && text[end + 1] == ':'
                     ? "axes are not supported"
                     : "namespace prefixes are not supported");
    }
    t.kind = Tok::kName;
    t.text = text.substr(pos, end - pos);
    t.end = end;
    return t;
  }
  return bad("unexpected character");
}

}  // namespace xpath
