// Writer-made legacy logs read back: record fields, and the layouts and
// damage the reader must get through (wrapped, dirty, cut, overwritten).
#include <cstring>
#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "formats/evt/evt_log_reader.h"
#include "formats/evt/evt_writer.h"

namespace {

evt::WriterRecord MakeRecord(uint32_t number) {
  evt::WriterRecord r;
  r.number = number;
  r.time_generated = 1300000000 + number;
  r.time_written = 1300000001 + number;
  r.event_id = 0xC0000000u | (7000 + number);
  r.event_type = evt::kTypeError;
  r.category = static_cast<uint16_t>(number % 5);
  r.source = u"Service Control Manager";
  r.computer = u"XP-BOX";
  if (number % 2 == 0) r.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  r.strings = {u"service " + std::u16string(number % 7, u'x'), u"%%1053"};
  if (number % 3 == 0) r.data = {0xDE, 0xAD, static_cast<uint8_t>(number)};
  return r;
}

std::vector<evt::WriterRecord> Records(uint32_t first, uint32_t count) {
  std::vector<evt::WriterRecord> out;
  for (uint32_t n = first; n < first + count; ++n) out.push_back(MakeRecord(n));
  return out;
}

std::vector<uint32_t> ReadNumbers(const std::vector<uint8_t>& file, evt::LogStats* stats = nullptr) {
  evt::MemorySource source(file.data(), file.size());
  evt::LogReader reader;
  std::vector<uint32_t> numbers;
  if (!reader.Open(source)) return numbers;
  evt::Record r;
  while (reader.Next(&r)) numbers.push_back(r.number);
  if (stats != nullptr) *stats = reader.stats();
  return numbers;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t last) {
  std::vector<uint32_t> out;
  for (uint32_t n = first; n <= last; ++n) out.push_back(n);
  return out;
}

size_t FindRecord(const std::vector<uint8_t>& file, uint32_t number) {
  for (size_t at = evt::kFileHeaderSize; at + 12 <= file.size(); at += 4) {
    uint32_t sig = 0;
    uint32_t n = 0;
    std::memcpy(&sig, &file[at + 4], 4);
    std::memcpy(&n, &file[at + 8], 4);
    if (sig == evt::kSignature && n == number) return at;
  }
  ADD_FAILURE() << "record " << number << " not in the file";
  return 0;
}

TEST(EvtRecord, FieldsRoundTrip) {
  for (uint32_t n : {3u, 4u}) {
    const evt::WriterRecord w = MakeRecord(n);
    const std::vector<uint8_t> bytes = evt::EncodeRecord(w);
    evt::Record r;
    ASSERT_TRUE(evt::DecodeRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &r));
    EXPECT_EQ(r.number, w.number);
    EXPECT_EQ(r.time_generated, w.time_generated);
    EXPECT_EQ(r.time_written, w.time_written);
    EXPECT_EQ(r.event_id, w.event_id);
    EXPECT_EQ(r.event_type, w.event_type);
    EXPECT_EQ(r.category, w.category);
    EXPECT_EQ(r.source, w.source);
    EXPECT_EQ(r.computer, w.computer);
    EXPECT_EQ(r.sid, w.sid);
    EXPECT_EQ(r.strings, w.strings);
    EXPECT_EQ(r.data, w.data);
    EXPECT_FALSE(r.strings_cut);

    // Names alone, into a record that still holds a longer one's strings
    // and data (and a cut list): none of them may be left behind.
    evt::WriterRecord longer = MakeRecord(6);
    longer.data = {1, 2, 3};
    std::vector<uint8_t> cut = evt::EncodeRecord(longer);
    const uint32_t far = 0xFFFFFFF0u;
    std::memcpy(&cut[36], &far, 4);
    evt::Record names;
    ASSERT_TRUE(evt::DecodeRecord(cut.data(), static_cast<uint32_t>(cut.size()), &names));
    ASSERT_TRUE(names.strings_cut && !names.data.empty());
    names.strings = {u"left", u"over"};
    ASSERT_TRUE(evt::DecodeRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &names,
                                  evt::RecordParts::kNames));
    EXPECT_EQ(names.number, w.number);
    EXPECT_EQ(names.time_generated, w.time_generated);
    EXPECT_EQ(names.event_id, w.event_id);
    EXPECT_EQ(names.event_type, w.event_type);
    EXPECT_EQ(names.category, w.category);
    EXPECT_EQ(names.source, w.source);
    EXPECT_EQ(names.computer, w.computer);
    EXPECT_EQ(names.sid, w.sid);
    EXPECT_TRUE(names.strings.empty());
    EXPECT_TRUE(names.data.empty());
    EXPECT_FALSE(names.strings_cut);
  }
}

