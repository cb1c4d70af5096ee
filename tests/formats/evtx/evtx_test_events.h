// Events shared by the EVTX reader tests: a Windows-shaped System part and
// helpers to read a written file back.
#ifndef QRV_TESTS_FORMATS_EVTX_EVTX_TEST_EVENTS_H_
#define QRV_TESTS_FORMATS_EVTX_EVTX_TEST_EVENTS_H_

#include <string>
#include <vector>

#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/file_reader.h"

namespace evtx::testing {

// 2025-01-07T21:42:44.5217753Z
constexpr uint64_t kTime = 133807597645217753ULL;

inline GuidBytes Guid(uint8_t seed) {
  GuidBytes g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(seed + i);
  return g;
}

inline WriterEvent SecurityEvent(uint16_t event_id) {
  WriterEvent e;
  e.provider_name = "Microsoft-Windows-Security-Auditing";
  e.provider_guid = Guid(0x10);
  e.event_id = event_id;
  e.version = 2;
  e.level = 0;
  e.task = 12544;
  e.opcode = 0;
  e.keywords = 0x8020000000000000ULL;
  e.time_created = kTime;
  e.process_id = 456;
  e.thread_id = 460;
  e.channel = "Security";
  e.computer = "WS-01.corp.example";
  e.event_data = {{"SubjectUserSid", WriterValue::Sid("S-1-5-18")},
                  {"LogonType", WriterValue::Number(ValueType::kUInt32, 3)}};
  return e;
}

// Record outcomes of a whole file in file order (or oldest first).
struct ReadBack {
  std::vector<RecordRef> records;
  std::vector<SystemProperties> props;
  std::vector<std::string> xml;
  std::vector<DecodeStatus> status;
  ReaderStats stats;
};

inline ReadBack ReadFile(const std::vector<uint8_t>& bytes,
                         RecordOrder order = RecordOrder::kFileOrder) {
  ReadBack out;
  FileReader file;
  if (!file.Open(bytes.data(), bytes.size())) return out;
  RecordCursor cursor(file, order);
  while (cursor.Next()) {
    SystemProperties p;
    std::string xml;
    DecodeStatus st = cursor.decoder().ReadSystem(cursor.record(), &p);
    if (st == DecodeStatus::kOk)
      st = cursor.decoder().RenderXml(cursor.record(), &xml);
    out.records.push_back(cursor.record());
    out.props.push_back(p);
    out.xml.push_back(xml);
    out.status.push_back(st);
  }
  out.stats = cursor.stats();
  return out;
}

}  // namespace evtx::testing

#endif  // QRV_TESTS_FORMATS_EVTX_EVTX_TEST_EVENTS_H_
