// Queries run through the offline service over every corpus file (by
// file:// path) against a plain evaluation over the corpus's independent
// expected values (corpus_oracle.h): event ids, level lists, band() on
// keywords, relational operators, time ranges with 3 and 9 fraction digits,
// provider, channel and computer names, EventData values, Suppress and
// several Query elements. The selected EventRecordIDs must agree, in order.
//
// Where the two cannot agree, the case is left out and counted:
//   - a file whose records the other reader saw differently (damaged files,
//     where readers recover different records) is compared over the records
//     both readers have, as sets;
//   - a time bound that falls inside the sub-microsecond part the other
//     reader did not print;
//   - EventData values the other reader prints in a form of its own (its
//     <Binary> listed as a data item, FILETIMEs to the microsecond) are
//     not chosen as query values.
// A small always-run version does the same over a writer-made log whose
// expected values are the events the writer was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/platform/offline/service/corpus_oracle.h"
#include "tests/platform/offline/service/service_fixtures.h"

namespace qrv::offline {
namespace {

using testing::Lower;
using testing::OracleRow;
using testing::XmlEscape;

// FILETIME ticks as "YYYY-MM-DDTHH:MM:SS.<digits>Z".
std::string FormatTicks(uint64_t ticks, int digits) {
  const int64_t seconds = static_cast<int64_t>(ticks / 10000000ull);
  uint64_t fraction = ticks % 10000000ull;  // 7 digits
  int64_t z = seconds / 86400 - 134774 + 719468;
  const int64_t sod = seconds % 86400;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
  char digits7[8];
  std::snprintf(digits7, sizeof digits7, "%07llu",
                static_cast<unsigned long long>(fraction));
  std::string frac = std::string(digits7) + "00";  // 9 digits
  char text[64];
  std::snprintf(
      text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%sZ",
      static_cast<long long>(y), m, d, static_cast<long long>(sod / 3600),
      static_cast<long long>(sod / 60 % 60), static_cast<long long>(sod % 60),
      frac.substr(0, static_cast<size_t>(digits)).c_str());
  return text;
}

struct Case {
  std::string name;
  std::string query;  // a whole QueryList
  std::function<bool(const OracleRow&)> expect;
  std::vector<uint64_t> time_bounds;  // for the ambiguity check
};

// The service reading files named by file:// path only.
class Differential {
 public:
  Differential()
      : service_(QuerySources{nullptr, std::filesystem::path("/"), nullptr}) {}

  // EventRecordIDs the service selects; false with *error when EvtQuery
  // fails.
  bool Run(const std::string& query, std::vector<uint64_t>* ids,
           uint32_t* error) {
    return service_.Run(
        query,
        [ids](const EvtVariant* system) {
          ids->push_back(system[kEvtSystemEventRecordId].uint64_val);
        },
        error);
  }

