// Small event logs made with the project's EVTX writer for the service
// tests, and a temporary image folder to hold them.
// Entry points: FixtureEvent, WriteLog, kBaseTime.
#ifndef QRV_TESTS_PLATFORM_OFFLINE_SERVICE_SERVICE_FIXTURES_H_
#define QRV_TESTS_PLATFORM_OFFLINE_SERVICE_SERVICE_FIXTURES_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/evtx/evtx_writer.h"

namespace qrv::offline::testing {

// 2024-01-01T00:00:00Z in FILETIME ticks.
inline constexpr uint64_t kBaseTime = 133485408000000000ull;
inline constexpr uint64_t kTicksPerSecond = 10000000ull;

// A manifest-style event: Security-Auditing unless told otherwise, time
// kBaseTime + `second` seconds, EventData with a TargetUserName.
evtx::WriterEvent FixtureEvent(
    uint64_t record_id, uint16_t event_id, uint32_t second, uint8_t level = 0,
    uint64_t keywords = 0x8020000000000000ull,
    const std::string& channel = "Security",
    const std::string& provider = "Microsoft-Windows-Security-Auditing");

// Writes the events as one .evtx file at `path`.
void WriteLog(const std::filesystem::path& path,
              const std::vector<evtx::WriterEvent>& events,
              evtx::WriterOptions options = {});

}  // namespace qrv::offline::testing

#endif  // QRV_TESTS_PLATFORM_OFFLINE_SERVICE_SERVICE_FIXTURES_H_
