// Writer-made logs for the service tests; see service_fixtures.h.
#include "tests/platform/offline/service/service_fixtures.h"

#include <fstream>

namespace qrv::offline::testing {

evtx::WriterEvent FixtureEvent(uint64_t record_id, uint16_t event_id,
                               uint32_t second, uint8_t level,
                               uint64_t keywords, const std::string& channel,
                               const std::string& provider) {
  evtx::WriterEvent e;
  e.provider_name = provider;
  evtx::GuidBytes guid;
  for (int i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(0xA0 + i);
  e.provider_guid = guid;
  e.event_id = event_id;
  e.level = level;
  e.task = 12544;
  e.keywords = keywords;
  e.time_created = kBaseTime + second * kTicksPerSecond;
  e.record_id = record_id;
  e.process_id = 500 + static_cast<uint32_t>(record_id);
  e.thread_id = 600;
  e.channel = channel;
  e.computer = "HOST-" + std::to_string(record_id % 3);
  e.user_sid = "S-1-5-18";
  e.event_data = {
      {"TargetUserName",
       evtx::WriterValue::String("user" + std::to_string(record_id % 4))},
      {"LogonType",
       evtx::WriterValue::Number(evtx::ValueType::kUInt32, 2 + record_id % 3)},
  };
  return e;
}

void WriteLog(const std::filesystem::path& path,
              const std::vector<evtx::WriterEvent>& events,
              evtx::WriterOptions options) {
  const std::vector<uint8_t> bytes = evtx::WriteEvtx(events, options);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qrv::offline::testing
