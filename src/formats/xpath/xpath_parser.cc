// XPath subset text to XPathProgram: CompileXPath() is the only entry point.
// Recursive descent; every level that can nest (predicate, parentheses,
// function call) counts against kMaxNestingDepth and every path against
// kMaxPathSteps, so the recursion depth is bounded whatever the input.
#include "formats/xpath/xpath_parser.h"

#include <optional>
#include <utility>

#include "formats/ascii.h"
#include "formats/xpath/xpath_lexer.h"

namespace xpath {
namespace {

// Where a context node sits in the event; decides XPathProgram::system_only.
enum class Location : uint8_t { kDocument, kRoot, kSystem, kOther };

class Parser {
 public:
  Parser(std::string_view text, XPathProgram* program)
      : text_(text), program_(program) {}

  bool Run() {
    program_->top = ParseTopOr();
    if (program_->top == kNoIndex) return false;
    if (Peek().kind != Tok::kEnd) return Fail("unexpected text after the path");
    return true;
  }
  const std::string& error() const { return error_; }
  size_t error_offset() const { return error_offset_; }

 private:
  Token Lex(size_t pos) const { return LexXPath(text_, pos); }
  Token Peek() const { return Lex(pos_); }
  Token Next() {
    Token t = Lex(pos_);
    if (t.kind != Tok::kBad) pos_ = t.end;
    return t;
  }
  // Keeps the first reason, at the start of the token that stopped the
  // parse. An operator word in capitals is a name there, not an operator:
  // that is said instead, being the likely slip.
  bool Fail(std::string_view why) {
    if (!error_.empty()) return false;
    error_offset_ = pos_;
    while (error_offset_ < text_.size() &&
           (text_[error_offset_] == ' ' || text_[error_offset_] == '\t' ||
            text_[error_offset_] == '\n' || text_[error_offset_] == '\r')) {
      ++error_offset_;
    }
    const Token t = Peek();
    if (t.kind == Tok::kName && t.text != "and" && t.text != "or" &&
        (ascii::EqualsIgnoreCase(t.text, "and") ||
         ascii::EqualsIgnoreCase(t.text, "or"))) {
      error_ = "'" + std::string(t.text) + "' must be written '" +
               ascii::Lower(t.text) + "': operator words are lower case";
    } else {
      error_ = std::string(why);
    }
    return false;
  }
  uint32_t FailIndex(std::string_view why) {
    Fail(why);
    return kNoIndex;
  }
  bool FailToken(const Token& t) {
    return Fail(t.kind == Tok::kBad ? t.text : std::string_view("unexpected token"));
  }
  bool Enter() {
    if (++depth_ > kMaxNestingDepth) return Fail("query nested too deeply");
    return true;
  }
  bool CountTerm() {
    if (++terms_ > kMaxTermsPerSelect) return Fail("too many expressions");
    return true;
  }
  uint32_t AddExpr(const XPathExpr& e) {
    program_->exprs.push_back(e);
    return static_cast<uint32_t>(program_->exprs.size() - 1);
  }
  // One item stands for itself; more become a kOr/kAnd over them.
  uint32_t AddList(ExprKind kind, const std::vector<uint32_t>& items) {
    if (items.size() == 1) return items[0];
    XPathExpr expr;
    expr.kind = kind;
    expr.first = static_cast<uint32_t>(program_->lists.size());
    expr.count = static_cast<uint32_t>(items.size());
    program_->lists.insert(program_->lists.end(), items.begin(), items.end());
    return AddExpr(expr);
  }
  bool PeekKeyword(std::string_view word) const {
    const Token t = Peek();
    return t.kind == Tok::kName && t.text == word;
  }

