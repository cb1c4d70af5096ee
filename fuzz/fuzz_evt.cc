// Fuzz target for the legacy event log (.evt) reader: reads every record of
// the bytes as a log, oldest first, checking what the reader promises
// (record numbers rising, work and sizes bounded by the file), and that each
// record, written again, reads back the same; a walk decoding the names
// alone gives the same records.
//
// Entry point: LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/evt/evt_log_reader.h"
#include "formats/evt/evt_writer.h"
#include "fuzz/fuzz_check.h"

namespace {

void CheckRoundTrip(const evt::Record& r) {
  evt::WriterRecord w;
  w.number = r.number;
  w.time_generated = r.time_generated;
  w.time_written = r.time_written;
  w.event_id = r.event_id;
  w.event_type = r.event_type;
  w.category = r.category;
  w.source = r.source;
  w.computer = r.computer;
  w.sid = r.sid;
  w.strings = r.strings;
  w.data = r.data;
  const std::vector<uint8_t> bytes = evt::EncodeRecord(w);
  evt::Record again;
  QRV_FUZZ_CHECK(evt::DecodeRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &again));
  QRV_FUZZ_CHECK(again.number == r.number && again.event_id == r.event_id &&
                 again.event_type == r.event_type && again.category == r.category);
  QRV_FUZZ_CHECK(again.source == r.source && again.computer == r.computer);
  QRV_FUZZ_CHECK(again.sid == r.sid && again.data == r.data && again.strings == r.strings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes as one record, too.
  evt::Record record;
  if (size >= evt::kMinRecordSize && size <= evt::kMaxRecordSize &&
      evt::DecodeRecord(data, static_cast<uint32_t>(size), &record)) {
    CheckRoundTrip(record);
  }

  evt::MemorySource source(data, size);
  evt::LogReader reader;
  if (!reader.Open(source)) return 0;
  // A second walk decoding the names alone gives the same records.
  evt::LogReader names_reader;
  QRV_FUZZ_CHECK(names_reader.Open(source));
  evt::Record names;
  uint64_t count = 0;
  bool any = false;
  uint32_t last = 0;
  while (reader.Next(&record)) {
    QRV_FUZZ_CHECK(names_reader.Next(&names, evt::RecordParts::kNames));
    QRV_FUZZ_CHECK(names.number == record.number && names.event_id == record.event_id &&
                   names.time_generated == record.time_generated &&
                   names.event_type == record.event_type && names.category == record.category);
    QRV_FUZZ_CHECK(names.source == record.source && names.computer == record.computer &&
                   names.sid == record.sid);
    QRV_FUZZ_CHECK(names.strings.empty() && names.data.empty() && !names.strings_cut);
    ++count;
    // Each record given covers at least its minimum size of the ring.
    QRV_FUZZ_CHECK(count <= size / evt::kMinRecordSize + 1);
    QRV_FUZZ_CHECK(!any || record.number > last);
    any = true;
    last = record.number;
    QRV_FUZZ_CHECK(record.data.size() < size && record.sid.size() < size);
    size_t units = record.source.size() + record.computer.size();
    for (const std::u16string& s : record.strings) units += s.size();
    QRV_FUZZ_CHECK(units * 2 < size);
    CheckRoundTrip(record);
  }
  QRV_FUZZ_CHECK(reader.stats().records == count);
  QRV_FUZZ_CHECK(!reader.Next(&record));
  QRV_FUZZ_CHECK(!names_reader.Next(&names, evt::RecordParts::kNames));
  return 0;
}
