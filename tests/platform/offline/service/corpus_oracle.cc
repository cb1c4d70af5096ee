// Reading the corpus's expected values, and the service they are compared
// with; see corpus_oracle.h.
#include "tests/platform/offline/service/corpus_oracle.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "formats/utf16.h"

namespace qrv::offline::testing {

namespace {

std::optional<uint64_t> Number(const std::string& text, int base) {
  if (text.empty()) return std::nullopt;
  size_t used = 0;
  try {
    const uint64_t v = std::stoull(text, &used, base);
    if (used != text.size()) return std::nullopt;
    return v;
  } catch (...) {
    return std::nullopt;
  }
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The named items of one record's EventData, and the leaves of the element
// below its UserData.
struct RecordItems {
  std::map<std::string, std::string> data;
  std::map<std::string, std::string> user;
};

// Just enough JSON for the expected EventData files: an array of objects
// {"num": n, "EventData": {name: value, ...} | null,
//  "UserData": {element: {name: value, ...}} | null, ...}. Values other
// than strings are skipped.
class Json {
 public:
  explicit Json(std::string text) : s_(std::move(text)) {}

  void Read(std::map<uint64_t, RecordItems>* out) {
    Skip();
    if (!Eat('[')) return;
    while (Skip(), pos_ < s_.size() && s_[pos_] != ']') {
      uint64_t num = 0;
      RecordItems items;
      if (!Eat('{')) return;
      while (Skip(), pos_ < s_.size() && s_[pos_] != '}') {
        std::string key;
        if (!String(&key) || (Skip(), !Eat(':'))) return;
        Skip();
        if (key == "num") {
          std::string n;
          while (pos_ < s_.size() &&
                 std::isdigit(static_cast<unsigned char>(s_[pos_])))
            n += s_[pos_++];
          num = Number(n, 10).value_or(0);
        } else if (key == "EventData" && Peek() == '{') {
          if (!Strings(&items.data)) return;
        } else if (key == "UserData" && Peek() == '{') {
          ++pos_;
          while (Skip(), pos_ < s_.size() && s_[pos_] != '}') {
            std::string element;
            if (!String(&element) || (Skip(), !Eat(':'))) return;
            Skip();
            if (Peek() == '{') {
              if (!Strings(&items.user)) return;
            } else if (!SkipValue()) {
              return;
            }
            Skip();
            Eat(',');
          }
          Eat('}');
        } else if (!SkipValue()) {
          return;
        }
        Skip();
        Eat(',');
      }
      Eat('}');
      (*out)[num] = std::move(items);
      Skip();
      Eat(',');
    }
  }

 private:
  // The string members of an object, the others skipped.
  bool Strings(std::map<std::string, std::string>* out) {
    ++pos_;  // '{'
    while (Skip(), pos_ < s_.size() && s_[pos_] != '}') {
      std::string name, value;
      if (!String(&name) || (Skip(), !Eat(':'))) return false;
      Skip();
      if (Peek() == '"') {
        if (!String(&value)) return false;
        (*out)[name] = value;
      } else if (!SkipValue()) {
        return false;
      }
      Skip();
      Eat(',');
    }
    return Eat('}');
  }
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  void Skip() {
    while (pos_ < s_.size() &&
           std::isspace(static_cast<unsigned char>(s_[pos_])))
      ++pos_;
  }
  bool String(std::string* out) {
    if (!Eat('"')) return false;
    while (pos_ < s_.size() && s_[pos_] != '"') {
      char c = s_[pos_++];
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (pos_ >= s_.size()) return false;
      c = s_[pos_++];
      if (c == 'u') {
        if (pos_ + 4 > s_.size()) return false;
        const uint32_t cp =
            static_cast<uint32_t>(std::stoul(s_.substr(pos_, 4), nullptr, 16));
        pos_ += 4;
        // Non-ASCII values are not used by the tests; keep a marker.
        out->push_back(cp < 0x80 ? static_cast<char>(cp) : '\x01');
      } else {
        out->push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c);
      }
    }
    return Eat('"');
  }
  // Skips one value, nested containers included (counted, not recursed),
  // up to the ',' or closing bracket that follows it.
  bool SkipValue() {
    int depth = 0;
    std::string ignored;
    for (;;) {
      Skip();
      const char c = Peek();
      if (c == '\0') return false;
      if (c == '"') {
        if (!String(&ignored)) return false;
      } else if (c == '{' || c == '[') {
        ++depth;
        ++pos_;
      } else if (c == '}' || c == ']' || c == ',') {
        if (depth == 0) return true;
        if (c != ',') --depth;
        ++pos_;
      } else {
        ++pos_;  // a number or literal character, or ':'
      }
    }
  }

  std::string s_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<uint64_t> ParseTicks(const std::string& t, uint64_t* precision) {
  int y, mo, d, h, mi, s;
  char tail[32] = {};
  if (t.size() < 20 || std::sscanf(t.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%31s", &y,
                                   &mo, &d, &h, &mi, &s, tail) < 6)
    return std::nullopt;
  uint64_t fraction = 0;
  uint64_t unit = 10000000;
  std::string rest = tail;
  size_t i = 0;
  if (!rest.empty() && rest[0] == '.') {
    for (i = 1;
         i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]));
         ++i) {
      if (i <= 7) {
        fraction = fraction * 10 + static_cast<uint64_t>(rest[i] - '0');
        unit /= 10;
      }
    }
    for (size_t k = i; k <= 7; ++k) fraction *= 10;
  }
  if (precision != nullptr) *precision = unit == 0 ? 1 : unit;
  const int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo),
                                     static_cast<unsigned>(d)) +
                       134774;  // 1601-01-01 .. 1970-01-01
  const int64_t seconds = days * 86400 + h * 3600 + mi * 60 + s;
  return static_cast<uint64_t>(seconds) * 10000000ull + fraction;
}