 private:
  testing::ServiceQuery service_;
};

std::vector<uint64_t> Expected(const std::vector<OracleRow>& rows,
                               const std::function<bool(const OracleRow&)>& f) {
  std::vector<uint64_t> ids;
  for (const OracleRow& r : rows) {
    if (f(r)) ids.push_back(r.record_id);
  }
  return ids;
}

// True when some printed time leaves it open which side of `bound` the
// event lies on.
bool Ambiguous(const std::vector<OracleRow>& rows, uint64_t bound) {
  for (const OracleRow& r : rows) {
    if (r.ticks && *r.ticks < bound && bound < *r.ticks + r.time_precision)
      return true;
  }
  return false;
}

bool PlainValue(const std::string& v) {
  if (v.empty() || v.size() > 60 || v[0] == '{' || v.rfind("0x", 0) == 0)
    return false;
  for (char c : v) {
    if (!std::isalnum(static_cast<unsigned char>(c)) &&
        std::strchr(" _-.\\:$@", c) == nullptr)
      return false;
  }
  return true;
}

std::vector<Case> CasesFor(const std::string& path,
                           const std::vector<OracleRow>& rows) {
  std::vector<Case> cases;
  if (rows.empty()) return cases;
  const std::string open =
      "<QueryList><Query Id='0' Path='file://" + XmlEscape(path) + "'>";
  const std::string close = "</Query></QueryList>";
  const auto select = [&](const std::string& xpath) {
    return open + "<Select>" + XmlEscape(xpath) + "</Select>" + close;
  };

  std::map<uint64_t, int> ids;
  for (const OracleRow& r : rows) {
    if (r.event_id) ++ids[*r.event_id];
  }
  uint64_t e1 = rows[0].event_id.value_or(0);
  int best = 0;
  for (auto [id, n] : ids) {
    if (n > best) best = n, e1 = id;
  }
  const std::string e1s = std::to_string(e1);
  const auto has_id = [e1](const OracleRow& r) { return r.event_id == e1; };
  cases.push_back(
      {"event id", select("*[System[EventID=" + e1s + "]]"), has_id, {}});
  cases.push_back(
      {"event id !=",
       select("*[System[EventID!=" + e1s + "]]"),
       [e1](const OracleRow& r) { return r.event_id && *r.event_id != e1; },
       {}});
  cases.push_back({"event id range",
                   select("*[System[EventID>=" + e1s + " and EventID<" +
                          std::to_string(e1 + 100) + "]]"),
                   [e1](const OracleRow& r) {
                     return r.event_id && *r.event_id >= e1 &&
                            *r.event_id < e1 + 100;
                   },
                   {}});
  cases.push_back({"level list",
                   select("*[System[(Level=1 or Level=2 or Level=3)]]"),
                   [](const OracleRow& r) {
                     return r.level && *r.level >= 1 && *r.level <= 3;
                   },
                   {}});
  cases.push_back({"level 0 or 4",
                   select("*[System[Level=0 or Level=4]]"),
                   [](const OracleRow& r) {
                     return r.level && (*r.level == 0 || *r.level == 4);
                   },
                   {}});
  cases.push_back({"band audit success",
                   select("*[System[band(Keywords,9007199254740992)]]"),
                   [](const OracleRow& r) {
                     return r.keywords && (*r.keywords & 0x0020000000000000ull);
                   },
                   {}});
  cases.push_back(
      {"band top bit",
       select("*[System[band(Keywords,9223372036854775808)]]"),
       [](const OracleRow& r) { return r.keywords && (*r.keywords >> 63); },
       {}});
  const uint64_t mid_id = rows[rows.size() / 2].record_id;
  cases.push_back(
      {"record id >",
       select("*[System[EventRecordID>" + std::to_string(mid_id) + "]]"),
       [mid_id](const OracleRow& r) { return r.record_id > mid_id; },
       {}});

  std::vector<uint64_t> times;
  for (const OracleRow& r : rows) {
    if (r.ticks) times.push_back(*r.ticks);
  }
  if (times.size() >= 3) {
    std::sort(times.begin(), times.end());
    const uint64_t low3 = times[times.size() / 3] / 10000 * 10000;
    const uint64_t high3 = times[2 * times.size() / 3] / 10000 * 10000 + 10000;
    cases.push_back(
        {"time range .fff",
         select("*[System[TimeCreated[@SystemTime>='" + FormatTicks(low3, 3) +
                "' and @SystemTime<'" + FormatTicks(high3, 3) + "']]]"),
         [low3, high3](const OracleRow& r) {
           return r.ticks && *r.ticks >= low3 && *r.ticks < high3;
         },
         {low3, high3}});
    const uint64_t low9 = times[times.size() / 4];
    const uint64_t high9 = times[3 * times.size() / 4] + 10;
    cases.push_back(
        {"time range 9 digits",
         select("*[System[TimeCreated[@SystemTime>='" + FormatTicks(low9, 9) +
                "' and @SystemTime<'" + FormatTicks(high9, 9) + "']]]"),
         [low9, high9](const OracleRow& r) {
           return r.ticks && *r.ticks >= low9 && *r.ticks < high9;
         },
         {low9, high9}});
  }

  const OracleRow& mid = rows[rows.size() / 2];
  if (!mid.provider.empty() && mid.provider.find('\'') == std::string::npos) {
    const std::string p = Lower(mid.provider);
    cases.push_back({"provider (other case)",
                     select("*[System[Provider[@Name='" + p + "']]]"),
                     [p](const OracleRow& r) { return Lower(r.provider) == p; },
                     {}});
  }
  if (PlainValue(mid.channel)) {
    const std::string c = mid.channel;
    cases.push_back(
        {"channel",
         select("*[System[Channel='" + c + "']]"),
         [c](const OracleRow& r) { return Lower(r.channel) == Lower(c); },
         {}});
  }
  if (PlainValue(mid.computer)) {
    const std::string c = mid.computer;
    cases.push_back(
        {"computer and event id",
         select("*[System[Computer='" + c + "' and EventID=" + e1s + "]]"),
         [c, e1](const OracleRow& r) {
           return Lower(r.computer) == Lower(c) && r.event_id == e1;
         },
         {}});
  }
  // An EventData item that some records have, with a plain value. The other
  // reader lists a classic event's <Binary> among the data and prints
  // FILETIME values to the microsecond; neither compares with Data text.
  for (const OracleRow& r : rows) {
    auto it = std::find_if(r.data.begin(), r.data.end(), [](const auto& kv) {
      return kv.first != "Binary" && PlainValue(kv.first) &&
             PlainValue(kv.second) && !testing::ParseTicks(kv.second);
    });
    if (it == r.data.end()) continue;
    const std::string name = it->first, value = it->second;
    cases.push_back(
        {"EventData " + name,
         select("*[EventData[Data[@Name='" + name + "']='" + value + "']]"),
         [name, value](const OracleRow& row) {
           auto d = row.data.find(name);
           return d != row.data.end() && Lower(d->second) == Lower(value);
         },
         {}});
    break;
  }
  cases.push_back({"suppress",
                   open + "<Select>*</Select><Suppress>*[System[EventID=" +
                       e1s + "]]</Suppress>" + close,
                   [e1](const OracleRow& r) { return r.event_id != e1; },
                   {}});
  cases.push_back(
      {"two queries",
       "<QueryList><Query Id='0' Path='file://" + XmlEscape(path) +
           "'><Select>*[System[EventID=" + e1s +
           "]]</Select></Query>"
           "<Query Id='1' Path='file://" +
           XmlEscape(path) +
           "'><Select>*[System[Level=4]]</Select></Query></QueryList>",
       [e1](const OracleRow& r) { return r.event_id == e1 || r.level == 4u; },
       {}});
  return cases;
}

struct Tally {
  int files = 0;
  int files_disagreeing = 0;
  int cases = 0;
  int cases_ambiguous = 0;
  std::vector<std::string> faults;
};

void Check(Differential& service, const std::string& name,
           const std::string& path, std::vector<OracleRow> rows, Tally* t) {
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return a.record_number < b.record_number;
  });
  std::vector<uint64_t> all;
  uint32_t error = 0;
  if (!service.Run("<QueryList><Query Id='0' Path='file://" + XmlEscape(path) +
                       "'><Select>*</Select></Query></QueryList>",
                   &all, &error)) {
    t->faults.push_back(name + ": query failed with " + std::to_string(error));
    return;
  }
  ++t->files;
  // Where the readers recovered different records, the queries are
  // compared over the records both have.
  std::set<uint64_t> common;
  const bool disagree =
      all != Expected(rows, [](const OracleRow&) { return true; });
  if (disagree) {
    ++t->files_disagreeing;
    std::cout << "  readers disagree on " << name << ": " << all.size()
              << " records here, " << rows.size()
              << " expected; compared over the common ones\n";
    const std::set<uint64_t> here(all.begin(), all.end());
    std::vector<OracleRow> kept;
    for (OracleRow& r : rows) {
      if (here.count(r.record_id) != 0) {
        common.insert(r.record_id);
        kept.push_back(std::move(r));
      }
    }
    rows = std::move(kept);
  }
  for (const Case& c : CasesFor(path, rows)) {
    if (std::any_of(c.time_bounds.begin(), c.time_bounds.end(),
                    [&](uint64_t b) { return Ambiguous(rows, b); })) {
      ++t->cases_ambiguous;
      continue;
    }
    ++t->cases;
    std::vector<uint64_t> got;
    const bool ran = service.Run(c.query, &got, &error);
    if (disagree) {
      std::erase_if(got, [&](uint64_t id) { return common.count(id) == 0; });
    }
    if (!ran) {
      t->faults.push_back(name + " / " + c.name + ": query failed with " +
                          std::to_string(error) + ": " + c.query);
      continue;
    }
    std::vector<uint64_t> want = Expected(rows, c.expect);
    if (disagree) {
      // The readers do not agree on the order of such a file either.
      std::sort(got.begin(), got.end());
      std::sort(want.begin(), want.end());
    }
    if (got != want)
      t->faults.push_back(name + " / " + c.name + ": " +
                          std::to_string(got.size()) + " selected, " +
                          std::to_string(want.size()) +
                          " expected: " + c.query);
  }
}

