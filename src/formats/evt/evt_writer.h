// Writes legacy event log (.evt) files for tests, fuzz seeds and
// benchmarks; the tool never links it. Records go round the ring from any
// offset, so wrapped logs (the oldest record after the newest, a record
// split at the end of the file) are made as Windows makes them; the header
// can be left dirty with stale offsets; damage is the caller's to add.
// Entry points: WriterRecord, EncodeRecord, LogLayout, WriteEvtLog,
// EncodeFileHeader, EncodeEofRecord.
#ifndef QRV_FORMATS_EVT_EVT_WRITER_H_
#define QRV_FORMATS_EVT_EVT_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "formats/evt/evt_record.h"

namespace evt {

struct WriterRecord {
  uint32_t number = 0;
  uint32_t time_generated = 0;
  uint32_t time_written = 0;
  uint32_t event_id = 0;
  uint16_t event_type = kTypeInformation;
  uint16_t category = 0;
  std::u16string source;
  std::u16string computer;
  std::vector<uint8_t> sid;
  std::vector<std::u16string> strings;
  std::vector<uint8_t> data;
};

// The record's bytes as Windows lays them out: names, padding to 4, SID,
// strings, data, padding to 4, size copy.
std::vector<uint8_t> EncodeRecord(const WriterRecord& record);

std::vector<uint8_t> EncodeFileHeader(const FileHeader& header);
std::vector<uint8_t> EncodeEofRecord(const EofRecord& eof);

struct LogLayout {
  uint32_t file_size = 0x10000;
  // Where the first record goes; records after it follow round the ring.
  uint32_t first_offset = kFileHeaderSize;
  // Sets the dirty flag and leaves the header's offsets and numbers as an
  // empty log has them (stale).
  bool dirty = false;
  bool eof_record = true;
};

// A whole log; records that do not fit in the ring (with the end-of-file
// record) are left out.
std::vector<uint8_t> WriteEvtLog(const std::vector<WriterRecord>& records,
                                 const LogLayout& layout);

}  // namespace evt

#endif  // QRV_FORMATS_EVT_EVT_WRITER_H_
