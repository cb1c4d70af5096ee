// A deliberately simple XPath evaluator for tests only: it evaluates query
// trees built by the test generator (not parsed text) by materialising node
// sets the way XPath 1.0 describes, so that it shares no code or strategy
// with the compiled evaluator it checks. Slow on purpose; never link it into
// the product. Entry points: RefPath/RefExpr, Render(), RefMatches().
#ifndef QRV_TESTS_FORMATS_XPATH_REFERENCE_EVALUATOR_H_
#define QRV_TESTS_FORMATS_XPATH_REFERENCE_EVALUATOR_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "formats/evtx/event_tree.h"

namespace xpath_test {

// Literals carry the type the generator meant, so the reference never has to
// guess a literal's type from its text.
struct RefLiteral {
  enum class Kind { kInt, kString, kNumericString, kTime, kGuid, kSid };
  Kind kind = Kind::kInt;
  uint64_t n = 0;      // kInt, kNumericString, kTime (ticks)
  std::string text;    // as written in the query
};

struct RefExpr;

struct RefStep {
  bool attribute = false;
  std::string name;  // "*" for any
  std::vector<RefExpr> predicates;
};

struct RefPath {
  std::vector<RefStep> steps;
};

struct RefExpr {
  enum class Kind { kOr, kAnd, kExists, kCompare, kBand, kBandCompare,
                    kTimediff, kPosition };
  Kind kind = Kind::kExists;
  std::vector<RefExpr> children;  // kOr, kAnd
  RefPath path;
  std::string op;  // "=", "!=", "<", "<=", ">", ">="
  RefLiteral literal;
  uint64_t mask = 0;
};

// XPath text for `path`, with random spacing and redundant parentheses.
std::string Render(const RefPath& path, std::mt19937& rng);

// True when the location path `path` selects at least one node of `tree`.
bool RefMatches(const RefPath& path, const evtx::EventTree& tree, uint64_t now);

}  // namespace xpath_test

#endif  // QRV_TESTS_FORMATS_XPATH_REFERENCE_EVALUATOR_H_
