// The test-only reference evaluator (see reference_evaluator.h): node sets
// are built as vectors, predicates filter them with positions taken from the
// filtered vector, and every comparison converts with the C library.
#include "reference_evaluator.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace xpath_test {
namespace {

using evtx::ValueType;

struct Node {
  uint32_t element;
  int attribute;  // -1 for the element itself
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Space(std::mt19937& rng) {
  switch (rng() % 4) {
    case 0: return " ";
    case 1: return "\n  ";
    default: return "";
  }
}

std::string RenderLiteral(const RefLiteral& lit) {
  if (lit.kind == RefLiteral::Kind::kInt) return lit.text;
  return "'" + lit.text + "'";
}

std::string RenderPath(const RefPath& path, std::mt19937& rng);

std::string RenderExpr(const RefExpr& e, std::mt19937& rng) {
  using K = RefExpr::Kind;
  switch (e.kind) {
    case K::kOr:
    case K::kAnd: {
      std::string out;
      for (size_t i = 0; i < e.children.size(); ++i) {
        if (i > 0) out += std::string(" ") + (e.kind == K::kOr ? "or" : "and") + " ";
        const bool parens = e.children[i].kind == K::kOr || e.children[i].kind == K::kAnd ||
                            rng() % 4 == 0;
        const std::string inner = RenderExpr(e.children[i], rng);
        out += parens ? "(" + Space(rng) + inner + Space(rng) + ")" : inner;
      }
      return out;
    }
    case K::kExists:
      return RenderPath(e.path, rng);
    case K::kCompare:
      return RenderPath(e.path, rng) + Space(rng) + e.op + Space(rng) + RenderLiteral(e.literal);
    case K::kBand:
    case K::kBandCompare: {
      std::string out = "band(" + RenderPath(e.path, rng) + "," + Space(rng) +
                        std::to_string(e.mask) + ")";
      if (e.kind == K::kBandCompare) out += e.op + RenderLiteral(e.literal);
      return out;
    }
    case K::kTimediff:
      return "timediff(" + RenderPath(e.path, rng) + ")" + Space(rng) + e.op + " " +
             RenderLiteral(e.literal);
    case K::kPosition:
      if (e.op == "=" && rng() % 2 == 0) return RenderLiteral(e.literal);  // [n]
      return "position()" + e.op + RenderLiteral(e.literal);
  }
  return "";
}

std::string RenderPath(const RefPath& path, std::mt19937& rng) {
  std::string out;
  for (size_t i = 0; i < path.steps.size(); ++i) {
    const RefStep& s = path.steps[i];
    if (i > 0) out += "/";
    out += (s.attribute ? "@" : "") + s.name;
    for (const RefExpr& p : s.predicates) {
      out += "[" + Space(rng) + RenderExpr(p, rng) + Space(rng) + "]";
    }
  }
  return out;
}

class Reference {
 public:
  Reference(const evtx::EventTree& tree, uint64_t now) : tree_(tree), now_(now) {}

  bool Top(const RefPath& path) const {
    if (tree_.elements.empty()) return false;
    std::vector<Node> set;
    const RefStep& first = path.steps[0];
    if (first.name == "*" || first.name == tree_.elements[0].name) set.push_back({0, -1});
    set = Filter(first, set);
    return !Walk(path, 1, set).empty();
  }

 private:
  std::vector<Node> Filter(const RefStep& step, std::vector<Node> set) const {
    for (const RefExpr& p : step.predicates) {
      std::vector<Node> kept;
      for (size_t i = 0; i < set.size(); ++i) {
        if (Eval(p, set[i].element, i + 1)) kept.push_back(set[i]);
      }
      set = kept;
    }
    return set;
  }

  std::vector<Node> Walk(const RefPath& path, size_t from, std::vector<Node> set) const {
    for (size_t i = from; i < path.steps.size(); ++i) {
      const RefStep& s = path.steps[i];
      std::vector<Node> next;
      for (const Node& n : set) {
        const evtx::Element& e = tree_.elements[n.element];
        std::vector<Node> candidates;
        if (s.attribute) {
          for (size_t a = 0; a < e.attributes.size(); ++a) {
            if (s.name == "*" || e.attributes[a].name == s.name) {
              candidates.push_back({n.element, static_cast<int>(a)});
            }
          }
        } else {
          for (uint32_t c : e.children) {
            if (s.name == "*" || tree_.elements[c].name == s.name) candidates.push_back({c, -1});
          }
        }
        for (const Node& kept : Filter(s, candidates)) next.push_back(kept);
      }
      set = next;
    }
    return set;
  }

  std::vector<Node> Select(const RefPath& path, uint32_t context) const {
    return Walk(path, 0, {{context, -1}});
  }

