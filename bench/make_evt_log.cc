// Writes a legacy event log (.evt) of a given size for benchmarks, with the
// project's writer, streaming: records of a few sources and shapes in turn,
// numbered on and a second apart, a clean header and the end-of-file
// record. Offsets are 32-bit, so the size stays under 4 GiB.
//
// Usage: make_evt_log OUT.evt SIZE_MIB
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "formats/evt/evt_writer.h"

namespace {

evt::WriterRecord Shape(uint32_t n) {
  evt::WriterRecord r;
  r.number = n;
  r.time_generated = r.time_written = 1300000000 + n;
  r.computer = u"WKS-WINXP32BIT";
  switch (n % 4) {
    case 0:
      r.source = u"Service Control Manager";
      r.event_id = 0x40001B7B;
      r.strings = {u"Google Update Service (gupdate)", u"start"};
      break;
    case 1:
      r.source = u"Service Control Manager";
      r.event_id = 0xC0001B58;
      r.event_type = evt::kTypeError;
      r.strings = {u"Alerter", u"%%1053"};
      r.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
      break;
    case 2:
      r.source = u"LSASRV";
      r.event_id = 0x8000A001;
      r.event_type = evt::kTypeWarning;
      r.category = 3;
      r.strings = {u"cifs/CONTROLLER",
                   u"\"The system detected a possible attempt to compromise security.\r\n "
                   u"(0xc0000388)\""};
      break;
    default:
      r.source = u"EventLog";
      r.event_id = 0x80001775;
      r.data = std::vector<uint8_t>(24, 0x5A);
      break;
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUT.evt SIZE_MIB\n", argv[0]);
    return 2;
  }
  const uint64_t size = std::strtoull(argv[2], nullptr, 10) << 20;
  if (size < 0x10000 || size >= (uint64_t{1} << 32)) {
    std::fprintf(stderr, "%s: size must be 1..4095 MiB\n", argv[0]);
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary);
  const auto put = [&out](const std::vector<uint8_t>& bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  evt::FileHeader header;
  header.first_offset = evt::kFileHeaderSize;
  header.max_size = static_cast<uint32_t>(size);
  header.first_number = 1;
  put(evt::EncodeFileHeader(header));  // rewritten at the end
  uint64_t at = evt::kFileHeaderSize;
  uint32_t n = 1;
  for (;; ++n) {
    const std::vector<uint8_t> record = evt::EncodeRecord(Shape(n));
    if (at + record.size() + evt::kEofRecordSize > size) break;
    put(record);
    at += record.size();
  }
  header.eof_offset = static_cast<uint32_t>(at);
  header.last_number = n;
  put(evt::EncodeEofRecord({header.first_offset, header.eof_offset, n, 1}));
  at += evt::kEofRecordSize;
  put(std::vector<uint8_t>(size - at, 0));
  out.seekp(0);
  put(evt::EncodeFileHeader(header));
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  std::printf("%s: %u records\n", argv[1], n - 1);
  return 0;
}