TEST(EvtRecord, StringsOfEveryLengthAroundTheScanStep) {
  // Units with one zero byte (U+0100, 'A') are not terminators.
  evt::WriterRecord w = MakeRecord(5);
  w.strings.clear();
  for (size_t length = 0; length <= 19; ++length) {
    std::u16string text;
    for (size_t i = 0; i < length; ++i) text += i % 2 == 0 ? u'\x0100' : static_cast<char16_t>(u'A' + i);
    w.strings.push_back(text);
  }
  const std::vector<uint8_t> bytes = evt::EncodeRecord(w);
  evt::Record r;
  ASSERT_TRUE(evt::DecodeRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &r));
  EXPECT_EQ(r.strings, w.strings);
  EXPECT_FALSE(r.strings_cut);
}

TEST(EvtRecord, OffsetsOutsideTheRecordAreNotFollowed) {
  evt::WriterRecord w = MakeRecord(3);
  std::vector<uint8_t> bytes = evt::EncodeRecord(w);
  const auto set = [&bytes](size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); };
  set(36, 0xFFFFFFF0u);  // strings
  set(44, 0x7FFFFFFFu);  // SID
  set(52, static_cast<uint32_t>(bytes.size()) - 2);  // data runs past the end
  evt::Record r;
  ASSERT_TRUE(evt::DecodeRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &r));
  EXPECT_TRUE(r.strings.empty());
  EXPECT_TRUE(r.strings_cut);
  EXPECT_TRUE(r.sid.empty());
  EXPECT_TRUE(r.data.empty());
  EXPECT_EQ(r.source, w.source);
}

// The header's end-of-file offset (left stale in a dirty log).
void SetHeaderEnd(std::vector<uint8_t>& file, uint32_t offset) {
  std::memcpy(&file[20], &offset, 4);
}

struct LayoutCase {
  const char* name;
  evt::LogLayout layout;
  uint32_t first = 1;
  uint32_t count = 0;
  std::function<void(std::vector<uint8_t>&)> damage;
  std::vector<uint32_t> want;
};

TEST(EvtLogReader, LayoutsAndDamage) {
  const uint32_t kSize = 0x4000;
  const auto zero_signature_of = [](uint32_t number) {
    return [number](std::vector<uint8_t>& f) { std::memset(&f[FindRecord(f, number) + 4], 0, 4); };
  };
  std::vector<LayoutCase> cases = {
      {"clean", {kSize}, 1, 20, nullptr, Range(1, 20)},
      {"empty", {kSize}, 1, 0, nullptr, {}},
      // The oldest record sits near the end of the file: one record is split
      // across it, the newest follow the header.
      {"wrapped", {kSize, kSize - 0x64}, 100, 40, nullptr, Range(100, 139)},
      {"dirty, found through the end-of-file record", {kSize, 0x1000, true}, 5, 30, nullptr, Range(5, 34)},
      {"dirty without an end-of-file record", {kSize, kSize - 0x40, true, false}, 5, 30, nullptr,
       Range(5, 34)},
      {"damaged record passed over", {kSize}, 1, 20, zero_signature_of(7),
       [] { auto v = Range(1, 20); v.erase(v.begin() + 6); return v; }()},
      {"damaged oldest record, dirty", {kSize, 0x800, true}, 1, 20, zero_signature_of(1), Range(2, 20)},
      {"trailing size copy damaged", {kSize}, 1, 10,
       [](std::vector<uint8_t>& f) { f[FindRecord(f, 4 + 1) - 4] ^= 0xFF; },
       [] { auto v = Range(1, 10); v.erase(v.begin() + 3); return v; }()},
      {"cut off in a record", {kSize}, 1, 20,
       [](std::vector<uint8_t>& f) { f.resize(FindRecord(f, 12) + 20); }, Range(1, 11)},
      {"size field larger than the file", {kSize}, 1, 5,
       [](std::vector<uint8_t>& f) { std::memset(&f[FindRecord(f, 3)], 0xFF, 3); },
       {1, 2, 4, 5}},
      // A record older than the oldest left past the newest (overwritten
      // space) is not given.
      {"stale record past the newest", {kSize, 0x30, true}, 10, 5,
       [](std::vector<uint8_t>& f) {
         const std::vector<uint8_t> old = evt::EncodeRecord(MakeRecord(2));
         std::copy(old.begin(), old.end(), f.begin() + 0x2000);
       },
       Range(10, 14)},
  };
  for (LayoutCase& c : cases) {
    std::vector<uint8_t> file = evt::WriteEvtLog(Records(c.first, c.count), c.layout);
    if (c.damage) c.damage(file);
    EXPECT_EQ(ReadNumbers(file), c.want) << c.name;
  }
}