  uint32_t ParseTopOr();
  uint32_t ParseTopAnd();
  uint32_t ParseTopPrimary();
  uint32_t ParsePath(Location context);
  uint32_t ParsePredicate(Location context, bool* uses_position);
  uint32_t ParseOr(Location context, bool* uses_position);
  uint32_t ParseAnd(Location context, bool* uses_position);
  uint32_t ParseTerm(Location context, bool* uses_position);
  uint32_t ParseFunction(std::string_view name, Location context,
                         bool* uses_position);
  uint32_t ParseLiteral(CompareOp op, bool numeric_only);
  std::optional<uint64_t> ParseMask();
  bool ParseTimeArg(Location context, TimeArg* arg);
  bool Expect(Tok kind, std::string_view what) {
    const Token t = Peek();
    if (t.kind == Tok::kBad) return FailToken(t);
    if (t.kind != kind) return Fail(what);
    Next();
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  XPathProgram* program_;
  size_t depth_ = 0;
  size_t terms_ = 0;
  std::string error_;
  size_t error_offset_ = 0;
};

// The top level: location paths joined by `or` and `and`, parenthesised
// freely. `OR` or `And` are names, not operators, so they end the expression
// and Run() refuses the text after it, as Windows refuses them.
uint32_t Parser::ParseTopOr() {
  std::vector<uint32_t> items;
  while (true) {
    const uint32_t e = ParseTopAnd();
    if (e == kNoIndex) return kNoIndex;
    items.push_back(e);
    if (!PeekKeyword("or")) break;
    Next();
  }
  return AddList(ExprKind::kOr, items);
}

uint32_t Parser::ParseTopAnd() {
  std::vector<uint32_t> items;
  while (true) {
    const uint32_t e = ParseTopPrimary();
    if (e == kNoIndex) return kNoIndex;
    items.push_back(e);
    if (!PeekKeyword("and")) break;
    Next();
  }
  return AddList(ExprKind::kAnd, items);
}

uint32_t Parser::ParseTopPrimary() {
  if (Peek().kind == Tok::kLParen) {
    Next();
    if (!Enter()) return kNoIndex;
    const uint32_t e = ParseTopOr();
    if (e == kNoIndex) return kNoIndex;
    if (!Expect(Tok::kRParen, "expected ')'")) return kNoIndex;
    --depth_;
    return e;
  }
  const size_t terms_before = terms_;
  XPathExpr expr;
  expr.kind = ExprKind::kSelectsEvent;
  expr.path = ParsePath(Location::kDocument);
  if (expr.path == kNoIndex) return kNoIndex;
  if (terms_ == terms_before && !CountTerm()) return kNoIndex;
  return AddExpr(expr);
}

uint32_t Parser::ParsePath(Location context) {
  const bool top = context == Location::kDocument;
  std::vector<XPathStep> steps;
  std::vector<std::vector<uint32_t>> predicates;
  std::vector<bool> positional;
  Location location = context;
  while (true) {
    if (steps.size() >= kMaxPathSteps) return FailIndex("path has too many steps");
    Token t = Next();
    XPathStep step;
    bool uses_position = false;
    std::vector<uint32_t> step_predicates;
    if (t.kind == Tok::kAt) {
      if (top && steps.empty()) {
        return FailIndex("the path must start with '*' or 'Event'");
      }
      t = Next();
      if (t.kind != Tok::kName && t.kind != Tok::kStar) {
        if (t.kind == Tok::kBad) FailToken(t);
        return FailIndex("expected an attribute name");
      }
      if (location == Location::kRoot) program_->system_only = false;
      step.attribute = true;
      step.any_name = t.kind == Tok::kStar;
      step.name = std::string(t.text);
      const Tok after = Peek().kind;
      if (after == Tok::kLBracket || after == Tok::kSlash) {
        return FailIndex("an attribute step must end the path");
      }
      if (after == Tok::kLParen) return FailIndex("unknown function");
    } else if (t.kind == Tok::kName || t.kind == Tok::kStar) {
      step.any_name = t.kind == Tok::kStar;
      step.name = std::string(t.text);
      if (Peek().kind == Tok::kLParen) {
        return FailIndex("node tests and functions are not supported here");
      }
      if (top && steps.empty() && !step.any_name && step.name != "Event") {
        return FailIndex("the path must start with '*' or 'Event'");
      }
      switch (location) {
        case Location::kDocument: location = Location::kRoot; break;
        case Location::kRoot:
          if (step.any_name || step.name != "System") {
            program_->system_only = false;
            location = Location::kOther;
          } else {
            location = Location::kSystem;
          }
          break;
        case Location::kSystem:
        case Location::kOther:
          break;
      }
      while (Peek().kind == Tok::kLBracket) {
        if (step_predicates.size() >= kMaxPredicatesPerStep) {
          return FailIndex("too many predicates on one step");
        }
        const uint32_t e = ParsePredicate(location, &uses_position);
        if (e == kNoIndex) return kNoIndex;
        step_predicates.push_back(e);
      }
    } else {
      if (t.kind == Tok::kBad) FailToken(t);
      return FailIndex(top && steps.empty() && t.kind == Tok::kSlash
                           ? "absolute paths are not supported"
                           : "expected a step");
    }
    const bool attribute = step.attribute;
    steps.push_back(std::move(step));
    predicates.push_back(std::move(step_predicates));
    positional.push_back(uses_position);
    if (attribute || Peek().kind != Tok::kSlash) break;
    Next();
  }
  // Positions are allowed on the last element step only.
  const size_t last_element = steps.size() - (steps.back().attribute ? 2 : 1);
  for (size_t i = 0; i < steps.size(); ++i) {
    if (positional[i] && i != last_element) {
      return FailIndex("position() applies to leaf nodes only");
    }
  }
  XPathPath path;
  path.first_step = static_cast<uint32_t>(program_->steps.size());
  path.step_count = static_cast<uint32_t>(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    steps[i].first_predicate = static_cast<uint32_t>(program_->lists.size());
    steps[i].predicate_count = static_cast<uint32_t>(predicates[i].size());
    program_->lists.insert(program_->lists.end(), predicates[i].begin(),
                           predicates[i].end());
    program_->steps.push_back(std::move(steps[i]));
  }
  program_->paths.push_back(path);
  return static_cast<uint32_t>(program_->paths.size() - 1);
}

uint32_t Parser::ParsePredicate(Location context, bool* uses_position) {
  Next();  // '['
  if (!Enter()) return kNoIndex;
  uint32_t e;
  const Token first = Peek();
  if (first.kind == Tok::kNumber && Lex(first.end).kind == Tok::kRBracket) {
    // [n] is short for [position() = n].
    Next();
    if (!CountTerm()) return kNoIndex;
    auto literal = NumberLiteral(first.text);
    if (!literal) return FailIndex("malformed number");
    program_->literals.push_back(std::move(*literal));
    XPathExpr expr;
    expr.kind = ExprKind::kPositionCompare;
    expr.literal = static_cast<uint32_t>(program_->literals.size() - 1);
    *uses_position = true;
    e = AddExpr(expr);
  } else {
    e = ParseOr(context, uses_position);
    if (e == kNoIndex) return kNoIndex;
  }
  if (!Expect(Tok::kRBracket, "expected ']'")) return kNoIndex;
  --depth_;
  return e;
}

uint32_t Parser::ParseOr(Location context, bool* uses_position) {
  std::vector<uint32_t> items;
  while (true) {
    const uint32_t e = ParseAnd(context, uses_position);
    if (e == kNoIndex) return kNoIndex;
    items.push_back(e);
    if (!PeekKeyword("or")) break;
    Next();
  }
  return AddList(ExprKind::kOr, items);
}

uint32_t Parser::ParseAnd(Location context, bool* uses_position) {
  std::vector<uint32_t> items;
  while (true) {
    const uint32_t e = ParseTerm(context, uses_position);
    if (e == kNoIndex) return kNoIndex;
    items.push_back(e);
    if (!PeekKeyword("and")) break;
    Next();
  }
  return AddList(ExprKind::kAnd, items);
}

uint32_t Parser::ParseTerm(Location context, bool* uses_position) {
  const Token t = Peek();
  switch (t.kind) {
    case Tok::kLParen: {
      Next();
      if (!Enter()) return kNoIndex;
      const uint32_t e = ParseOr(context, uses_position);
      if (e == kNoIndex) return kNoIndex;
      if (!Expect(Tok::kRParen, "expected ')'")) return kNoIndex;
      --depth_;
      if (Peek().kind == Tok::kOp) {
        return FailIndex("a comparison needs a path on its left");
      }
      return e;
    }
    case Tok::kName:
      if (Lex(t.end).kind == Tok::kLParen) {
        Next();
        return ParseFunction(t.text, context, uses_position);
      }
      [[fallthrough]];
    case Tok::kStar:
    case Tok::kAt: {
      if (!CountTerm()) return kNoIndex;
      XPathExpr expr;
      expr.path = ParsePath(context);
      if (expr.path == kNoIndex) return kNoIndex;
      const Token op = Peek();
      if (op.kind != Tok::kOp) {
        expr.kind = ExprKind::kExists;
        return AddExpr(expr);
      }
      Next();
      expr.kind = ExprKind::kCompare;
      expr.op = op.op;
      expr.literal = ParseLiteral(op.op, false);
      if (expr.literal == kNoIndex) return kNoIndex;
      return AddExpr(expr);
    }
    case Tok::kString:
    case Tok::kNumber:
      return FailIndex("a literal may only stand on the right of a comparison");
    case Tok::kSlash:
      return FailIndex("absolute paths are not supported");
    case Tok::kBad:
      FailToken(t);
      return kNoIndex;
    default:
      return FailIndex("expected an expression");
  }
}

uint32_t Parser::ParseFunction(std::string_view name, Location context,
                               bool* uses_position) {
  Next();  // '('
  if (!Enter()) return kNoIndex;
  if (!CountTerm()) return kNoIndex;
  XPathExpr expr;
  bool needs_comparison = true;
  if (name == "position") {
    *uses_position = true;
    expr.kind = ExprKind::kPositionCompare;
  } else if (name == "band") {
    // One argument is a path, the other a number; either order.
    const Tok first = Peek().kind;
    const bool path_first = first != Tok::kNumber && first != Tok::kString;
    std::optional<uint64_t> mask;
    if (!path_first) {
      mask = ParseMask();
      if (!mask || !Expect(Tok::kComma, "expected ','")) return kNoIndex;
    }
    expr.path = ParsePath(context);
    if (expr.path == kNoIndex) return kNoIndex;
    if (path_first) {
      if (!Expect(Tok::kComma, "expected ','")) return kNoIndex;
      mask = ParseMask();
      if (!mask) return kNoIndex;
    }
    expr.mask = *mask;
    expr.kind = ExprKind::kBandCompare;
    needs_comparison = false;
  } else if (name == "timediff") {
    expr.kind = ExprKind::kTimediffCompare;
    if (!ParseTimeArg(context, &expr.t1)) return kNoIndex;
    if (Peek().kind == Tok::kComma) {
      Next();
      if (!ParseTimeArg(context, &expr.t2)) return kNoIndex;
    } else {
      expr.timediff_to_now = true;
    }
  } else {
    return FailIndex("unknown function " + std::string(name) +
                     "() (band, position and timediff are known)");
  }
  if (!Expect(Tok::kRParen, "expected ')'")) return kNoIndex;
  --depth_;
  const Token op = Peek();
  if (op.kind != Tok::kOp) {
    if (needs_comparison) return FailIndex("function result must be compared");
    expr.kind = ExprKind::kBand;
    return AddExpr(expr);
  }
  Next();
  expr.op = op.op;
  expr.literal = ParseLiteral(op.op, true);
  if (expr.literal == kNoIndex) return kNoIndex;
  return AddExpr(expr);
}

uint32_t Parser::ParseLiteral(CompareOp op, bool numeric_only) {
  // Taken only once it is accepted, so that a refusal points at it.
  const Token t = Peek();
  Literal literal;
  if (t.kind == Tok::kString) {
    literal = ClassifyString(t.text, op);
  } else if (t.kind == Tok::kNumber) {
    auto number = NumberLiteral(t.text);
    if (!number) return FailIndex("number out of range");
    literal = std::move(*number);
  } else {
    if (t.kind == Tok::kBad) FailToken(t);
    return FailIndex("expected a literal on the right of the comparison");
  }
  const bool numeric = literal.kind == Literal::Kind::kUnsigned ||
                       literal.kind == Literal::Kind::kDouble;
  if (numeric_only && !numeric) return FailIndex("expected a number");
  if ((literal.kind == Literal::Kind::kGuid ||
       literal.kind == Literal::Kind::kSid) &&
      op != CompareOp::kEq && op != CompareOp::kNe) {
    return FailIndex("GUIDs and SIDs compare with = and != only");
  }
  Next();
  program_->literals.push_back(std::move(literal));
  return static_cast<uint32_t>(program_->literals.size() - 1);
}

std::optional<uint64_t> Parser::ParseMask() {
  const Token t = Next();
  if (t.kind == Tok::kNumber || t.kind == Tok::kString) {
    const auto literal = t.kind == Tok::kNumber
                             ? NumberLiteral(t.text)
                             : std::optional<Literal>(
                                   ClassifyString(t.text, CompareOp::kLt));
    if (literal && literal->kind == Literal::Kind::kUnsigned) return literal->u;
  }
  if (t.kind == Tok::kBad) FailToken(t);
  Fail("band() needs a 64-bit unsigned integer");
  return std::nullopt;
}

bool Parser::ParseTimeArg(Location context, TimeArg* arg) {
  const Token t = Peek();
  if (t.kind == Tok::kString) {
    Next();
    const auto ticks = ParseTimeLiteral(t.text);
    if (!ticks) return Fail("timediff() needs a time");
    arg->ticks = *ticks;
    return true;
  }
  if (t.kind == Tok::kNumber) return Fail("timediff() needs a time");
  arg->path = ParsePath(context);
  return arg->path != kNoIndex;
}

}  // namespace

bool CompileXPath(std::string_view text, XPathProgram* program,
                  std::string* error, size_t* error_offset) {
  *program = XPathProgram();
  Parser parser(text, program);
  if (parser.Run()) return true;
  *error = parser.error();
  if (error_offset != nullptr) *error_offset = parser.error_offset();
  *program = XPathProgram();
  return false;
}

}  // namespace xpath
