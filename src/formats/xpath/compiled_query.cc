// CompiledQuery: reads the query form (QueryList document, bare XPath or
// `*`), resolves each item's path and compiles its XPath; then answers
// Matches()/QueryMatches() per event.
#include "formats/xpath/compiled_query.h"

#include <algorithm>
#include <charconv>

#include "formats/ascii.h"
#include "formats/event_names.h"
#include "formats/xpath/xml_reader.h"
#include "formats/xpath/xpath_parser.h"

namespace xpath {
namespace {

constexpr std::string_view kFilePrefix = "file://";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

using ascii::EqualsIgnoreCase;

bool IsNamespaceDeclaration(std::string_view name) {
  return name == "xmlns" || name.substr(0, 6) == "xmlns:";
}

bool OnlySpace(std::string_view s) { return Trim(s).empty(); }

const std::string* FindAttribute(const XmlElement& e, std::string_view name) {
  for (const auto& [key, value] : e.attributes) {
    if (key == name) return &value;
  }
  return nullptr;
}

// Every attribute of `e` must be in `allowed` or declare a namespace.
bool OnlyAttributes(const XmlElement& e,
                    std::initializer_list<std::string_view> allowed) {
  for (const auto& attribute : e.attributes) {
    bool known = IsNamespaceDeclaration(attribute.first);
    for (const std::string_view name : allowed) known = known || attribute.first == name;
    if (!known) return false;
  }
  return true;
}

std::optional<SourcePath> PathFromAttribute(std::string_view value) {
  value = Trim(value);
  SourcePath path;
  if (value.size() >= kFilePrefix.size() &&
      EqualsIgnoreCase(value.substr(0, kFilePrefix.size()), kFilePrefix)) {
    path.kind = PathKind::kFile;
    value.remove_prefix(kFilePrefix.size());
  }
  if (value.empty()) return std::nullopt;
  path.name = std::string(value);
  return path;
}

// xs:long: optional sign and decimal digits, surrounding white space allowed.
std::optional<int64_t> ParseId(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  int64_t v = 0;
  if (s.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// The UTF-8 length of the character a reference the reader accepted stands
// for ("&lt;", "&#x20AC;").
size_t ReferenceLength(std::string_view reference) {
  if (reference.size() < 2 || reference[0] != '#') return 1;
  const bool hex = reference[1] == 'x';
  uint32_t cp = 0;
  std::from_chars(reference.data() + (hex ? 2 : 1),
                  reference.data() + reference.size(), cp, hex ? 16 : 10);
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// The offset in `text` of byte `decoded` of the character data that starts
// at `from`, in an element without child elements: references and CDATA
// sections as the reader decodes them, comments left out.
size_t RawOffset(std::string_view text, size_t from, size_t decoded) {
  size_t pos = from;
  size_t count = 0;
  while (pos < text.size()) {
    if (text.substr(pos, 4) == "<!--") {
      const size_t end = text.find("-->", pos + 4);
      pos = end == std::string_view::npos ? text.size() : end + 3;
      continue;
    }
    if (text.substr(pos, 9) == "<![CDATA[") {
      const size_t end = std::min(text.find("]]>", pos + 9), text.size());
      if (decoded - count < end - (pos + 9)) return pos + 9 + (decoded - count);
      count += end - (pos + 9);
      pos = end + 3;
      continue;
    }
    if (count >= decoded) return pos;
    if (text[pos] == '&') {
      const size_t semi = text.find(';', pos);
      if (semi == std::string_view::npos) return pos;
      count += ReferenceLength(text.substr(pos + 1, semi - pos - 1));
      pos = semi + 1;
      continue;
    }
    ++count;
    ++pos;
  }
  return text.size();
}

}  // namespace

CompiledQuery::CompiledQuery(std::string_view text,
                             const SourcePath& default_path) {
  if (text.size() > kMaxQueryTextBytes) {
    Fail("query text too long");
    return;
  }
  const std::string_view trimmed = Trim(text);
  bool compiled;
  if (!trimmed.empty() && trimmed[0] == '<') {
    structured_ = true;
    compiled = CompileStructured(text, default_path);
  } else {
    Query query;
    size_t at = std::string_view::npos;
    compiled = AddItem(&query, ItemKind::kSelect,
                       trimmed.empty() ? std::string_view("*") : trimmed,
                       default_path, &at);
    if (compiled) queries_.push_back(std::move(query));
    if (at != std::string_view::npos) {
      error_offset_ = static_cast<size_t>(trimmed.data() - text.data()) + at;
    }
  }
  if (!compiled) {
    queries_.clear();
    sources_.clear();
    return;
  }
  for (const Query& query : queries_) {
    for (const QueryItem& item : query.items) {
      system_only_ = system_only_ && item.predicate.system_only;
    }
  }
}

bool CompiledQuery::Fail(std::string_view reason,
                         std::optional<size_t> offset) {
  error_code_ = kErrorEvtInvalidQuery;
  error_ = std::string(reason);
  error_offset_ = offset;
  return false;
}

bool CompiledQuery::CompileStructured(std::string_view text,
                                      const SourcePath& default_path) {
  XmlDocument doc;
  std::string xml_error;
  size_t xml_offset = 0;
  if (!ParseXml(text, &doc, &xml_error, &xml_offset)) {
    return Fail(xml_error, xml_offset);
  }
  const XmlElement& list = doc.elements[0];
  auto fail_at = [this](const XmlElement& e, std::string_view reason) {
    return Fail(reason, e.offset);
  };
  if (list.name != "QueryList") {
    return fail_at(list, "expected <QueryList>, found <" + list.name + ">");
  }
  if (!OnlyAttributes(list, {})) return fail_at(list, "unknown attribute on QueryList");
  if (!OnlySpace(list.text)) return fail_at(list, "text inside QueryList");
  if (list.children.empty()) return fail_at(list, "QueryList holds no Query");
  if (list.children.size() > kMaxQueries) return fail_at(list, "too many Query elements");
  for (const uint32_t query_index : list.children) {
    const XmlElement& q = doc.elements[query_index];
    if (q.name != "Query") {
      return fail_at(q, "expected <Query>, found <" + q.name + "> in QueryList");
    }
    if (!OnlyAttributes(q, {"Id", "Path", "Target"})) {
      return fail_at(q, "unknown attribute on Query (Id, Path and Target are known)");
    }
    if (!OnlySpace(q.text)) return fail_at(q, "text inside Query");
    if (q.children.size() > kMaxItemsPerQuery) {
      return fail_at(q, "too many Select/Suppress");
    }
    // Container targets do not exist offline; "Host" is the default.
    if (const std::string* target = FindAttribute(q, "Target");
        target != nullptr && !EqualsIgnoreCase(Trim(*target), "Host")) {
      return fail_at(q, "Query Target other than Host is not supported");
    }
    Query query;
    if (const std::string* id = FindAttribute(q, "Id")) {
      query.id = ParseId(*id);
      if (!query.id) return fail_at(q, "Query Id is not an integer");
    }
    SourcePath query_path = default_path;
    if (const std::string* path = FindAttribute(q, "Path")) {
      auto parsed = PathFromAttribute(*path);
      if (!parsed) return fail_at(q, "empty Query Path");
      query_path = std::move(*parsed);
    }
    bool has_select = false;
    for (const uint32_t item_index : q.children) {
      const XmlElement& item = doc.elements[item_index];
      ItemKind kind;
      if (item.name == "Select") {
        kind = ItemKind::kSelect;
        has_select = true;
      } else if (item.name == "Suppress") {
        kind = ItemKind::kSuppress;
      } else {
        return fail_at(item, "expected <Select> or <Suppress>, found <" +
                                 item.name + "> in Query");
      }
      if (!OnlyAttributes(item, {"Path"})) {
        return fail_at(item, "unknown attribute on " + item.name);
      }
      if (!item.children.empty()) {
        return fail_at(doc.elements[item.children[0]],
                       "elements inside " + item.name);
      }
      SourcePath item_path = query_path;
      if (const std::string* path = FindAttribute(item, "Path")) {
        auto parsed = PathFromAttribute(*path);
        if (!parsed) return fail_at(item, "empty " + item.name + " Path");
        item_path = std::move(*parsed);
      }
      const std::string_view xpath = Trim(item.text);
      size_t at = std::string_view::npos;
      if (!AddItem(&query, kind, xpath, item_path, &at)) {
        if (at == std::string_view::npos) {
          error_offset_ = item.offset;
        } else {
          const size_t leading =
              static_cast<size_t>(xpath.data() - item.text.data());
          error_offset_ = RawOffset(text, item.content_offset, leading + at);
        }
        return false;
      }
    }
    if (!has_select) return fail_at(q, "a Query needs at least one Select");
    queries_.push_back(std::move(query));
  }
  return true;
}

bool CompiledQuery::AddItem(Query* query, ItemKind kind, std::string_view xpath,
                            const SourcePath& path, size_t* xpath_offset) {
  if (path.name.empty()) {
    return Fail(structured_
                    ? "no Path names the channel: give the Query (or the "
                      "Select) a Path attribute"
                    : "an XPath alone names no channel: put it in a "
                      "QueryList, <QueryList><Query Path='System'><Select>"
                      "...</Select></Query></QueryList>");
  }
  QueryItem item;
  item.kind = kind;
  item.path = path;
  item.xpath = std::string(xpath);
  std::string why;
  if (xpath.empty()) return Fail("empty XPath");
  if (!CompileXPath(xpath, &item.predicate, &why, xpath_offset)) {
    return Fail(why);
  }
  item.source = sources_.size();
  for (size_t i = 0; i < sources_.size(); ++i) {
    // Channel names (and file paths with them) by the channel name rule.
    if (sources_[i].kind == path.kind &&
        event_names::Same(sources_[i].name, path.name)) {
      item.source = i;
      break;
    }
  }
  if (item.source == sources_.size()) sources_.push_back(path);
  query->items.push_back(std::move(item));
  return true;
}

bool CompiledQuery::QueryMatches(size_t query, size_t source,
                                 const evtx::EventTree& tree,
                                 uint64_t now_filetime) const {
  const std::vector<QueryItem>& items = queries_[query].items;
  bool selected = false;
  for (const QueryItem& item : items) {
    if (item.kind == ItemKind::kSelect && item.source == source &&
        item.predicate.Matches(tree, now_filetime)) {
      selected = true;
      break;
    }
  }
  if (!selected) return false;
  for (const QueryItem& item : items) {
    if (item.kind == ItemKind::kSuppress && item.source == source &&
        item.predicate.Matches(tree, now_filetime)) {
      return false;
    }
  }
  return true;
}

bool CompiledQuery::SelectsEveryEvent(size_t source) const {
  for (const Query& query : queries_) {
    bool all = false;
    bool suppresses = false;
    for (const QueryItem& item : query.items) {
      if (item.source != source) continue;
      if (item.kind == ItemKind::kSuppress) suppresses = true;
      if (item.kind == ItemKind::kSelect && item.predicate.SelectsEveryEvent())
        all = true;
    }
    if (all && !suppresses) return true;
  }
  return false;
}

std::optional<std::vector<uint16_t>> CompiledQuery::RequiredEventIds(
    size_t source) const {
  std::vector<uint16_t> ids;
  for (const Query& query : queries_) {
    for (const QueryItem& item : query.items) {
      if (item.source != source || item.kind != ItemKind::kSelect) continue;
      const std::optional<std::vector<uint16_t>> own =
          item.predicate.RequiredEventIds();
      if (!own) return std::nullopt;
      ids.insert(ids.end(), own->begin(), own->end());
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

bool CompiledQuery::Matches(size_t source, const evtx::EventTree& tree,
                            uint64_t now_filetime) const {
  for (size_t q = 0; q < queries_.size(); ++q) {
    if (QueryMatches(q, source, tree, now_filetime)) return true;
  }
  return false;
}

}  // namespace xpath
