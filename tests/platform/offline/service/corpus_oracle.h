// The corpus's independent values as a query oracle: the expected TSV rows
// (one per record another reader printed) and the EventData items of the
// expected JSON, with a deliberately plain evaluator over them. It shares no
// code with the production query engine or the EVTX reader. ServiceQuery is
// the other side of such a comparison: the offline service itself.
// Entry points: OracleRow, ReadOracle, ReadCorpusOracle, ParseTicks, Lower,
// XmlEscape, ServiceQuery.
#ifndef QRV_TESTS_PLATFORM_OFFLINE_SERVICE_CORPUS_ORACLE_H_
#define QRV_TESTS_PLATFORM_OFFLINE_SERVICE_CORPUS_ORACLE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/service/offline_event_log.h"
#include "tests/support/fake_platform.h"

namespace qrv::offline::testing {

struct OracleRow {
  uint64_t record_number = 0;
  uint64_t record_id = 0;
  std::string provider;
  std::optional<uint64_t> event_id;
  std::optional<uint64_t> level;
  std::optional<uint64_t> task;  // the corpus's values do not carry it
  std::optional<uint64_t> keywords;
  // FILETIME ticks as printed; the true value lies in
  // [ticks, ticks + time_precision).
  std::optional<uint64_t> ticks;
  uint64_t time_precision = 1;
  std::string channel;
  std::string computer;
  // Named EventData items whose JSON value is a string.
  std::map<std::string, std::string> data;
  // The string leaves of the element below UserData, by name.
  std::map<std::string, std::string> user_data;
  // The System/Security UserID; the corpus's values do not carry it.
  std::optional<std::string> user_id;
};

// The rows for `expected_tsv`, with the EventData of `expected_json` (which
// may be missing) joined by record number; false when the TSV is missing.
bool ReadOracle(const std::filesystem::path& expected_tsv,
                const std::filesystem::path& expected_json,
                std::vector<OracleRow>* rows);

// ReadOracle for `file` below the corpus root `root`: the TSV and JSON at
// the same relative path below root/expected and root/expected-eventdata.
bool ReadCorpusOracle(const std::filesystem::path& root,
                      const std::filesystem::path& file,
                      std::vector<OracleRow>* rows);

// "YYYY-MM-DDTHH:MM:SS[.f...]Z" to FILETIME ticks (fraction cut at 7
// digits); *precision gets the tick count one unit of the last digit stands
// for. Nullopt when the text is not such a time.
std::optional<uint64_t> ParseTicks(const std::string& text,
                                   uint64_t* precision = nullptr);

// The text with its letters lowered (C locale), for the evaluators'
// case-insensitive comparisons.
std::string Lower(std::string s);

// The text with &, < and > as entity references, for XML element text; with
// `quote`, ' as &apos; too, for an attribute value between single quotes.
std::string XmlEscape(const std::string& text, bool quote = false);

// The offline service over the fake platform, whose registry has no keys:
// no provider is known.
class ServiceQuery {
 public:
  explicit ServiceQuery(QuerySources sources);

  // Calls `selected` with the rendered system values of each event the
  // query selects, in the service's order (in batches of 100, as the tool
  // asks for them); false with *error when EvtQuery fails. Every handle is
  // expected closed afterwards.
  bool Run(const std::string& query,
           const std::function<void(const EvtVariant* system)>& selected,
           uint32_t* error);

 private:
  fake::FakePlatform fake_;
  HostFileLoader loader_;
  MessageCatalog catalog_;
  OfflineEventLog log_;
};

}  // namespace qrv::offline::testing

#endif  // QRV_TESTS_PLATFORM_OFFLINE_SERVICE_CORPUS_ORACLE_H_