bool ReadOracle(const std::filesystem::path& tsv,
                const std::filesystem::path& json,
                std::vector<OracleRow>* rows) {
  std::ifstream in(tsv);
  if (!in) return false;
  std::map<uint64_t, RecordItems> data;
  {
    std::ifstream j(json);
    if (j) Json(std::string(std::istreambuf_iterator<char>(j), {})).Read(&data);
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::string field;
    std::istringstream split(line);
    while (std::getline(split, field, '\t')) f.push_back(field);
    f.resize(9);
    OracleRow row;
    row.record_number = Number(f[0], 10).value_or(0);
    row.record_id = Number(f[1], 10).value_or(0);
    row.provider = f[2];
    row.event_id = Number(f[3], 10);
    row.level = Number(f[4], 10);
    row.keywords = Number(f[5], 16);
    row.ticks = ParseTicks(f[6], &row.time_precision);
    row.channel = f[7];
    row.computer = f[8];
    auto it = data.find(row.record_number);
    if (it != data.end()) {
      row.data = it->second.data;
      row.user_data = it->second.user;
    }
    rows->push_back(std::move(row));
  }
  return true;
}

bool ReadCorpusOracle(const std::filesystem::path& root,
                      const std::filesystem::path& file,
                      std::vector<OracleRow>* rows) {
  const std::filesystem::path relative = file.lexically_relative(root);
  std::filesystem::path tsv = root / "expected" / relative;
  tsv.replace_extension(".tsv");
  std::filesystem::path json = root / "expected-eventdata" / relative;
  json.replace_extension(".json");
  return ReadOracle(tsv, json, rows);
}

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string XmlEscape(const std::string& text, bool quote) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '\'' && quote)
      out += "&apos;";
    else
      out += c;
  }
  return out;
}

ServiceQuery::ServiceQuery(QuerySources sources)
    : catalog_(fake_.registry,
               [](std::string_view) { return std::optional<std::string>(); },
               loader_),
      log_(std::move(sources), fake_.system, catalog_) {}

bool ServiceQuery::Run(
    const std::string& query,
    const std::function<void(const EvtVariant* system)>& selected,
    uint32_t* error) {
  const std::u16string wide = text::Utf8ToUtf16(query);
  EvtHandle q = log_.EvtQuery(nullptr, nullptr, wide.c_str(), 0x101);
  if (q == nullptr) {
    *error = fake_.system.GetLastError();
    return false;
  }
  EvtHandle context = log_.EvtCreateRenderContext(0, nullptr, 1);
  EvtHandle batch[100];
  uint32_t n = 0;
  std::vector<EvtVariant> buffer;
  while (log_.EvtNext(q, 100, batch, 1000, 0, &n)) {
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t used = 0, count = 0;
      log_.EvtRender(context, batch[i], 0, 0, nullptr, &used, &count);
      buffer.resize(used / sizeof(EvtVariant) + 1);
      log_.EvtRender(context, batch[i], 0, used, buffer.data(), &used, &count);
      selected(buffer.data());
      log_.EvtClose(batch[i]);
    }
  }
  log_.EvtClose(context);
  log_.EvtClose(q);
  EXPECT_EQ(log_.open_handles(), 0u);
  return true;
}

}  // namespace qrv::offline::testing
