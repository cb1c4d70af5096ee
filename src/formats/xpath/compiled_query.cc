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
    compiled = AddItem(&query, ItemKind::kSelect,
                       trimmed.empty() ? std::string_view("*") : trimmed,
                       default_path);
    if (compiled) queries_.push_back(std::move(query));
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

bool CompiledQuery::Fail(std::string_view reason) {
  error_code_ = kErrorEvtInvalidQuery;
  error_ = std::string(reason);
  return false;
}

bool CompiledQuery::CompileStructured(std::string_view text,
                                      const SourcePath& default_path) {
  XmlDocument doc;
  std::string xml_error;
  if (!ParseXml(text, &doc, &xml_error)) {
    return Fail("malformed query XML: " + xml_error);
  }
  const XmlElement& list = doc.elements[0];
  if (list.name != "QueryList") return Fail("the document must be a QueryList");
  if (!OnlyAttributes(list, {})) return Fail("unknown attribute on QueryList");
  if (!OnlySpace(list.text)) return Fail("text inside QueryList");
  if (list.children.empty()) return Fail("QueryList holds no Query");
  if (list.children.size() > kMaxQueries) return Fail("too many Query elements");
  for (const uint32_t query_index : list.children) {
    const XmlElement& q = doc.elements[query_index];
    if (q.name != "Query") return Fail("unexpected element " + q.name + " in QueryList");
    if (!OnlyAttributes(q, {"Id", "Path", "Target"})) {
      return Fail("unknown attribute on Query");
    }
    if (!OnlySpace(q.text)) return Fail("text inside Query");
    if (q.children.size() > kMaxItemsPerQuery) return Fail("too many Select/Suppress");
    // Container targets do not exist offline; "Host" is the default.
    if (const std::string* target = FindAttribute(q, "Target");
        target != nullptr && !EqualsIgnoreCase(Trim(*target), "Host")) {
      return Fail("Query Target other than Host is not supported");
    }
    Query query;
    if (const std::string* id = FindAttribute(q, "Id")) {
      query.id = ParseId(*id);
      if (!query.id) return Fail("Query Id is not an integer");
    }
    SourcePath query_path = default_path;
    if (const std::string* path = FindAttribute(q, "Path")) {
      auto parsed = PathFromAttribute(*path);
      if (!parsed) return Fail("empty Query Path");
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
        return Fail("unexpected element " + item.name + " in Query");
      }
      if (!OnlyAttributes(item, {"Path"})) {
        return Fail("unknown attribute on " + item.name);
      }
      if (!item.children.empty()) return Fail("elements inside " + item.name);
      SourcePath item_path = query_path;
      if (const std::string* path = FindAttribute(item, "Path")) {
        auto parsed = PathFromAttribute(*path);
        if (!parsed) return Fail("empty " + item.name + " Path");
        item_path = std::move(*parsed);
      }
      if (!AddItem(&query, kind, Trim(item.text), item_path)) return false;
    }
    if (!has_select) return Fail("a Query needs at least one Select");
    queries_.push_back(std::move(query));
  }
  return true;
}

bool CompiledQuery::AddItem(Query* query, ItemKind kind, std::string_view xpath,
                            const SourcePath& path) {
  if (path.name.empty()) return Fail("no path for a Select or Suppress");
  QueryItem item;
  item.kind = kind;
  item.path = path;
  item.xpath = std::string(xpath);
  std::string why;
  if (xpath.empty()) return Fail("empty XPath");
  if (!CompileXPath(xpath, &item.predicate, &why)) {
    return Fail("invalid XPath '" + item.xpath + "': " + why);
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
