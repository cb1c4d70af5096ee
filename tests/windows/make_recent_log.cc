// Writes <folder>/System.evtx with events dated relative to now (1 hour,
// 2 hours, 30 hours and 72 hours ago), so the 24-hour commands have events
// both inside and outside their window whenever the test runs.
//
// Usage: qrv_make_recent_log FOLDER
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "formats/evtx/evtx_writer.h"

namespace {

// FILETIME ticks of the Unix epoch, and per second.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000ull;

evtx::WriterEvent Event(uint64_t now, uint64_t record, uint16_t id, uint8_t level,
                        uint64_t hours_ago) {
  evtx::WriterEvent e;
  e.provider_name = "Service Control Manager";
  e.event_id = id;
  e.qualifiers = 0x4000;
  e.level = level;
  e.keywords = 0x0080000000000000ull;  // classic
  e.time_created = now - hours_ago * 3600 * kTicksPerSecond;
  e.record_id = record;
  e.process_id = 700;
  e.thread_id = 800;
  e.channel = "System";
  e.computer = "RECENT-HOST";
  e.event_data = {{"", evtx::WriterValue::String("Recent Service")},
                  {"", evtx::WriterValue::String("running")}};
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qrv_make_recent_log FOLDER\n";
    return 2;
  }
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const uint64_t now =
      static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count()) *
          kTicksPerSecond +
      kUnixEpochTicks;
  const std::vector<uint8_t> bytes = evtx::WriteEvtx({
      Event(now, 1, 7000, 2, 72),  // error, outside one day
      Event(now, 2, 7036, 4, 30),  // information, outside one day
      Event(now, 3, 7011, 3, 2),   // warning
      Event(now, 4, 7036, 4, 1),   // information
      Event(now, 5, 7000, 2, 1),   // error
  });
  const std::filesystem::path folder(argv[1]);
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / "System.evtx", std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::cerr << "qrv_make_recent_log: cannot write " << (folder / "System.evtx") << "\n";
    return 1;
  }
  return 0;
}
