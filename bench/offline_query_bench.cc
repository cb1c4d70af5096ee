// Speed of the offline event-log service through the real program:
// QRV_EventLog_Tools NOWARN GETEVENTSQUERY with a selective query and with
// `Select *` (output to /dev/null) over a synthetic 1 GiB log, and `Select *`
// against Debian's `evtxexport -f xml` on the same file and on the five
// largest corpus files. records/s counts the records in the file, scanned or
// not. The synthetic log (written once by the project's EVTX writer into the
// build folder) holds one 4624 event in 20,000, so the selective query
// returns a few hundred events. Each run is one process, timed from start to
// exit; the image root is an empty folder, the file is named by file://.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/file_reader.h"
#include "platform/offline/service/evtx_source.h"

namespace {

namespace fs = std::filesystem;
using qrv::bench::LargestCorpusFiles;
using qrv::bench::TimeCommand;
using qrv::bench::Timing;
constexpr uint64_t kSyntheticBytes = 1ULL << 30;
constexpr uint64_t kSelectiveEvery = 20000;

// Security-style events with a handful of ids, providers and EventData
// shapes; 4624 only every kSelectiveEvery-th record.
fs::path SyntheticFile() {
  const fs::path dir = QRV_BENCH_DATA_DIR;
  const fs::path path = dir / "service_1g.evtx";
  if (fs::exists(path) && fs::file_size(path) >= kSyntheticBytes) return path;
  fs::create_directories(dir);
  const fs::path part = dir / "service_1g.evtx.part";
  std::ofstream out(part, std::ios::binary);
  out.write(std::string(evtx::kFileHeaderBlockSize, '\0').data(),
            evtx::kFileHeaderBlockSize);
  uint64_t written = evtx::kFileHeaderBlockSize;
  evtx::EvtxWriter writer([&](const uint8_t* p, size_t n) {
    out.write(reinterpret_cast<const char*>(p),
              static_cast<std::streamsize>(n));
    written += n;
  });
  evtx::GuidBytes guid;
  for (int i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(0x54 + i);
  using evtx::ValueType;
  using evtx::WriterValue;
  for (uint64_t i = 0; written < kSyntheticBytes; ++i) {
    evtx::WriterEvent e;
    const int kind = static_cast<int>(i % 5);
    e.provider_name = kind == 4 ? "Microsoft-Windows-Eventlog"
                                : "Microsoft-Windows-Security-Auditing";
    e.provider_guid = guid;
    e.event_id =
        i % kSelectiveEvery == 0
            ? 4624
            : static_cast<uint16_t>(kind == 4 ? 1100 : 4625 + kind * 16);
    e.level = static_cast<uint8_t>(kind == 4 ? 4 : 0);
    e.task = static_cast<uint16_t>(12544 + kind);
    e.keywords = kind == 1 ? 0x8010000000000000ULL : 0x8020000000000000ULL;
    e.time_created = 133807597645217753ULL + i * 3000000ULL;
    e.process_id = 4 + static_cast<uint32_t>(i % 1000);
    e.thread_id = 100 + static_cast<uint32_t>(i % 77);
    e.channel = "Security";
    e.computer = "DC-0" + std::to_string(i % 4) + ".corp.example";
    e.event_data = {
        {"SubjectUserSid",
         WriterValue::Sid("S-1-5-21-3623811015-3361044348-30300820-1013")},
        {"SubjectUserName",
         WriterValue::String("svc" + std::to_string(i % 40))},
        {"SubjectLogonId",
         WriterValue::Number(ValueType::kHexInt64, 0x3e7 + i % 5000)},
        {"TargetUserName",
         WriterValue::String("user" + std::to_string(i % 300))},
        {"LogonType", WriterValue::Number(ValueType::kUInt32, 2 + i % 9)},
        {"IpAddress", WriterValue::String("10.1." + std::to_string(i % 200) +
                                          "." + std::to_string(i % 250))},
    };
    if (kind >= 3) {
      e.event_data.push_back(
          {"ProcessName",
           WriterValue::String("C:\\Windows\\System32\\lsass.exe")});
    }
    writer.Add(e);
  }
  const std::vector<uint8_t> header = writer.Finish();
  out.seekp(0);
  out.write(reinterpret_cast<const char*>(header.data()),
            static_cast<std::streamsize>(header.size()));
  out.close();
  fs::rename(part, path);
  return path;
}

uint64_t CountRecords(const fs::path& path) {
  static std::map<fs::path, uint64_t> counts;
  auto it = counts.find(path);
  if (it != counts.end()) return it->second;
  uint32_t error = 0;
  auto source = qrv::offline::EvtxSource::Open(path, &error);
  uint64_t n = 0;
  if (source) {
    qrv::offline::EvtxRecordCursor cursor(source->file(),
                                          evtx::RecordOrder::kOldestFirst);
    while (cursor.Next()) ++n;
  }
  counts[path] = n;
  return n;
}

std::string Query(const fs::path& file, const std::string& select) {
  return "<QueryList><Query Id='0' Path='file://" + file.string() +
         "'><Select>" + select + "</Select></Query></QueryList>";
}

// evtxexport exits with 1 on files it cannot read to the end (several
// damaged corpus files); such runs still count, and are reported in
// `failed_runs`. The tool must succeed on every file.
void RunTimed(
    benchmark::State& state, const std::vector<fs::path>& files,
    const std::function<std::vector<std::string>(const fs::path&)>& argv,
    bool tolerate_failure = false) {
  const char* root = QRV_BENCH_DATA_DIR "/empty_image";
  fs::create_directories(root);
  setenv("QRV_EVENTLOG_ROOT", root, 1);
  uint64_t records = 0, bytes = 0;
  for (const fs::path& f : files) {
    records += CountRecords(f);
    bytes += fs::file_size(f);
  }
  double cpu = 0;
  int failed_runs = 0;
  for (auto _ : state) {
    double seconds = 0;
    for (const fs::path& f : files) {
      const Timing t = TimeCommand(argv(f));
      if (t.wall < 0 || (t.exit_status != 0 && !tolerate_failure)) {
        state.SkipWithError("command failed");
        return;
      }
      failed_runs += t.exit_status != 0;
      seconds += t.wall;
      cpu += t.cpu;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records),
                         benchmark::Counter::kIsIterationInvariantRate);
  state.counters["records/cpu_s"] = static_cast<double>(records) *
                                    static_cast<double>(state.iterations()) /
                                    cpu;
  state.counters["records"] = static_cast<double>(records);
  state.counters["failed_runs"] = failed_runs;
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

std::vector<std::string> ToolSelective(const fs::path& f) {
  return {QRV_TOOL_PATH, "NOWARN", "GETEVENTSQUERY",
          Query(f, "*[System[EventID=4624]]")};
}
std::vector<std::string> ToolSelectAll(const fs::path& f) {
  return {QRV_TOOL_PATH, "NOWARN", "GETEVENTSQUERY", Query(f, "*")};
}
std::vector<std::string> Evtxexport(const fs::path& f) {
  return {"evtxexport", "-f", "xml", f.string()};
}

void BM_Synthetic1G_ToolSelective(benchmark::State& state) {
  RunTimed(state, {SyntheticFile()}, ToolSelective);
}
void BM_Synthetic1G_ToolSelectAll(benchmark::State& state) {
  RunTimed(state, {SyntheticFile()}, ToolSelectAll);
}
void BM_Synthetic1G_Evtxexport(benchmark::State& state) {
  RunTimed(state, {SyntheticFile()}, Evtxexport, true);
}
void BM_Largest5_ToolSelectAll(benchmark::State& state) {
  RunTimed(state, LargestCorpusFiles(5), ToolSelectAll);
}
void BM_Largest5_Evtxexport(benchmark::State& state) {
  RunTimed(state, LargestCorpusFiles(5), Evtxexport, true);
}

BENCHMARK(BM_Synthetic1G_ToolSelective)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Synthetic1G_ToolSelectAll)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_Synthetic1G_Evtxexport)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_Largest5_ToolSelectAll)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_Largest5_Evtxexport)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
