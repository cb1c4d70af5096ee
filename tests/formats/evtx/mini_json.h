// A small JSON reader for test oracles (the corpus's expected EventData).
// Numbers keep their text as written; strings are decoded to UTF-8. Test
// data only: it recurses on nesting and reports malformed input as null.
#ifndef QRV_TESTS_FORMATS_EVTX_MINI_JSON_H_
#define QRV_TESTS_FORMATS_EVTX_MINI_JSON_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace evtx::testing {

struct Json {
  enum class Kind {
    kNull,
    kBool,
    kNumber,
    kString,
    kArray,
    kObject
  } kind = Kind::kNull;
  std::string text;  // string value, number as written, "true"/"false"
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Find(std::string_view key) const {
    for (const auto& [k, v] : members) {
      if (k == key) return &v;
    }
    return nullptr;
  }
};

class JsonParser {
 public:
  explicit JsonParser(std::string_view s) : s_(s) {}
  Json Parse() {
    Json v = Value();
    return ok_ ? v : Json();
  }

 private:
  void Skip() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' ||
                              s_[i_] == '\r' || s_[i_] == '\t'))
      ++i_;
  }
  bool Eat(char c) {
    Skip();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  static void PutUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  uint32_t Hex4() {
    if (i_ + 4 > s_.size()) {
      ok_ = false;
      return 0;
    }
    const uint32_t v = static_cast<uint32_t>(
        std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16));
    i_ += 4;
    return v;
  }
  std::string String() {
    std::string out;
    ++i_;  // opening quote
    while (i_ < s_.size() && s_[i_] != '"') {
      const char c = s_[i_++];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) break;
      const char e = s_[i_++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'u': {
          uint32_t cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && i_ + 6 <= s_.size() &&
              s_[i_] == '\\' && s_[i_ + 1] == 'u') {
            i_ += 2;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
          }
          PutUtf8(cp, &out);
          break;
        }
        default:
          out.push_back(e);
          break;
      }
    }
    ++i_;  // closing quote
    return out;
  }
  Json Value() {
    Json v;
    Skip();
    if (i_ >= s_.size()) {
      ok_ = false;
      return v;
    }
    const char c = s_[i_];
    if (c == '{') {
      v.kind = Json::Kind::kObject;
      ++i_;
      if (Eat('}')) return v;
      do {
        Skip();
        if (i_ >= s_.size() || s_[i_] != '"') {
          ok_ = false;
          return v;
        }
        std::string key = String();
        if (!Eat(':')) ok_ = false;
        v.members.emplace_back(std::move(key), Value());
      } while (ok_ && Eat(','));
      if (!Eat('}')) ok_ = false;
    } else if (c == '[') {
      v.kind = Json::Kind::kArray;
      ++i_;
      if (Eat(']')) return v;
      do {
        v.items.push_back(Value());
      } while (ok_ && Eat(','));
      if (!Eat(']')) ok_ = false;
    } else if (c == '"') {
      v.kind = Json::Kind::kString;
      v.text = String();
    } else if (s_.substr(i_, 4) == "null") {
      i_ += 4;
    } else if (s_.substr(i_, 4) == "true" || s_.substr(i_, 5) == "false") {
      v.kind = Json::Kind::kBool;
      v.text = s_[i_] == 't' ? "true" : "false";
      i_ += v.text.size();
    } else {
      v.kind = Json::Kind::kNumber;
      const size_t start = i_;
      while (i_ < s_.size() &&
             std::string_view("+-.eE0123456789").find(s_[i_]) !=
                 std::string_view::npos)
        ++i_;
      v.text = std::string(s_.substr(start, i_ - start));
      if (v.text.empty()) ok_ = false;
    }
    return v;
  }

  std::string_view s_;
  size_t i_ = 0;
  bool ok_ = true;
};

}  // namespace evtx::testing

#endif  // QRV_TESTS_FORMATS_EVTX_MINI_JSON_H_
