// Queries as people write them (tests/data/query_forms.txt) run through the
// offline service over a bare folder of logs, against a plain evaluation of
// each case's expected condition over independent values:
//   - the shared corpus's real logs as one folder, with the values of the
//     corpus's other reader (corpus_oracle.h); files whose records that
//     reader saw differently are left out of the folder, and counted;
//   - a folder of writer-made logs (one of them an export holding three
//     channels), with the events the writer was given as the values; it
//     also carries Task and UserID, which the corpus's values lack.
// A record belongs to the channel its own Channel names (or, naming none,
// to that of its file's first record that names one). Results are compared
// as multisets of (EventRecordID, TimeCreated to the microsecond).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "tests/platform/offline/image/image_test_util.h"
#include "tests/platform/offline/service/corpus_files.h"
#include "tests/platform/offline/service/corpus_oracle.h"
#include "tests/platform/offline/service/service_fixtures.h"

namespace qrv::offline {
namespace {

using testing::Lower;
using testing::OracleRow;
using testing::XmlEscape;

// ---- The cases and their conditions.

struct Atom {
  bool negate = false;
  std::string field;  // "id", "data", ...
  std::string name;   // after "data:" / "user:"
  std::string op;     // "" for existence
  std::string value;
};

struct Expect {
  std::string channel;
  std::vector<std::vector<Atom>> any;  // alternatives of conjunctions
};

struct FormCase {
  std::string name;
  std::string query;
  std::vector<Expect> expects;
};

Atom ParseAtom(std::string text) {
  Atom atom;
  if (!text.empty() && text[0] == '!') {
    atom.negate = true;
    text.erase(0, 1);
  }
  const size_t op = text.find_first_of("=!<>&");
  atom.field = text.substr(0, op);
  const size_t colon = atom.field.find(':');
  if (colon != std::string::npos) {
    atom.name = atom.field.substr(colon + 1);
    atom.field.resize(colon);
  }
  if (op == std::string::npos) return atom;
  const bool two =
      op + 1 < text.size() && text[op + 1] == '=' && text[op] != '=';
  atom.op = text.substr(op, two ? 2 : 1);
  atom.value = text.substr(op + atom.op.size());
  return atom;
}

std::vector<std::string> Split(const std::string& text,
                               const std::string& sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(sep, start)) != std::string::npos;
       start = at + sep.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

std::vector<FormCase> ReadCases(const std::filesystem::path& file) {
  std::vector<FormCase> cases;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    const std::string kind = line.substr(0, tab);
    const std::string rest =
        tab == std::string::npos ? "" : line.substr(tab + 1);
    if (kind == "case") {
      cases.push_back({rest, "", {}});
    } else if (!cases.empty() && kind == "query") {
      cases.back().query = rest;
    } else if (!cases.empty() && kind == "expect") {
      const size_t sep = rest.find('\t');
      Expect e{rest.substr(0, sep), {}};
      for (const std::string& alternative :
           Split(rest.substr(sep + 1), " | ")) {
        e.any.emplace_back();
        for (const std::string& atom : Split(alternative, " & "))
          e.any.back().push_back(ParseAtom(atom));
      }
      cases.back().expects.push_back(std::move(e));
    } else {
      ADD_FAILURE() << "unreadable line: " << line;
    }
  }
  return cases;
}

// ---- A plain evaluation of the conditions over OracleRows.

enum class Truth { kFalse, kTrue, kUnknown };

Truth Of(bool b) { return b ? Truth::kTrue : Truth::kFalse; }

bool CompareNumbers(uint64_t a, const std::string& op, uint64_t b) {
  if (op == "=") return a == b;
  if (op == "!=") return a != b;
  if (op == "<") return a < b;
  if (op == "<=") return a <= b;
  if (op == ">") return a > b;
  if (op == ">=") return a >= b;
  ADD_FAILURE() << "operator " << op;
  return false;
}

Truth Text(const std::map<std::string, std::string>& items, const Atom& a) {
  const auto it = items.find(a.name);
  if (it == items.end()) return Truth::kFalse;
  if (a.op.empty()) return Truth::kTrue;
  const bool same = Lower(it->second) == Lower(a.value);
  return Of(a.op == "=" ? same : !same);
}

Truth EvalAtom(const OracleRow& r, const Atom& a) {
  if (a.field == "all") return Truth::kTrue;
  if (a.field == "id" || a.field == "level" || a.field == "task") {
    const std::optional<uint64_t>& v = a.field == "id"      ? r.event_id
                                       : a.field == "level" ? r.level
                                                            : r.task;
    if (a.field == "task" && !v) return Truth::kUnknown;
    return Of(v && CompareNumbers(*v, a.op, std::stoull(a.value)));
  }
  if (a.field == "provider") return Of(Lower(r.provider) == Lower(a.value));
  if (a.field == "kw")
    return Of(r.keywords &&
              (*r.keywords & std::stoull(a.value, nullptr, 16)) != 0);
  if (a.field == "time") {
    const std::optional<uint64_t> bound = testing::ParseTicks(a.value);
    if (!r.ticks || !bound) return Truth::kFalse;
    // The printed time stands for [ticks, ticks + precision).
    const bool low = CompareNumbers(*r.ticks, a.op, *bound);
    const bool high =
        CompareNumbers(*r.ticks + r.time_precision - 1, a.op, *bound);
    return low == high ? Of(low) : Truth::kUnknown;
  }
  if (a.field == "data" && a.name.empty()) {
    return Of(std::any_of(r.data.begin(), r.data.end(), [&](const auto& kv) {
      return Lower(kv.second) == Lower(a.value);
    }));
  }
  if (a.field == "data") return Text(r.data, a);
  if (a.field == "user") return Text(r.user_data, a);
  if (a.field == "userid") {
    if (!r.user_id) return Truth::kUnknown;
    return Of(Lower(*r.user_id) == Lower(a.value));
  }
  ADD_FAILURE() << "unknown field " << a.field;
  return Truth::kFalse;
}

Truth EvalAll(const OracleRow& r, const std::vector<Atom>& atoms) {
  Truth t = Truth::kTrue;
  for (const Atom& a : atoms) {
    Truth v = EvalAtom(r, a);
    if (a.negate && v != Truth::kUnknown) v = Of(v == Truth::kFalse);
    if (v == Truth::kFalse) return Truth::kFalse;
    if (v == Truth::kUnknown) t = Truth::kUnknown;
  }
  return t;
}

// A record of the folder: its values and the channel it belongs to.
struct FolderRow {
  OracleRow row;
  std::string channel;
};

using Key = std::pair<uint64_t, uint64_t>;  // EventRecordID, microseconds

// The expected keys, sorted; nullopt when some record's truth is unknown.
std::optional<std::vector<Key>> Expected(const FormCase& c,
                                         const std::vector<FolderRow>& rows) {
  std::vector<Key> keys;
  for (const FolderRow& f : rows) {
    Truth any = Truth::kFalse;
    for (const Expect& e : c.expects) {
      if (Lower(e.channel) != Lower(f.channel)) continue;
      for (const auto& alternative : e.any) {
        const Truth t = EvalAll(f.row, alternative);
        if (t == Truth::kTrue) any = Truth::kTrue;
        if (t == Truth::kUnknown && any == Truth::kFalse) any = Truth::kUnknown;
      }
    }
    if (any == Truth::kUnknown) return std::nullopt;
    if (any == Truth::kTrue)
      keys.emplace_back(f.row.record_id, f.row.ticks.value_or(0) / 10);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

// ---- The service over a folder.

class FolderService {
 public:
  explicit FolderService(const std::filesystem::path& root)
      : image_(root, SummarizeEvtxFile),
        service_(QuerySources{[this](std::string_view name) {
                                return image_.LookupChannel(name);
                              },
                              root, nullptr}) {}

  // Keys of the selected events, sorted; false with *error when EvtQuery
  // fails.
  bool Run(const std::string& query, std::vector<Key>* keys, uint32_t* error) {
    if (!service_.Run(
            query,
            [keys](const EvtVariant* system) {
              keys->emplace_back(
                  system[kEvtSystemEventRecordId].uint64_val,
                  system[kEvtSystemTimeCreated].filetime_val / 10);
            },
            error))
      return false;
    std::sort(keys->begin(), keys->end());
    return true;
  }

 private:
  Image image_;
  testing::ServiceQuery service_;
};

struct Tally {
  std::set<std::string> compared;  // case names
  int runs = 0;
  std::vector<std::string> faults;
};

// Runs every case over the folder; a case whose expectation the values
// cannot decide, or whose channel the folder lacks, is not compared here.
void RunCases(const std::string& label, const std::vector<FormCase>& cases,
              const std::filesystem::path& folder,
              const std::vector<FolderRow>& rows, Tally* tally) {
  FolderService service(folder);
  int compared = 0, selecting = 0;
  for (const FormCase& c : cases) {
    const std::optional<std::vector<Key>> want = Expected(c, rows);
    if (!want) continue;
    std::vector<Key> got;
    uint32_t error = 0;
    if (!service.Run(c.query, &got, &error)) {
      if (error == kErrorEvtChannelNotFound) continue;
      tally->faults.push_back(label + " / " + c.name + ": query failed with " +
                              std::to_string(error));
      continue;
    }
    ++compared;
    if (!want->empty()) ++selecting;
    tally->compared.insert(c.name);
    if (got != *want)
      tally->faults.push_back(label + " / " + c.name + ": " +
                              std::to_string(got.size()) + " selected, " +
                              std::to_string(want->size()) + " expected");
  }
  std::cout << label << ": " << rows.size() << " records, " << compared
            << " of " << cases.size() << " cases compared, " << selecting
            << " of them selecting records\n";
  ++tally->runs;
}

std::vector<FormCase> Cases() {
  const std::vector<FormCase> cases =
      ReadCases(std::filesystem::path(QRV_TEST_DATA_DIR) / "query_forms.txt");
  EXPECT_GE(cases.size(), 25u);
  for (const FormCase& c : cases) {
    EXPECT_FALSE(c.query.empty()) << c.name;
    EXPECT_FALSE(c.expects.empty()) << c.name;
  }
  return cases;
}

// The channel of each record: its own, or its file's first one.
void AddFileRows(std::vector<OracleRow> rows, std::vector<FolderRow>* out) {
  std::string home;
  for (const OracleRow& r : rows) {
    if (!r.channel.empty()) {
      home = r.channel;
      break;
    }
  }
  for (OracleRow& r : rows) {
    const std::string channel = r.channel.empty() ? home : r.channel;
    out->push_back({std::move(r), channel});
  }
}

TEST(QueryFormsDifferentialTest,
     CorpusAsAFolderAgreesWithTheIndependentValues) {
  const std::filesystem::path root = testing::CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "no corpus under " << QRV_SHARED_DIR;
  const std::vector<FormCase> cases = Cases();
  testing::TempFolder folder;
  std::vector<FolderRow> rows;
  int linked = 0, left_out = 0;
  FolderService alone(root);
  for (const auto& file : testing::CorpusEvtxFiles()) {
    const std::filesystem::path relative = file.lexically_relative(root);
    std::vector<OracleRow> file_rows;
    if (!testing::ReadCorpusOracle(root, file, &file_rows) ||
        file_rows.empty())
      continue;
    // Only files whose records both readers see alike (the same records,
    // the same times) and that name a channel.
    std::vector<Key> all, want;
    uint32_t error = 0;
    const bool ran = alone.Run("<QueryList><Query Id='0' Path='file://" +
                                   XmlEscape(file.string(), true) +
                                   "'><Select>*</Select></Query></QueryList>",
                               &all, &error);
    for (const OracleRow& r : file_rows)
      want.emplace_back(r.record_id, r.ticks.value_or(0) / 10);
    std::sort(want.begin(), want.end());
    const bool named =
        std::any_of(file_rows.begin(), file_rows.end(),
                    [](const OracleRow& r) { return !r.channel.empty(); });
    if (!ran || all != want || !named) {
      ++left_out;
      std::cout << "  left out " << relative.string() << ": "
                << (!ran     ? "the query failed"
                    : !named ? "no record names a channel"
                             : "the readers see its records differently")
                << "\n";
      continue;
    }
    std::filesystem::create_symlink(
        file, folder.path() /
                  (std::to_string(linked++) + "-" + file.filename().string()));
    AddFileRows(std::move(file_rows), &rows);
  }
  std::cout << linked << " corpus files in the folder, " << left_out
            << " left out\n";
  Tally tally;
  RunCases("corpus folder", cases, folder.path(), rows, &tally);
  for (const std::string& f : tally.faults) ADD_FAILURE() << f;
  EXPECT_GE(tally.compared.size(), cases.size() - 3);
}

// Writer-made logs with every value known, Task and UserID included; the
// export holds Security, System and Sysmon records after a Security one.
TEST(QueryFormsDifferentialTest, WriterFolderAgreesWithItsEvents) {
  const std::vector<FormCase> cases = Cases();
  testing::TempFolder folder;
  const uint16_t kIds[] = {4624, 4625, 4648, 4662, 4672, 4688,
                           7036, 7045, 1,    3,    11,   4627};
  std::map<std::string, std::vector<evtx::WriterEvent>> files;
  std::vector<FolderRow> rows;
  for (uint64_t i = 1; i <= 360; ++i) {
    const uint16_t id = kIds[i % std::size(kIds)];
    const bool system = id == 7036 || id == 7045;
    const bool sysmon = id < 100;
    const std::string channel = system ? "System"
                                : sysmon
                                    ? "Microsoft-Windows-Sysmon/Operational"
                                    : "Security";
    evtx::WriterEvent e = testing::FixtureEvent(
        i, id, static_cast<uint32_t>(i * 7), static_cast<uint8_t>(i % 5),
        i % 3 ? 0x8020000000000000ull : 0x8010000000000000ull, channel,
        system   ? "Service Control Manager"
        : sysmon ? "Microsoft-Windows-Sysmon"
                 : "Microsoft-Windows-Security-Auditing");
    e.task = i % 2 ? 14080 : 12544;
    e.user_sid = i % 3 == 0   ? "S-1-5-18"
                 : i % 3 == 1 ? "S-1-5-21-1-2-3-1001"
                              : "";
    const std::string subject = i % 5 ? "alice" : "SYSTEM";
    const std::string process = i % 6 ? "C:\\Windows\\explorer.exe"
                                      : "C:\\Windows\\System32\\taskhost.exe";
    e.event_data.push_back(
        {"SubjectUserName", evtx::WriterValue::String(subject)});
    e.event_data.push_back({"ProcessName", evtx::WriterValue::String(process)});
    e.time_created += (i * 1234567) % 10000000;  // sub-second, down to 100 ns
    OracleRow r;
    r.record_id = i;
    r.provider = e.provider_name;
    r.event_id = id;
    r.level = e.level;
    r.task = e.task;
    r.keywords = e.keywords;
    r.ticks = e.time_created / 10 * 10;
    r.time_precision = 10;
    r.channel = channel;
    r.user_id = e.user_sid;
    r.data = {{"TargetUserName", "user" + std::to_string(i % 4)},
              {"SubjectUserName", subject},
              {"ProcessName", process}};
    rows.push_back({r, channel});
    const std::string file = i > 240 || i == 1 ? "export.evtx"
                             : system          ? "System.evtx"
                             : sysmon
                                 ? "Microsoft-Windows-Sysmon%4Operational.evtx"
                                 : "Security.evtx";
    files[file].push_back(std::move(e));
  }
  ASSERT_EQ(files["export.evtx"].front().channel, "Security");
  for (const auto& [name, events] : files)
    testing::WriteLog(folder.path() / name, events);
  Tally tally;
  RunCases("writer folder", cases, folder.path(), rows, &tally);
  for (const std::string& f : tally.faults) ADD_FAILURE() << f;
  // Task and UserID are decided here.
  for (const char* name :
       {"Top-level `and` of two System paths: directory-service access "
        "(forwarding subscription)",
        "Security[@UserID=...]: events logged as LocalSystem (how-to)"}) {
    EXPECT_EQ(tally.compared.count(name), 1u) << name;
  }
  EXPECT_GE(tally.compared.size(), 15u);
}

}  // namespace
}  // namespace qrv::offline
