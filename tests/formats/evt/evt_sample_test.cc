// The shared Windows XP System log read record for record as the
// independent reader (evtexport) printed it: the corpus keeps its output
// beside the file. Our records are printed in that reader's layout and the
// two texts compared record by record.
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/evt/evt_log_reader.h"
#include "formats/evtx/value_format.h"
#include "formats/utf16.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Time(uint32_t seconds) {
  const std::time_t t = seconds;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%b %d, %Y %H:%M:%S UTC", &tm);
  return text;
}

std::string TypeName(uint16_t type) {
  switch (type) {
    case evt::kTypeError: return "Error event (1)";
    case evt::kTypeWarning: return "Warning event (2)";
    case evt::kTypeInformation: return "Information event (4)";
    case evt::kTypeAuditSuccess: return "Success Audit event (8)";
    case evt::kTypeAuditFailure: return "Failure Audit event (16)";
    default: return "Unknown (" + std::to_string(type) + ")";
  }
}

// One record as evtexport prints it.
std::string Print(const evt::Record& r) {
  std::ostringstream out;
  char id[32];
  std::snprintf(id, sizeof id, "0x%08x (%u)", r.event_id, r.event_id);
  out << "Event number\t\t\t: " << r.number << "\n"
      << "Creation time\t\t\t: " << Time(r.time_generated) << "\n"
      << "Written time\t\t\t: " << Time(r.time_written) << "\n"
      << "Event type\t\t\t: " << TypeName(r.event_type) << "\n";
  std::string sid;
  if (!r.sid.empty() && evtx::AppendSid(r.sid.data(), r.sid.size(), &sid))
    out << "User security identifier\t: " << sid << "\n";
  out
      << "Computer name\t\t\t: " << text::Utf16ToUtf8(r.computer) << "\n"
      << "Source name\t\t\t: " << text::Utf16ToUtf8(r.source) << "\n"
      << "Event category\t\t\t: " << r.category << "\n"
      << "Event identifier\t\t: " << id << "\n"
      << "Number of strings\t\t: " << r.strings.size() << "\n";
  for (size_t i = 0; i < r.strings.size(); ++i)
    out << "String: " << i + 1 << "\t\t\t: " << text::Utf16ToUtf8(r.strings[i])
        << "\n";
  return out.str();
}

TEST(EvtSample, MatchesTheIndependentReaderRecordForRecord) {
  const fs::path corpus = fs::path(QRV_SHARED_DIR) / "corpus";
  const fs::path log = corpus / "evt" / "SysEvent.Evt";
  const fs::path expected = corpus / "expected" / "evt" / "SysEvent.Evt.evtexport.txt";
  if (!fs::exists(log) || !fs::exists(expected))
    GTEST_SKIP() << "shared corpus not found under " << corpus;

  // Records are separated by a blank line after the reader's banner line.
  const std::string want_text = ReadAll(expected);
  std::vector<std::string> want;
  for (size_t at = want_text.find("Event number"); at != std::string::npos;) {
    const size_t next = want_text.find("\n\nEvent number", at);
    const size_t end = next == std::string::npos ? want_text.size() : next + 1;
    want.push_back(want_text.substr(at, end - at));
    at = next == std::string::npos ? next : next + 2;
  }
  ASSERT_EQ(want.size(), 6063u);
  // The last block runs to the end of the file, which may end in blank lines.
  while (!want.back().empty() && want.back().back() == '\n') want.back().pop_back();
  want.back() += "\n";

  const std::string bytes = ReadAll(log);
  evt::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  evt::LogReader reader;
  ASSERT_TRUE(reader.Open(source));
  EXPECT_TRUE(reader.header().dirty());
  evt::Record record;
  size_t index = 0;
  while (reader.Next(&record)) {
    ASSERT_LT(index, want.size());
    ASSERT_EQ(Print(record), want[index]) << "record " << index;
    ++index;
  }
  EXPECT_EQ(index, want.size());
  // Its end offset, saved before the last records were written, leads to
  // the end-of-file record: the ring was not scanned.
  EXPECT_FALSE(reader.stats().scanned);
}

}  // namespace
