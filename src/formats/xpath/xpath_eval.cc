// XPathProgram::Matches(): runs a compiled XPath over one event tree.
// Node sets are never built: each path is walked depth-first and stops at the
// first node that satisfies the test, which is the XPath rule that a
// comparison holds when any selected node satisfies it. Recursion follows the
// compiled program (bounded by kMaxNestingDepth and kMaxPathSteps), never the
// tree, and nothing is allocated. Also XPathProgram::RequiredEventIds(),
// read once per query from the program alone.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "formats/xpath/xpath_program.h"

namespace xpath {
namespace {

constexpr uint64_t kTicksPerMillisecond = 10'000;

// t2 - t1 in whole milliseconds, truncated toward zero.
int64_t MillisecondsBetween(uint64_t t1, uint64_t t2) {
  if (t2 >= t1) return static_cast<int64_t>((t2 - t1) / kTicksPerMillisecond);
  return -static_cast<int64_t>((t1 - t2) / kTicksPerMillisecond);
}

// Element names in one parent mostly differ in length or first letter, so
// those are checked before the full compare (the walk's hottest line).
bool NameIs(const std::string& name, const std::string& wanted) {
  return name.size() == wanted.size() && !name.empty() &&
         name[0] == wanted[0] && name == wanted;
}

class Evaluator {
 public:
  Evaluator(const XPathProgram& program, const evtx::EventTree& tree,
            uint64_t now)
      : p_(program), tree_(tree), now_(now) {}

  bool MatchesEvent() const { return Eval(p_.top, 0, 1); }

 private:
  bool SelectsEvent(uint32_t path) const;
  bool Eval(uint32_t expr, uint32_t element, uint64_t position) const;

  // Runs `visit(value, has_children)` on each node `path` selects from
  // `element` until it returns true.
  template <typename Visit>
  bool AnyNode(uint32_t path, uint32_t element, const Visit& visit) const {
    const XPathPath& p = p_.paths[path];
    return Walk(p.first_step, p.first_step + p.step_count, element, visit);
  }

  template <typename Visit>
  bool Walk(uint32_t step, uint32_t end, uint32_t element,
            const Visit& visit) const {
    const XPathStep& s = p_.steps[step];
    const evtx::Element& e = tree_.elements[element];
    if (s.attribute) {  // always the last step
      for (const evtx::Attribute& a : e.attributes) {
        if ((s.any_name || NameIs(a.name, s.name)) && visit(a.value, false)) {
          return true;
        }
      }
      return false;
    }
    uint64_t positions[kMaxPredicatesPerStep] = {};
    for (const uint32_t child : e.children) {
      if (child >= tree_.elements.size()) continue;  // damaged tree
      const evtx::Element& c = tree_.elements[child];
      if (!s.any_name && !NameIs(c.name, s.name)) continue;
      if (!PassesPredicates(s, child, positions)) continue;
      if (step + 1 == end) {
        if (visit(c.text, !c.children.empty())) return true;
      } else if (Walk(step + 1, end, child, visit)) {
        return true;
      }
    }
    return false;
  }

  // Each predicate numbers the nodes that passed the ones before it.
  bool PassesPredicates(const XPathStep& s, uint32_t element,
                        uint64_t* positions) const {
    for (uint32_t i = 0; i < s.predicate_count; ++i) {
      if (!Eval(p_.lists[s.first_predicate + i], element, ++positions[i])) {
        return false;
      }
    }
    return true;
  }

  template <typename Visit>
  bool AnyTime(const TimeArg& arg, uint32_t element, const Visit& visit) const {
    if (arg.path == kNoIndex) return visit(arg.ticks);
    return AnyNode(arg.path, element,
                   [&visit](const evtx::Value& v, bool has_children) {
                     if (has_children) return false;
                     const std::optional<uint64_t> t = ValueAsTime(v);
                     return t.has_value() && visit(*t);
                   });
  }

