// Cost of reading a bare folder's files for their channels and providers
// (SummarizeEvtxFile, once per file when a folder is opened): records/s over
// a writer-made log of one channel and over an export of the same size whose
// records name three channels in turn. The logs are written once into the
// build folder and reused.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/evtx/evtx_writer.h"
#include "platform/offline/image/evtx_summary.h"

namespace {

namespace fs = std::filesystem;
constexpr uint64_t kRecords = 200'000;

// The log at bench_data/<name>, written first when missing; each record
// names channels[i % channels.size()].
fs::path Log(const std::string& name, const std::vector<std::string>& channels) {
  const fs::path path = fs::path(QRV_BENCH_DATA_DIR) / name;
  if (fs::exists(path)) return path;
  fs::create_directories(path.parent_path());
  std::vector<evtx::WriterEvent> events;
  events.reserve(kRecords);
  for (uint64_t i = 0; i < kRecords; ++i) {
    evtx::WriterEvent e;
    e.provider_name = i % 7 ? "Microsoft-Windows-Security-Auditing" : "EventLog";
    e.event_id = static_cast<uint16_t>(4624 + i % 5);
    e.time_created = 133485408000000000ull + i * 10'000'000ull;
    e.channel = channels[i % channels.size()];
    e.computer = "HOST";
    e.event_data = {{"TargetUserName", evtx::WriterValue::String("user" + std::to_string(i % 9))}};
    events.push_back(std::move(e));
  }
  const std::vector<uint8_t> bytes = evtx::WriteEvtx(events);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

void Summarize(benchmark::State& state, const fs::path& path) {
  for (auto _ : state) {
    auto summary = qrv::offline::SummarizeEvtxFile(path);
    benchmark::DoNotOptimize(summary);
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(kRecords), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SummarizeOneChannel(benchmark::State& state) { Summarize(state, Log("summary_one_channel.evtx", {"Security"})); }

void BM_SummarizeThreeChannels(benchmark::State& state) {
  Summarize(state, Log("summary_three_channels.evtx",
                       {"Security", "Microsoft-Windows-Sysmon/Operational", "Windows PowerShell"}));
}

BENCHMARK(BM_SummarizeOneChannel)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SummarizeThreeChannels)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
