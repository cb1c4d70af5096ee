// Strict XML reader for structured event queries: ParseXml() is the only
// entry point. One forward pass with an explicit stack of open elements, so
// nesting in the input never deepens the call stack.
#include "formats/xpath/xml_reader.h"

#include "formats/utf8.h"

namespace xpath {
namespace {

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         c == ':' || u >= 0x80;
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// XML 1.0 Char production.
bool IsXmlChar(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

class Reader {
 public:
  Reader(std::string_view in, XmlDocument* doc) : in_(in), doc_(doc) {}

  bool Run();
  const std::string& error() const { return error_; }
  size_t error_offset() const { return pos_; }

 private:
  bool Fail(std::string_view what) {
    error_ = std::string(what);
    return false;
  }
  // Fail at `offset` rather than where reading stands.
  bool FailAt(size_t offset, std::string_view what) {
    pos_ = offset;
    return Fail(what);
  }
  bool AtEnd() const { return pos_ >= in_.size(); }
  bool StartsWith(std::string_view s) const {
    return in_.substr(pos_, s.size()) == s;
  }
  void SkipSpace() {
    while (!AtEnd() && IsXmlSpace(in_[pos_])) ++pos_;
  }
  bool ReadName(std::string* name);
  bool ReadReference(std::string* out);
  bool ReadAttributeValue(std::string* out);
  bool ReadComment();
  bool ReadXmlDeclaration();
  bool ReadStartTag();
  bool ReadEndTag();
  bool ReadCData();
  bool ReadText();

  std::string_view in_;
  size_t pos_ = 0;
  XmlDocument* doc_;
  std::vector<uint32_t> open_;  // indices of the elements not yet closed
  bool root_done_ = false;
  std::string error_;
};

bool Reader::ReadName(std::string* name) {
  if (AtEnd() || !IsNameStart(in_[pos_])) return Fail("expected a name");
  const size_t start = pos_;
  while (!AtEnd() && IsNameChar(in_[pos_])) ++pos_;
  name->assign(in_.substr(start, pos_ - start));
  return true;
}

// At '&': decodes one entity or character reference into `out`.
bool Reader::ReadReference(std::string* out) {
  const size_t semi = in_.find(';', pos_);
  if (semi == std::string_view::npos || semi - pos_ > 12) {
    return Fail("'&' must be written '&amp;' unless it starts a reference "
                "such as '&lt;'");
  }
  const std::string_view ref = in_.substr(pos_ + 1, semi - pos_ - 1);
  if (ref.size() >= 2 && ref[0] == '#') {
    uint32_t cp = 0;
    const bool hex = ref[1] == 'x';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty()) return Fail("empty character reference");
    for (const char c : digits) {
      uint32_t d;
      if (c >= '0' && c <= '9') {
        d = static_cast<uint32_t>(c - '0');
      } else if (hex && c >= 'a' && c <= 'f') {
        d = static_cast<uint32_t>(c - 'a' + 10);
      } else if (hex && c >= 'A' && c <= 'F') {
        d = static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return Fail("bad character reference");
      }
      cp = cp * (hex ? 16 : 10) + d;
      if (cp > 0x10FFFF) return Fail("character reference out of range");
    }
    if (!IsXmlChar(cp)) return Fail("character reference to a non-character");
    utf8::Append(cp, out);
  } else if (ref == "lt") {
    out->push_back('<');
  } else if (ref == "gt") {
    out->push_back('>');
  } else if (ref == "amp") {
    out->push_back('&');
  } else if (ref == "apos") {
    out->push_back('\'');
  } else if (ref == "quot") {
    out->push_back('"');
  } else {
    return Fail("unknown entity");
  }
  pos_ = semi + 1;
  return true;
}

bool Reader::ReadAttributeValue(std::string* out) {
  if (AtEnd() || (in_[pos_] != '\'' && in_[pos_] != '"')) {
    return Fail("attribute value must be quoted");
  }
  const char quote = in_[pos_++];
  while (true) {
    if (AtEnd()) return Fail("unterminated attribute value");
    const char c = in_[pos_];
    if (c == quote) {
      ++pos_;
      return true;
    }
    if (c == '<') return Fail("'<' must be written '&lt;' in an attribute value");
    if (c == '&') {
      if (!ReadReference(out)) return false;
      continue;
    }
    // Attribute-value normalisation: literal white space becomes a space.
    out->push_back(IsXmlSpace(c) ? ' ' : c);
    ++pos_;
  }
}

bool Reader::ReadComment() {
  pos_ += 4;  // "<!--"
  const size_t end = in_.find("--", pos_);
  if (end == std::string_view::npos) return Fail("unterminated comment");
  if (end + 2 >= in_.size() || in_[end + 2] != '>') {
    return Fail("'--' inside a comment");
  }
  pos_ = end + 3;
  return true;
}

bool Reader::ReadXmlDeclaration() {
  pos_ += 5;  // "<?xml"
  if (AtEnd() || !IsXmlSpace(in_[pos_])) return Fail("bad XML declaration");
  const size_t end = in_.find("?>", pos_);
  if (end == std::string_view::npos) return Fail("unterminated declaration");
  if (in_.substr(pos_, end - pos_).find("version") == std::string_view::npos) {
    return Fail("XML declaration without version");
  }
  pos_ = end + 2;
  return true;
}

bool Reader::ReadStartTag() {
  if (root_done_) return Fail("content after the document element");
  if (open_.size() >= kMaxXmlDepth) return Fail("elements nested too deeply");
  const size_t start = pos_;
  ++pos_;  // '<'
  // A comparison pasted into an element's text ("Level<=2") reads as a tag.
  if (!open_.empty() && (AtEnd() || !IsNameStart(in_[pos_]))) {
    return FailAt(start, "'<' must be written '&lt;' inside a " +
                             doc_->elements[open_.back()].name);
  }
  XmlElement element;
  element.offset = start;
  if (!ReadName(&element.name)) return false;
  while (true) {
    const size_t before_space = pos_;
    SkipSpace();
    if (AtEnd()) return Fail("unterminated start tag");
    if (in_[pos_] == '>' || StartsWith("/>")) break;
    if (pos_ == before_space) return Fail("attributes must be separated");
    std::string name;
    std::string value;
    if (!ReadName(&name)) return false;
    SkipSpace();
    if (AtEnd() || in_[pos_] != '=') return Fail("expected '='");
    ++pos_;
    SkipSpace();
    if (!ReadAttributeValue(&value)) return false;
    for (const auto& attribute : element.attributes) {
      if (attribute.first == name) return Fail("duplicate attribute");
    }
    element.attributes.emplace_back(std::move(name), std::move(value));
  }
  const bool empty = in_[pos_] == '/';
  pos_ += empty ? 2 : 1;
  element.content_offset = pos_;
  const auto index = static_cast<uint32_t>(doc_->elements.size());
  if (!open_.empty()) doc_->elements[open_.back()].children.push_back(index);
  doc_->elements.push_back(std::move(element));
  if (empty) {
    root_done_ = open_.empty();
  } else {
    open_.push_back(index);
  }
  return true;
}

bool Reader::ReadEndTag() {
  const size_t start = pos_;
  pos_ += 2;  // "</"
  std::string name;
  if (!ReadName(&name)) return false;
  SkipSpace();
  if (AtEnd() || in_[pos_] != '>') return Fail("bad end tag");
  ++pos_;
  if (open_.empty()) return FailAt(start, "'</" + name + ">' closes no element");
  if (const std::string& open = doc_->elements[open_.back()].name; open != name) {
    return FailAt(start, "expected '</" + open + ">', found '</" + name + ">'");
  }
  open_.pop_back();
  root_done_ = open_.empty();
  return true;
}

bool Reader::ReadCData() {
  if (open_.empty()) return Fail("CDATA outside the document element");
  pos_ += 9;  // "<![CDATA["
  const size_t end = in_.find("]]>", pos_);
  if (end == std::string_view::npos) return Fail("unterminated CDATA");
  doc_->elements[open_.back()].text.append(in_.substr(pos_, end - pos_));
  pos_ = end + 3;
  return true;
}

bool Reader::ReadText() {
  std::string* text = open_.empty() ? nullptr : &doc_->elements[open_.back()].text;
  while (!AtEnd() && in_[pos_] != '<') {
    const char c = in_[pos_];
    if (text == nullptr && !IsXmlSpace(c)) {
      return Fail("text outside the document element");
    }
    if (c == '&') {
      if (!ReadReference(text)) return false;
      continue;
    }
    if (c == '>' && pos_ >= 2 && in_.substr(pos_ - 2, 2) == "]]") {
      return Fail("']]>' in text");
    }
    if (text != nullptr) text->push_back(c);
    ++pos_;
  }
  return true;
}

bool Reader::Run() {
  for (const char c : in_) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && !IsXmlSpace(c)) {
      pos_ = static_cast<size_t>(&c - in_.data());
      return Fail("control character");
    }
  }
  if (StartsWith("\xEF\xBB\xBF")) pos_ = 3;
  if (StartsWith("<?xml") && !ReadXmlDeclaration()) return false;
  while (!AtEnd()) {
    bool ok;
    if (in_[pos_] != '<') {
      ok = ReadText();
    } else if (StartsWith("<!--")) {
      ok = ReadComment();
    } else if (StartsWith("<![CDATA[")) {
      ok = ReadCData();
    } else if (StartsWith("</")) {
      ok = ReadEndTag();
    } else if (StartsWith("<?") || StartsWith("<!")) {
      ok = Fail("processing instructions and DOCTYPE are not supported");
    } else {
      ok = ReadStartTag();
    }
    if (!ok) return false;
  }
  if (doc_->elements.empty()) return Fail("no document element");
  if (!root_done_) {
    return Fail("expected '</" + doc_->elements[open_.back()].name +
                ">' before the end");
  }
  return true;
}

}  // namespace

bool ParseXml(std::string_view text, XmlDocument* doc, std::string* error,
              size_t* error_offset) {
  doc->elements.clear();
  Reader reader(text, doc);
  if (reader.Run()) return true;
  *error = reader.error();
  if (error_offset != nullptr) *error_offset = reader.error_offset();
  doc->elements.clear();
  return false;
}

}  // namespace xpath
