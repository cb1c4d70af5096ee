// Cost of message databases in the built program: GETEVENTSQUERY `Select *`
// over the five largest corpus logs (output to /dev/null), without a
// database and with the Windows 10 1703 one (QRV_EVENTLOG_MESSAGES), and a
// start-up run (GETLISTCHANNELS on an empty image) with and without it.
// Each run is one process timed from start to exit; the child's CPU time is
// reported beside the wall time, as the machine may be shared.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;
using qrv::bench::LargestCorpusFiles;
using qrv::bench::SharedDir;
using qrv::bench::TimeCommand;
using qrv::bench::Timing;

fs::path Database1703() {
  return SharedDir() /
         "corpus/messages/windows_10_1703_enterprise_x64_10.0.15063.0.db";
}

std::vector<std::string> SelectAll(const fs::path& file) {
  return {QRV_TOOL_PATH, "NOWARN", "GETEVENTSQUERY",
          "<QueryList><Query Id='0' Path='file://" + file.string() +
              "'><Select>*</Select></Query></QueryList>"};
}

// Runs every command once per iteration; the image root is an empty folder,
// so every message comes from the database or from nowhere.
void RunTimed(benchmark::State& state, bool with_database,
              const std::vector<std::vector<std::string>>& commands) {
  if (!fs::exists(Database1703())) {
    state.SkipWithError("no shared corpus");
    return;
  }
  const char* root = QRV_BENCH_DATA_DIR "/empty_image";
  fs::create_directories(root);
  setenv("QRV_EVENTLOG_ROOT", root, 1);
  if (with_database) {
    setenv("QRV_EVENTLOG_MESSAGES", Database1703().c_str(), 1);
  } else {
    unsetenv("QRV_EVENTLOG_MESSAGES");
  }
  double cpu = 0;
  for (auto _ : state) {
    double seconds = 0;
    for (const auto& argv : commands) {
      const Timing t = TimeCommand(argv);
      if (t.wall < 0 || t.exit_status != 0) {
        state.SkipWithError("command failed");
        return;
      }
      seconds += t.wall;
      cpu += t.cpu;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["cpu_ms"] =
      1e3 * cpu / static_cast<double>(state.iterations());
}

void Largest5(benchmark::State& state, bool with_database) {
  std::vector<std::vector<std::string>> commands;
  uint64_t bytes = 0;
  for (const fs::path& f : LargestCorpusFiles(5)) {
    commands.push_back(SelectAll(f));
    bytes += fs::file_size(f);
  }
  RunTimed(state, with_database, commands);
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

void BM_Largest5_SelectAll_NoDatabase(benchmark::State& state) {
  Largest5(state, false);
}
void BM_Largest5_SelectAll_Database1703(benchmark::State& state) {
  Largest5(state, true);
}
void BM_Startup_NoDatabase(benchmark::State& state) {
  RunTimed(state, false, {{QRV_TOOL_PATH, "NOWARN", "GETLISTCHANNELS"}});
}
void BM_Startup_Database1703(benchmark::State& state) {
  RunTimed(state, true, {{QRV_TOOL_PATH, "NOWARN", "GETLISTCHANNELS"}});
}

BENCHMARK(BM_Largest5_SelectAll_NoDatabase)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_Largest5_SelectAll_Database1703)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_Startup_NoDatabase)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_Startup_Database1703)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
