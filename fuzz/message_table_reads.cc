// Reads every message of a parsed MESSAGETABLE and expands it; see the header.
#include "fuzz/message_table_reads.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/pe/message_format.h"
#include "fuzz/fuzz_check.h"

namespace qrv_fuzz {
namespace {

// Enough inserts for %1..%3 to resolve and %4 onwards to stay as written.
const std::vector<std::string> kInserts = {"one", "%2 and %%1", "%"};

// Tables from real DLLs hold a few thousand messages; expanding that many per
// input only slows the fuzzer down without reaching new code.
constexpr size_t kMaxExpanded = 256;

}  // namespace

void ReadMessageTable(const pe::MessageTable& table) {
  const std::vector<uint32_t> ids = table.Ids();
  QRV_FUZZ_CHECK(ids.size() == table.size());
  const pe::ParameterLookup lookup = [&table](uint32_t id) -> std::optional<std::string> {
    std::string text;
    if (table.Find(id, &text) != pe::PeError::kOk) return std::nullopt;
    return text;
  };
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) QRV_FUZZ_CHECK(ids[i - 1] < ids[i]);
    std::string text;
    const pe::PeError error = table.Find(ids[i], &text);
    QRV_FUZZ_CHECK(error == pe::PeError::kOk || error == pe::PeError::kBadEntry);
    if (error != pe::PeError::kOk || i >= kMaxExpanded) continue;
    pe::FormatMessageText(text, kInserts);
    pe::FormatMessageText(text, kInserts, lookup);
  }
  if (!ids.empty() && ids.back() != UINT32_MAX) {
    std::string text;
    QRV_FUZZ_CHECK(table.Find(ids.back() + 1, &text) == pe::PeError::kNotFound);
  }
}

}  // namespace qrv_fuzz