  const XPathProgram& p_;
  const evtx::EventTree& tree_;
  uint64_t now_;
};

bool Evaluator::Eval(uint32_t expr, uint32_t element, uint64_t position) const {
  const XPathExpr& x = p_.exprs[expr];
  switch (x.kind) {
    case ExprKind::kOr:
      for (uint32_t i = 0; i < x.count; ++i) {
        if (Eval(p_.lists[x.first + i], element, position)) return true;
      }
      return false;
    case ExprKind::kAnd:
      for (uint32_t i = 0; i < x.count; ++i) {
        if (!Eval(p_.lists[x.first + i], element, position)) return false;
      }
      return true;
    case ExprKind::kExists:
      return AnyNode(x.path, element,
                     [](const evtx::Value&, bool) { return true; });
    case ExprKind::kCompare: {
      const Literal& lit = p_.literals[x.literal];
      return AnyNode(x.path, element,
                     [&lit, &x](const evtx::Value& v, bool has_children) {
                       return !has_children && CompareValue(v, x.op, lit);
                     });
    }
    case ExprKind::kBand:
    case ExprKind::kBandCompare: {
      const Literal* lit =
          x.kind == ExprKind::kBandCompare ? &p_.literals[x.literal] : nullptr;
      return AnyNode(
          x.path, element, [lit, &x](const evtx::Value& v, bool has_children) {
            if (has_children) return false;
            const std::optional<uint64_t> u = ValueAsUnsigned(v);
            if (!u) return false;
            const uint64_t bits = *u & x.mask;
            return lit == nullptr ? bits != 0 : CompareUnsigned(bits, x.op, *lit);
          });
    }
    case ExprKind::kTimediffCompare: {
      const Literal& lit = p_.literals[x.literal];
      return AnyTime(x.t1, element, [&](uint64_t t1) {
        if (x.timediff_to_now) {
          return CompareSigned(MillisecondsBetween(t1, now_), x.op, lit);
        }
        return AnyTime(x.t2, element, [&](uint64_t t2) {
          return CompareSigned(MillisecondsBetween(t1, t2), x.op, lit);
        });
      });
    }
    case ExprKind::kPositionCompare:
      return CompareUnsigned(position, x.op, p_.literals[x.literal]);
    case ExprKind::kSelectsEvent:
      return SelectsEvent(x.path);
  }
  return false;
}

bool Evaluator::SelectsEvent(uint32_t path_index) const {
  // The first step selects among the document's children, i.e. the root.
  const XPathPath& path = p_.paths[path_index];
  const XPathStep& first = p_.steps[path.first_step];
  if (!first.any_name && tree_.elements[0].name != first.name) return false;
  uint64_t positions[kMaxPredicatesPerStep] = {};
  for (uint32_t i = 0; i < first.predicate_count; ++i) {
    if (!Eval(p_.lists[first.first_predicate + i], 0, ++positions[i])) {
      return false;
    }
  }
  if (path.step_count == 1) return true;
  return Walk(path.first_step + 1, path.first_step + path.step_count, 0,
              [](const evtx::Value&, bool) { return true; });
}

// --- RequiredEventIds: necessary conditions on EventID ---------------------

// A set of event ids, sorted; nullopt stands for every id.
using EventIds = std::optional<std::vector<uint16_t>>;

EventIds Intersect(const EventIds& a, const EventIds& b) {
  if (!a) return b;
  if (!b) return a;
  std::vector<uint16_t> both;
  std::set_intersection(a->begin(), a->end(), b->begin(), b->end(),
                        std::back_inserter(both));
  return both;
}

// Where an expression is evaluated: the whole XPath, the Event element (a
// predicate of the first step) or the System element.
enum class Context : uint8_t { kTop, kEvent, kSystem };

class EventIdBounds {
 public:
  explicit EventIdBounds(const XPathProgram& program) : p_(program) {}