  // The value a comparison sees, or null for elements with children.
  const evtx::Value* ValueOf(const Node& n) const {
    const evtx::Element& e = tree_.elements[n.element];
    if (n.attribute >= 0) return &e.attributes[static_cast<size_t>(n.attribute)].value;
    return e.children.empty() ? &e.text : nullptr;
  }

  static bool IsIntegerType(ValueType t) {
    return t == ValueType::kUInt8 || t == ValueType::kUInt16 || t == ValueType::kUInt32 ||
           t == ValueType::kUInt64 || t == ValueType::kHexInt64 || t == ValueType::kFileTime;
  }

  // Integer view: typed integers, or string text that is all decimal digits
  // or 0x and hex digits.
  static bool AsInteger(const evtx::Value& v, uint64_t* out) {
    if (IsIntegerType(v.type)) {
      *out = v.u;
      return true;
    }
    if (v.type != ValueType::kString || v.text.empty()) return false;
    const std::string& t = v.text;
    if (t.size() > 2 && t[0] == '0' && t[1] == 'x') {
      if (!std::all_of(t.begin() + 2, t.end(), ::isxdigit)) return false;
      *out = std::strtoull(t.c_str() + 2, nullptr, 16);
      return true;
    }
    if (!std::all_of(t.begin(), t.end(), ::isdigit)) return false;
    *out = std::strtoull(t.c_str(), nullptr, 10);
    return true;
  }

  template <typename T>
  static bool Op(T a, const std::string& op, T b) {
    if (op == "=") return a == b;
    if (op == "!=") return a != b;
    if (op == "<") return a < b;
    if (op == "<=") return a <= b;
    if (op == ">") return a > b;
    return a >= b;
  }

  static std::string GuidKey(const std::string& text) {
    std::string s = Lower(text);
    if (s.size() == 38 && s.front() == '{') s = s.substr(1, 36);
    return s;
  }

  static bool Compare(const evtx::Value& v, const std::string& op, const RefLiteral& lit) {
    using K = RefLiteral::Kind;
    uint64_t u = 0;
    switch (lit.kind) {
      case K::kInt:
      case K::kNumericString:
        return AsInteger(v, &u) && Op(u, op, lit.n);
      case K::kString:
        return (Lower(v.text) == Lower(lit.text)) == (op == "=");
      case K::kTime:
        return v.type == ValueType::kFileTime && Op(v.u, op, lit.n);
      case K::kGuid:
        return v.type == ValueType::kGuid && (GuidKey(v.text) == GuidKey(lit.text)) == (op == "=");
      case K::kSid:
        return v.type == ValueType::kSid && (Lower(v.text) == Lower(lit.text)) == (op == "=");
    }
    return false;
  }

  bool Eval(const RefExpr& e, uint32_t context, size_t position) const {
    using K = RefExpr::Kind;
    switch (e.kind) {
      case K::kOr:
        return std::any_of(e.children.begin(), e.children.end(),
                           [&](const RefExpr& c) { return Eval(c, context, position); });
      case K::kAnd:
        return std::all_of(e.children.begin(), e.children.end(),
                           [&](const RefExpr& c) { return Eval(c, context, position); });
      case K::kPosition:
        return Op(static_cast<uint64_t>(position), e.op, e.literal.n);
      default:
        break;
    }
    for (const Node& n : Select(e.path, context)) {
      if (e.kind == K::kExists) return true;
      const evtx::Value* v = ValueOf(n);
      if (v == nullptr) continue;
      uint64_t u = 0;
      switch (e.kind) {
        case K::kCompare:
          if (Compare(*v, e.op, e.literal)) return true;
          break;
        case K::kBand:
          if (AsInteger(*v, &u) && (u & e.mask) != 0) return true;
          break;
        case K::kBandCompare:
          if (AsInteger(*v, &u) && Op(u & e.mask, e.op, e.literal.n)) return true;
          break;
        case K::kTimediff:
          if (v->type == ValueType::kFileTime) {
            // C++ integer division truncates toward zero, as timediff does.
            const int64_t ms =
                (static_cast<int64_t>(now_) - static_cast<int64_t>(v->u)) / 10000;
            if (Op(ms, e.op, static_cast<int64_t>(e.literal.n))) {
              return true;
            }
          }
          break;
        default:
          break;
      }
    }
    return false;
  }

  const evtx::EventTree& tree_;
  uint64_t now_;
};

}  // namespace

std::string Render(const RefPath& path, std::mt19937& rng) { return RenderPath(path, rng); }

bool RefMatches(const RefPath& path, const evtx::EventTree& tree, uint64_t now) {
  return Reference(tree, now).Top(path);
}

}  // namespace xpath_test
