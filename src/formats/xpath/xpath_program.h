// The compiled form of one Select/Suppress XPath: flat arrays of steps,
// paths, expressions and literals, built once by CompileXPath()
// (xpath_parser.h) and then only read. Entry point: XPathProgram::Matches(),
// defined in xpath_eval.cc.
//
// Accepted subset (what the event-log service documents and accepts):
//   * at the top, location paths joined by `and` / `or` and parentheses,
//     with XPath 1.0 precedence (`and` binds tighter); each path is true for
//     an event it selects. Operator words are lower case only, as in XPath;
//   * a location path starts with `*` or `Event`; child steps (element
//     name or `*`) and a final attribute step `@name` / `@*`;
//   * predicates `[...]` on element steps, nested; `and`, `or`, parentheses;
//   * comparisons `path op literal` with op one of = != < <= > >=; literals
//     are '…' / "…" strings or numbers (decimal, fraction, or 0x hex);
//     comparisons are typed, see typed_value.h;
//   * a bare path as an existence test;
//   * band(path, n) as a test or compared with a number;
//   * timediff(t) and timediff(t1, t2) compared with a number; arguments are
//     paths or time literals; the result is whole milliseconds;
//   * position() compared with a number, and [n], on the last element step
//     of a path only (the service allows positions on leaf nodes only).
// Everything else is refused at compile time, never read as "match all":
// `//`, `.`, `..`, `|`, axes written out (`child::`), namespace prefixes,
// absolute paths, variables, arithmetic, unary minus, not() and every other
// function, literals on the left of a comparison, path-to-path comparisons,
// node tests such as text(), predicates on attribute steps, and relational
// operators on GUIDs and SIDs.
#ifndef QRV_FORMATS_XPATH_XPATH_PROGRAM_H_
#define QRV_FORMATS_XPATH_XPATH_PROGRAM_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/evtx/event_tree.h"
#include "formats/xpath/typed_value.h"

namespace xpath {

// Predicate brackets, parentheses and function calls each open one level.
// The deepest query the tool itself writes uses four; the evaluator recurses
// once per level, so the cap also bounds its stack.
inline constexpr size_t kMaxNestingDepth = 16;
// Steps in one path. Event XML is rarely deeper than five elements
// (Event/UserData/X/Y/Z); the evaluator recurses once per step.
inline constexpr size_t kMaxPathSteps = 16;
// Predicates on one step; each keeps its own position counter on the stack.
inline constexpr size_t kMaxPredicatesPerStep = 8;
// Terms (comparisons, existence tests, function tests) in one XPath; a
// top-level location path that holds none counts as one, so `* or * or ...`
// is bounded too. The
// service documents 32 expressions per Select; reports from real machines put
// the failure near 22 `EventID=` clauses, not a sharp number, so the
// documented figure is used.
inline constexpr size_t kMaxTermsPerSelect = 32;

inline constexpr uint32_t kNoIndex = UINT32_MAX;

struct XPathStep {
  bool attribute = false;
  bool any_name = false;  // `*` or `@*`
  std::string name;
  uint32_t first_predicate = 0;  // range in XPathProgram::lists (expr indices)
  uint32_t predicate_count = 0;
};

struct XPathPath {
  uint32_t first_step = 0;  // range in XPathProgram::steps
  uint32_t step_count = 0;
};

// A timediff() argument: a path, or a time literal (FILETIME ticks).
struct TimeArg {
  uint32_t path = kNoIndex;
  uint64_t ticks = 0;
};

enum class ExprKind : uint8_t {
  kOr,                // any of lists[first, first+count)
  kAnd,               // all of lists[first, first+count)
  kExists,            // path selects at least one node
  kCompare,           // some node of path: value op literal
  kBand,              // some node of path: (value & mask) != 0
  kBandCompare,       // some node of path: (value & mask) op literal
  kTimediffCompare,   // some (t1, t2): (t2 - t1) in ms op literal
  kPositionCompare,   // position of the context node op literal
  kSelectsEvent,      // the location path `path` selects the event (top only)
};

struct XPathExpr {
  ExprKind kind = ExprKind::kExists;
  CompareOp op = CompareOp::kEq;
  bool timediff_to_now = false;  // timediff(t): t2 is the evaluation time
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t path = kNoIndex;
  uint32_t literal = kNoIndex;
  uint64_t mask = 0;
  TimeArg t1;
  TimeArg t2;
};

struct XPathProgram {
  // The top-level expression: a kSelectsEvent, or kOr/kAnd over such
  // expressions. Expressions are stored as they complete, so nested ones
  // come before it.
  uint32_t top = kNoIndex;
  std::vector<XPathPath> paths;
  std::vector<XPathStep> steps;
  std::vector<XPathExpr> exprs;
  std::vector<uint32_t> lists;
  std::vector<Literal> literals;
  // False when some step reaches outside Event/System (EventData, UserData,
  // RenderingInfo, `*` below Event) or reads attributes of Event itself: such
  // a query needs the whole event tree, the others only Event and System.
  bool system_only = true;

  // True when the event selected by `tree` is selected by this XPath.
  // `now_filetime` (100 ns ticks since 1601 UTC) is what timediff(t)
  // measures against. Does not allocate.
  bool Matches(const evtx::EventTree& tree, uint64_t now_filetime) const;
  // True when Matches holds for every tree that has a root: the XPath is
  // `*`, with no predicate.
  bool SelectsEveryEvent() const;
  // Event ids outside of which Matches is false for every tree whose System
  // element holds one EventID, typed UInt16 (a tree rebuilt from the
  // event's properties): sorted, without repeats, possibly empty. Nullopt
  // when the XPath does not confine EventID to numbers named with `=`, as
  // in `*[System[EventID=4624 or EventID=4625]]`.
  std::optional<std::vector<uint16_t>> RequiredEventIds() const;
};

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_XPATH_PROGRAM_H_