  // Ids outside of which `expr` is false in `context`.
  EventIds Of(uint32_t expr, Context context) const {
    const XPathExpr& x = p_.exprs[expr];
    switch (x.kind) {
      case ExprKind::kOr: {
        std::vector<uint16_t> any;
        for (uint32_t i = 0; i < x.count; ++i) {
          const EventIds ids = Of(p_.lists[x.first + i], context);
          if (!ids) return std::nullopt;
          std::vector<uint16_t> merged;
          std::set_union(any.begin(), any.end(), ids->begin(), ids->end(),
                         std::back_inserter(merged));
          any.swap(merged);
        }
        return any;
      }
      case ExprKind::kAnd: {
        EventIds all;
        for (uint32_t i = 0; i < x.count; ++i)
          all = Intersect(all, Of(p_.lists[x.first + i], context));
        return all;
      }
      case ExprKind::kSelectsEvent:
        return context == Context::kTop ? OfPath(x.path, Context::kTop, nullptr)
                                        : std::nullopt;
      case ExprKind::kExists:
        return OfPath(x.path, context, nullptr);
      case ExprKind::kCompare:
        return OfPath(x.path, context, &x);
      default:
        return std::nullopt;
    }
  }

 private:
  // What the steps of `path` require, each step's predicates where the step
  // lands: the first step of the top path on Event, a `System` step on
  // System. A step below System other than a final `EventID` compared with
  // `compare` tells nothing more, nor do the steps after it.
  EventIds OfPath(uint32_t path, Context context,
                  const XPathExpr* compare) const {
    const XPathPath& p = p_.paths[path];
    EventIds ids;
    for (uint32_t i = 0; i < p.step_count; ++i) {
      const XPathStep& step = p_.steps[p.first_step + i];
      if (step.attribute) break;
      const bool last = i + 1 == p.step_count;
      if (context == Context::kTop) {
        context = Context::kEvent;  // the root, whatever its name
      } else if (context == Context::kEvent && !step.any_name &&
                 step.name == "System") {
        context = Context::kSystem;
      } else if (context == Context::kSystem && last && compare != nullptr &&
                 !step.any_name && step.name == "EventID") {
        ids = Intersect(ids, OfEventIdCompare(*compare));
        break;
      } else {
        break;
      }
      for (uint32_t k = 0; k < step.predicate_count; ++k)
        ids = Intersect(ids, Of(p_.lists[step.first_predicate + k], context));
    }
    return ids;
  }

  // EventID = n for a whole number n that a UInt16 can hold; other
  // comparisons and literals are left to the evaluator.
  EventIds OfEventIdCompare(const XPathExpr& compare) const {
    const Literal& lit = p_.literals[compare.literal];
    if (compare.op != CompareOp::kEq || lit.kind != Literal::Kind::kUnsigned ||
        lit.u > UINT16_MAX) {
      return std::nullopt;
    }
    return std::vector<uint16_t>{static_cast<uint16_t>(lit.u)};
  }

  const XPathProgram& p_;
};

}  // namespace

std::optional<std::vector<uint16_t>> XPathProgram::RequiredEventIds() const {
  if (top >= exprs.size()) return std::nullopt;
  return EventIdBounds(*this).Of(top, Context::kTop);
}

bool XPathProgram::SelectsEveryEvent() const {
  if (top >= exprs.size() || exprs[top].kind != ExprKind::kSelectsEvent)
    return false;
  const uint32_t path = exprs[top].path;
  if (path >= paths.size() || paths[path].step_count != 1) return false;
  const XPathStep& step = steps[paths[path].first_step];
  return step.any_name && !step.attribute && step.predicate_count == 0;
}

bool XPathProgram::Matches(const evtx::EventTree& tree,
                           uint64_t now_filetime) const {
  if (top == kNoIndex || tree.elements.empty()) return false;
  return Evaluator(*this, tree, now_filetime).MatchesEvent();
}

}  // namespace xpath