// A dirty log's header keeps the end offset of its last save. When records
// follow it up to the end-of-file record, the start is found from there;
// an offset among other bytes leaves the ring to be scanned. The same
// records come either way.
TEST(EvtLogReader, DirtyLogStartFollowedFromTheSavedEndOffset) {
  const std::vector<uint8_t> clean = evt::WriteEvtLog(Records(5, 30), {0x4000, 0x1000, true});
  for (const auto& [skew, scanned] : {std::pair{0u, false}, std::pair{8u, true}}) {
    std::vector<uint8_t> file = clean;
    SetHeaderEnd(file, static_cast<uint32_t>(FindRecord(file, 20)) + skew);
    evt::LogStats stats;
    EXPECT_EQ(ReadNumbers(file, &stats), Range(5, 34)) << skew;
    EXPECT_EQ(stats.scanned, scanned) << skew;
  }
}

// Counts the bytes the reader asks for.
class CountingSource : public evt::MemorySource {
 public:
  using MemorySource::MemorySource;
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) const override {
    const size_t got = MemorySource::ReadAt(offset, out, n);
    read_ += got;
    return got;
  }
  uint64_t read() const { return read_; }

 private:
  mutable uint64_t read_ = 0;
};

// Larger than the reader's 256 KiB window and wrapped, so the window moves
// many times and a record runs across the end of the file: each record's
// bytes are handed out exactly as written, clean or dirty (scanned first).
// A clean log is read about once: a record across the window's edge does
// not cost a second read of the window.
TEST(EvtLogReader, RecordBytesWhereverTheRecordLies) {
  const uint32_t kSize = 0xC0000;
  std::vector<evt::WriterRecord> records;
  for (uint32_t n = 1; n <= 6000; ++n) {
    records.push_back(MakeRecord(n));
    records.back().strings.push_back(std::u16string(n % 97, u'z'));
  }
  for (bool dirty : {false, true}) {
    const std::vector<uint8_t> file = evt::WriteEvtLog(records, {kSize, kSize - 0x123 * 4, dirty});
    CountingSource source(file.data(), file.size());
    evt::LogReader reader;
    ASSERT_TRUE(reader.Open(source));
    evt::Record r;
    uint32_t read = 0;
    uint32_t expected = 0;
    while (reader.Next(&r)) {
      if (read == 0) expected = r.number;
      ASSERT_EQ(r.number, expected) << dirty;
      const std::vector<uint8_t> written = evt::EncodeRecord(records[r.number - 1]);
      const std::span<const uint8_t> bytes = reader.record_bytes();
      ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), written.begin(), written.end()))
          << "record " << r.number << (dirty ? ", dirty" : "");
      ++read;
      ++expected;
    }
    EXPECT_GT(read, 2000u) << dirty;  // the ring holds a few thousand
    // Once, and the window at the oldest record again after the wrap.
    if (!dirty) {
      EXPECT_LT(source.read(), file.size() * 3 / 2);
    }
  }
}

TEST(EvtLogReader, RejectsWhatIsNotALegacyLog) {
  std::vector<uint8_t> file = evt::WriteEvtLog(Records(1, 3), {0x1000});
  std::memcpy(file.data() + 4, "ElfF", 4);
  EXPECT_TRUE(ReadNumbers(file).empty());
  file.resize(0x20);
  EXPECT_TRUE(ReadNumbers(file).empty());
}

}  // namespace
