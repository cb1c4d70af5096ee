// Differential test: random small queries over random small events, each
// evaluated by the compiled evaluator (from the rendered text) and by the
// simple reference evaluator (from the generator's tree); they must agree.
#include <gtest/gtest.h>

#include <random>

#include "event_builder.h"
#include "formats/xpath/xpath_parser.h"
#include "reference_evaluator.h"

namespace xpath_test {
namespace {

using evtx::ValueType;
using xpath::CompileXPath;
using xpath::XPathProgram;

constexpr uint64_t kBaseTicks = 133'000'000'000'000'000;  // 2022-06-18T04:26:40Z
constexpr uint64_t kNow = kBaseTicks + 36'000'000'000;  // an hour later
const char* const kTimeTexts[] = {"2022-06-18T04:26:40Z", "2022-06-18T04:26:40.0000001Z",
                                  "2022-06-18T05:26:40Z"};
const char* const kGuids[] = {"{54849625-5478-4994-A5BA-3E3B0328C30D}",
                              "{00000000-0000-0000-0000-000000000001}"};
const char* const kSids[] = {"S-1-5-18", "S-1-5-19"};
const uint64_t kKeywords[] = {0, 0x8020000000000000, 0x8010000000000000, 0x80000000000000};

template <typename T, size_t N>
const T& Pick(const T (&items)[N], std::mt19937& rng) {
  return items[rng() % N];
}

bool Chance(std::mt19937& rng, int percent) { return static_cast<int>(rng() % 100) < percent; }

evtx::EventTree RandomEvent(std::mt19937& rng) {
  EventBuilder b;
  if (Chance(rng, 90)) {
    const uint32_t system = b.Add(0, "System");
    if (Chance(rng, 85)) {
      const uint32_t p = b.Add(system, "Provider");
      const char* const kNames[] = {"Alpha", "alpha", "Beta"};
      b.Attr(p, "Name", Str(Pick(kNames, rng)));
      if (Chance(rng, 50)) {
        std::string guid = Pick(kGuids, rng);
        if (Chance(rng, 50)) for (char& c : guid) c = static_cast<char>(std::tolower(c));
        b.Attr(p, "Guid", Typed(ValueType::kGuid, guid));
      }
    }
    const uint64_t kIds[] = {1, 2, 4624};
    if (Chance(rng, 85)) b.Add(system, "EventID", UInt(ValueType::kUInt16, Pick(kIds, rng)));
    if (Chance(rng, 85)) b.Add(system, "Level", UInt(ValueType::kUInt8, rng() % 5));
    if (Chance(rng, 85)) b.Add(system, "Keywords", Hex64(Pick(kKeywords, rng)));
    if (Chance(rng, 85)) {
      const uint32_t t = b.Add(system, "TimeCreated");
      const uint64_t kOffsets[] = {0, 1, 2, 36'000'000'000 - 1, 36'000'000'000, 36'000'000'001};
      b.Attr(t, "SystemTime", FileTime(kBaseTicks + Pick(kOffsets, rng)));
    }
    if (Chance(rng, 70)) b.Add(system, "Channel", Str(Chance(rng, 50) ? "Security" : "application"));
    if (Chance(rng, 50)) {
      const uint32_t s = b.Add(system, "Security");
      b.Attr(s, "UserID", Typed(ValueType::kSid, Pick(kSids, rng)));
    }
  }
  if (Chance(rng, 60)) {
    const uint32_t data = b.Add(0, "EventData");
    const int items = static_cast<int>(rng() % 4);
    for (int i = 0; i < items; ++i) {
      const char* const kTexts[] = {"x", "X", "10", "7", "0x10", ""};
      const uint32_t d = Chance(rng, 25) ? b.Add(data, "Data", UInt(ValueType::kUInt32, rng() % 12))
                                         : b.Add(data, "Data", Str(Pick(kTexts, rng)));
      if (Chance(rng, 60)) b.Attr(d, "Name", Str(Chance(rng, 50) ? "a" : "b"));
    }
  }
  if (Chance(rng, 20)) {
    const uint32_t user = b.Add(0, "UserData");
    const uint32_t low = b.Add(user, "LowOnMemory");
    if (Chance(rng, 50)) b.Add(low, "X", Str("x"));
  }
  return b.tree();
}

RefPath MakePath(std::initializer_list<const char*> names) {
  RefPath p;
  for (const char* n : names) {
    RefStep s;
    s.attribute = n[0] == '@';
    s.name = s.attribute ? n + 1 : n;
    p.steps.push_back(std::move(s));
  }
  return p;
}

const char* RandomOp(std::mt19937& rng, bool equality_only) {
  const char* const kOps[] = {"=", "!=", "<", "<=", ">", ">="};
  return equality_only ? kOps[rng() % 2] : Pick(kOps, rng);
}

RefLiteral IntLiteral(uint64_t n) {
  RefLiteral l;
  l.kind = RefLiteral::Kind::kInt;
  l.n = n;
  l.text = std::to_string(n);
  return l;
}

RefLiteral TextLiteral(RefLiteral::Kind kind, std::string text, uint64_t n = 0) {
  RefLiteral l;
  l.kind = kind;
  l.text = std::move(text);
  l.n = n;
  return l;
}

// A comparison on a value-bearing path from the event root, with literals
// drawn mostly from the value's own domain and sometimes from another one.
RefExpr RandomCompare(std::mt19937& rng) {
  RefExpr e;
  e.kind = RefExpr::Kind::kCompare;
  using K = RefLiteral::Kind;
  switch (rng() % 11) {
    case 0: e.path = MakePath({"System", "EventID"}); break;
    case 1: e.path = MakePath({"System", "Level"}); break;
    case 2: e.path = MakePath({"System", "Keywords"}); break;
    case 3: e.path = MakePath({"System", "TimeCreated", "@SystemTime"}); break;
    case 4: e.path = MakePath({"System", "Provider", "@Name"}); break;
    case 5: e.path = MakePath({"System", "Provider", "@Guid"}); break;
    case 6: e.path = MakePath({"System", "Security", "@UserID"}); break;
    case 7: e.path = MakePath({"EventData", "Data"}); break;
    // Elements that may have children, which no comparison may read.
    case 8: e.path = MakePath({"UserData", "*"}); break;
    case 9: e.path = MakePath({"*"}); break;
    default: e.path = MakePath({"System", "*"}); break;
  }
  switch (rng() % 8) {
    case 0:
    case 1: {
      const uint64_t kInts[] = {0, 1, 2, 3, 4, 7, 10, 16, 4624, 9232379236109516800u};
      e.literal = IntLiteral(Pick(kInts, rng));
      e.op = RandomOp(rng, false);
      break;
    }
    case 2: {
      const char* const kTexts[] = {"x", "alpha", "BETA", "4624", "Security", "", "0x10"};
      const std::string t = Pick(kTexts, rng);
      e.op = RandomOp(rng, true);
      e.literal = t == "0x10" ? TextLiteral(K::kNumericString, t, 16) : TextLiteral(K::kString, t);
      break;
    }
    case 3: {
      const char* const kNumbers[] = {"7", "10", "4624"};
      const std::string t = Pick(kNumbers, rng);
      e.op = RandomOp(rng, false);
      if (e.op == "=" || e.op == "!=") {
        e.literal = TextLiteral(K::kString, t);
      } else {
        e.literal = TextLiteral(K::kNumericString, t, std::stoull(t));
      }
      break;
    }
    case 4:
    case 5: {
      const size_t i = rng() % 3;
      const uint64_t kTicks[] = {kBaseTicks, kBaseTicks + 1, kBaseTicks + 36'000'000'000};
      e.literal = TextLiteral(K::kTime, kTimeTexts[i], kTicks[i]);
      e.op = RandomOp(rng, false);
      break;
    }
    case 6:
      e.literal = TextLiteral(K::kGuid, Pick(kGuids, rng));
      e.op = RandomOp(rng, true);
      break;
    default:
      e.literal = TextLiteral(K::kSid, Chance(rng, 50) ? "s-1-5-18" : "S-1-5-19");
      e.op = RandomOp(rng, true);
      break;
  }
  return e;
}

RefExpr RandomTerm(std::mt19937& rng, int depth);

RefExpr RandomBool(std::mt19937& rng, int depth) {
  if (depth < 2 && Chance(rng, 35)) {
    RefExpr e;
    e.kind = Chance(rng, 50) ? RefExpr::Kind::kOr : RefExpr::Kind::kAnd;
    const int n = 2 + static_cast<int>(rng() % 2);
    for (int i = 0; i < n; ++i) e.children.push_back(RandomBool(rng, depth + 1));
    return e;
  }
  return RandomTerm(rng, depth);
}

RefExpr RandomTerm(std::mt19937& rng, int depth) {
  RefExpr e;
  switch (rng() % 8) {
    case 0: {
      e.kind = RefExpr::Kind::kExists;
      const int k = static_cast<int>(rng() % 6);
      e.path = k == 0   ? MakePath({"UserData", "LowOnMemory"})
               : k == 1 ? MakePath({"UserData", "*", "X"})
               : k == 2 ? MakePath({"EventData", "Data", "@Name"})
               : k == 3 ? MakePath({"System", "Missing"})
               : k == 4 ? MakePath({"*", "Security"})
                        : MakePath({"System", "Provider", "@*"});
      return e;
    }
    case 1: {
      e.kind = Chance(rng, 50) ? RefExpr::Kind::kBand : RefExpr::Kind::kBandCompare;
      e.path = Chance(rng, 80) ? MakePath({"System", "Keywords"}) : MakePath({"EventData", "Data"});
      const uint64_t kMasks[] = {0x20000000000000, 0x10000000000000, 0x8000000000000000, 16, 3};
      e.mask = Pick(kMasks, rng);
      e.op = RandomOp(rng, false);
      e.literal = IntLiteral(Chance(rng, 50) ? e.mask : 0);
      return e;
    }
    case 2: {
      e.kind = RefExpr::Kind::kTimediff;
      e.path = MakePath({"System", "TimeCreated", "@SystemTime"});
      const uint64_t kMs[] = {0, 3'600'000, 3'599'999, 3'600'001};
      e.literal = IntLiteral(Pick(kMs, rng));
      e.op = RandomOp(rng, false);
      return e;
    }
    case 3: {
      // EventData/Data with positional and name predicates on the leaf.
      e.kind = Chance(rng, 50) ? RefExpr::Kind::kExists : RefExpr::Kind::kCompare;
      RefExpr compare = RandomCompare(rng);
      e.path = MakePath({"EventData", "Data"});
      if (Chance(rng, 50)) {
        RefExpr name;
        name.kind = RefExpr::Kind::kCompare;
        name.path = MakePath({"@Name"});
        name.op = RandomOp(rng, true);
        name.literal = TextLiteral(RefLiteral::Kind::kString, Chance(rng, 50) ? "a" : "B");
        e.path.steps[1].predicates.push_back(std::move(name));
      }
      RefExpr pos;
      pos.kind = RefExpr::Kind::kPosition;
      pos.op = RandomOp(rng, false);
      pos.literal = IntLiteral(1 + rng() % 3);
      e.path.steps[1].predicates.push_back(std::move(pos));
      e.op = compare.op;
      e.literal = compare.literal;
      return e;
    }
    case 4:
      if (depth < 2) {
        // A nested predicate: System[...] or EventData[...] around terms
        // written relative to the event root, re-rooted one level down.
        e.kind = RefExpr::Kind::kExists;
        RefExpr inner = RandomBool(rng, depth + 1);
        const bool system = Chance(rng, 70);
        e.path = MakePath({system ? "System" : "EventData"});
        std::vector<RefExpr*> stack{&inner};
        bool all_fit = true;
        while (!stack.empty()) {
          RefExpr* x = stack.back();
          stack.pop_back();
          for (RefExpr& c : x->children) stack.push_back(&c);
          if (x->kind == RefExpr::Kind::kOr || x->kind == RefExpr::Kind::kAnd ||
              x->kind == RefExpr::Kind::kPosition) {
            continue;
          }
          auto& steps = x->path.steps;
          if (steps.size() < 2 || steps[0].name != (system ? "System" : "EventData") ||
              !steps[0].predicates.empty()) {
            all_fit = false;
            break;
          }
          steps.erase(steps.begin());
        }
        if (all_fit) {
          e.path.steps[0].predicates.push_back(std::move(inner));
          return e;
        }
      }
      return RandomCompare(rng);
    default:
      return RandomCompare(rng);
  }
}

RefPath RandomQuery(std::mt19937& rng) {
  RefPath top;
  RefStep root;
  root.name = Chance(rng, 50) ? "*" : "Event";
  if (Chance(rng, 90)) root.predicates.push_back(RandomBool(rng, 0));
  top.steps.push_back(std::move(root));
  if (Chance(rng, 15)) top.steps.push_back(MakePath({"System"}).steps[0]);
  return top;
}

TEST(XPathDifferentialTest, CompiledEvaluatorAgreesWithReference) {
  std::mt19937 rng(20240607);
  std::vector<evtx::EventTree> events;
  for (int i = 0; i < 60; ++i) events.push_back(RandomEvent(rng));
  size_t matched = 0;
  size_t evaluated = 0;
  for (int q = 0; q < 3000; ++q) {
    const RefPath query = RandomQuery(rng);
    const std::string text = Render(query, rng);
    XPathProgram program;
    std::string error;
    ASSERT_TRUE(CompileXPath(text, &program, &error)) << text << ": " << error;
    for (const evtx::EventTree& event : events) {
      const bool want = RefMatches(query, event, kNow);
      ASSERT_EQ(program.Matches(event, kNow), want) << text << "\nevent #"
                                                    << (&event - events.data());
      matched += want ? 1 : 0;
      ++evaluated;
    }
  }
  // Both outcomes must be common, or the generator tests nothing.
  EXPECT_GT(matched, evaluated / 10);
  EXPECT_LT(matched, evaluated * 9 / 10);
}

}  // namespace
}  // namespace xpath_test