TEST(QueryDifferentialTest, CorpusFilesAgreeWithTheIndependentValues) {
  const std::filesystem::path root = testing::CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  Differential service;
  Tally tally;
  for (const auto& file : testing::CorpusEvtxFiles()) {
    std::vector<OracleRow> rows;
    if (!testing::ReadCorpusOracle(root, file, &rows)) continue;
    Check(service, file.lexically_relative(root).string(), file.string(),
          std::move(rows), &tally);
  }
  std::cout << tally.files << " files, " << tally.files_disagreeing
            << " where the readers disagree on the records; " << tally.cases
            << " queries compared, " << tally.cases_ambiguous
            << " left out for sub-microsecond time bounds\n";
  for (size_t i = 0; i < tally.faults.size() && i < 25; ++i)
    ADD_FAILURE() << tally.faults[i];
  EXPECT_TRUE(tally.faults.empty()) << tally.faults.size() << " disagreements";
  EXPECT_GT(tally.cases, 1000);
}

// The same comparison over a log the project's writer made, with the events
// it was given as the expected values.
TEST(QueryDifferentialTest, WriterLogAgreesWithItsEvents) {
  testing::TempFolder dir;
  std::vector<evtx::WriterEvent> events;
  std::vector<OracleRow> rows;
  for (uint64_t i = 1; i <= 700; ++i) {
    const uint16_t id = static_cast<uint16_t>(4620 + i % 7);
    const uint8_t level = static_cast<uint8_t>(i % 5);
    const uint64_t keywords =
        i % 3 ? 0x8020000000000000ull : 0x8010000000000000ull;
    evtx::WriterEvent e = testing::FixtureEvent(
        i, id, static_cast<uint32_t>(i * 7), level, keywords, "Security",
        i % 4 ? "Microsoft-Windows-Security-Auditing" : "Other-Provider");
    // Sub-second times, down to 100 ns.
    e.time_created += (i * 1234567) % 10000000;
    events.push_back(e);
    OracleRow r;
    r.record_number = i;
    r.record_id = i;
    r.provider = e.provider_name;
    r.event_id = id;
    r.level = level;
    r.keywords = keywords;
    r.ticks = e.time_created;
    r.channel = e.channel;
    r.computer = e.computer;
    r.data["TargetUserName"] = "user" + std::to_string(i % 4);
    rows.push_back(r);
  }
  const std::filesystem::path file = dir.path() / "writer.evtx";
  testing::WriteLog(file, events);
  Differential service;
  Tally tally;
  Check(service, "writer.evtx", file.string(), rows, &tally);
  for (const std::string& f : tally.faults) ADD_FAILURE() << f;
  EXPECT_EQ(tally.files_disagreeing, 0);
  EXPECT_EQ(tally.cases_ambiguous, 0);
  EXPECT_GE(tally.cases, 15);
}

}  // namespace
}  // namespace qrv::offline
