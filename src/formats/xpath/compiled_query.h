// The offline stand-in for the event-log service's query compiler: turns the
// Query argument of EvtQuery (a structured <QueryList> document, a bare XPath
// or `*`) into Queries of Select/Suppress items, each with its resolved path
// and compiled predicate. Entry point: CompiledQuery (compile once in the
// constructor, check ok(), then read-only and safe to share across threads).
//
// Result semantics mirrored from the service: the union of all Queries;
// within one Query, events matched by any Select minus events matched by any
// Suppress, where a Suppress removes events from its own path only.
//
// Not checked here: whether a channel exists or a file opens (the caller maps
// those to ERROR_EVT_CHANNEL_NOT_FOUND and friends); the rule that every
// Suppress path has a Select (a Suppress without one removes nothing);
// subquery-id defaults. The XPath subset is listed in xpath_program.h.
#ifndef QRV_FORMATS_XPATH_COMPILED_QUERY_H_
#define QRV_FORMATS_XPATH_COMPILED_QUERY_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/evtx/event_tree.h"
#include "formats/xpath/xpath_program.h"

namespace xpath {

inline constexpr uint32_t kErrorSuccess = 0;
// ERROR_EVT_INVALID_QUERY: any query text that does not parse, uses a
// construct outside the supported subset, or exceeds a limit.
inline constexpr uint32_t kErrorEvtInvalidQuery = 15001;

// EvtQuery limits the query to 1 M UTF-16 units (MAX_RPC_QUERY_LENGTH); one
// UTF-16 unit becomes at most 3 UTF-8 bytes.
inline constexpr size_t kMaxQueryTextBytes = 3 * 1024 * 1024;
// Queries in one QueryList and items in one Query; far beyond what any tool
// writes, they keep hostile documents from growing the compiled form.
inline constexpr size_t kMaxQueries = 4096;
inline constexpr size_t kMaxItemsPerQuery = 4096;

enum class PathKind : uint8_t {
  kChannel,  // a channel name, e.g. "Security"
  kFile,     // a log file path; "file://" already stripped
};

struct SourcePath {
  PathKind kind = PathKind::kChannel;
  std::string name;
};

enum class ItemKind : uint8_t { kSelect, kSuppress };

struct QueryItem {
  ItemKind kind = ItemKind::kSelect;
  SourcePath path;     // Select/@Path, else Query/@Path, else the default
  size_t source = 0;   // index into CompiledQuery::sources()
  std::string xpath;   // the XPath text as compiled (entities decoded)
  XPathProgram predicate;
};

struct Query {
  std::optional<int64_t> id;  // Query/@Id; absent for a bare XPath
  std::vector<QueryItem> items;
};

class CompiledQuery {
 public:
  // `text` is the query (empty means `*`); `default_path` is EvtQuery's Path
  // argument: used for a bare XPath and for items that name no path. A path
  // attribute starting with "file://" names a file, anything else a channel.
  CompiledQuery(std::string_view text, const SourcePath& default_path);
  CompiledQuery(const CompiledQuery&) = delete;
  CompiledQuery& operator=(const CompiledQuery&) = delete;

  bool ok() const { return error_code_ == kErrorSuccess; }
  // kErrorSuccess or kErrorEvtInvalidQuery, with a reason for people: what
  // was expected or found, with a hint for the usual slips.
  uint32_t error_code() const { return error_code_; }
  const std::string& error() const { return error_; }
  // Where the query was refused: a byte offset in the text given, or nullopt
  // when the reason concerns no one place (a bare XPath with no path).
  std::optional<size_t> error_offset() const { return error_offset_; }

  // True for a <QueryList> document: its events carry subquery ids.
  bool structured() const { return structured_; }
  const std::vector<Query>& queries() const { return queries_; }
  // Distinct paths named by the items (channel names and file names compare
  // case-insensitively, as on Windows), in order of first use.
  const std::vector<SourcePath>& sources() const { return sources_; }
  // False when any item needs more of the event than Event and System.
  bool system_only() const { return system_only_; }
  // True when every event read from sources()[source] whose tree has a
  // root is selected: some Query selects `*` from it and suppresses nothing
  // from it.
  bool SelectsEveryEvent(size_t source) const;
  // Event ids outside of which no event read from sources()[source] whose
  // tree is rebuilt from its properties is selected (see
  // XPathProgram::RequiredEventIds): the ids of every Select of that path,
  // or nullopt when one of them does not confine EventID.
  std::optional<std::vector<uint16_t>> RequiredEventIds(size_t source) const;

  // True when an event read from sources()[source] is selected by any Query.
  bool Matches(size_t source, const evtx::EventTree& tree,
               uint64_t now_filetime) const;
  // True when queries()[query] selects the event: some Select of that path
  // matches and no Suppress of that path does.
  bool QueryMatches(size_t query, size_t source, const evtx::EventTree& tree,
                    uint64_t now_filetime) const;

 private:
  bool Fail(std::string_view reason,
            std::optional<size_t> offset = std::nullopt);
  bool CompileStructured(std::string_view text, const SourcePath& default_path);
  // On an XPath error, *xpath_offset is where in `xpath` it stopped; it is
  // left as it was for other errors.
  bool AddItem(Query* query, ItemKind kind, std::string_view xpath,
               const SourcePath& path, size_t* xpath_offset);

  uint32_t error_code_ = kErrorSuccess;
  std::string error_;
  std::optional<size_t> error_offset_;
  bool structured_ = false;
  bool system_only_ = true;
  std::vector<Query> queries_;
  std::vector<SourcePath> sources_;
};

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_COMPILED_QUERY_H_
