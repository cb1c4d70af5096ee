// Read speed of the EVTX reader: records/s and MB/s for system properties
// only and for full XML rendering, over the five largest corpus files, the
// whole corpus and a synthetic file of at least 1 GiB (written once by the
// writer into the build folder, reused afterwards), plus the peak RssAnon
// seen while reading the big file in system-properties mode.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/evtx/evtx_writer.h"
#include "formats/evtx/file_reader.h"

namespace {

namespace fs = std::filesystem;
using qrv::bench::CorpusFiles;
using qrv::bench::LargestCorpusFiles;
constexpr uint64_t kSyntheticBytes = 1ULL << 30;

// Read-only mapping of one file; unmapped on destruction.
class MappedFile {
 public:
  explicit MappedFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
      void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                       MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<const uint8_t*>(p);
        size_ = static_cast<size_t>(st.st_size);
      }
    }
    ::close(fd);
  }
  ~MappedFile() {
    if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

uint64_t RssAnonKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("RssAnon:", 0) == 0)
      return std::strtoull(line.c_str() + 8, nullptr, 10);
  }
  return 0;
}

// Varied events: several providers and EventData shapes, so each chunk holds
// a handful of templates, as real logs do.
fs::path SyntheticFile() {
  const fs::path dir = QRV_BENCH_DATA_DIR;
  const fs::path path = dir / "synthetic_1g.evtx";
  if (fs::exists(path) && fs::file_size(path) >= kSyntheticBytes) return path;
  fs::create_directories(dir);
  const fs::path tmp = dir / "synthetic_1g.evtx.part";
  std::ofstream out(tmp, std::ios::binary);
  out.write(std::string(evtx::kFileHeaderBlockSize, '\0').data(),
            evtx::kFileHeaderBlockSize);
  uint64_t written = evtx::kFileHeaderBlockSize;
  evtx::EvtxWriter writer([&](const uint8_t* p, size_t n) {
    out.write(reinterpret_cast<const char*>(p),
              static_cast<std::streamsize>(n));
    written += n;
  });
  evtx::GuidBytes guid;
  for (int i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(0x30 + i);
  uint64_t i = 0;
  while (written < kSyntheticBytes) {
    evtx::WriterEvent e;
    const int kind = static_cast<int>(i % 4);
    e.provider_name = kind == 0   ? "Microsoft-Windows-Security-Auditing"
                      : kind == 1 ? "Service Control Manager"
                      : kind == 2 ? "Microsoft-Windows-Sysmon"
                                  : "Application Error";
    e.provider_guid = guid;
    e.event_id = static_cast<uint16_t>(4624 + kind);
    if (kind == 1) e.qualifiers = 16384;
    e.level = static_cast<uint8_t>(kind == 3 ? 2 : 4);
    e.task = 12544;
    e.keywords = 0x8020000000000000ULL;
    e.time_created = 133807597645217753ULL + i * 1000000ULL;
    e.process_id = 4 + static_cast<uint32_t>(i % 1000);
    e.thread_id = 100 + static_cast<uint32_t>(i % 77);
    e.channel = kind == 2 ? "Microsoft-Windows-Sysmon/Operational" : "Security";
    e.computer = "WS-0" + std::to_string(i % 3) + ".corp.example";
    if (kind != 0) e.user_sid = "S-1-5-18";
    using evtx::ValueType;
    using evtx::WriterValue;
    e.event_data = {
        {"SubjectUserSid",
         WriterValue::Sid("S-1-5-21-1004336348-1177238915-682003330-512")},
        {"SubjectUserName",
         WriterValue::String("user" + std::to_string(i % 50))},
        {"SubjectLogonId",
         WriterValue::Number(ValueType::kHexInt64, 0x3e7 + i)},
        {"LogonType", WriterValue::Number(ValueType::kUInt32, 3)},
        {"ProcessName",
         WriterValue::String("C:\\Windows\\System32\\svchost.exe")},
        {"IpAddress", WriterValue::String("10.0.0." + std::to_string(i % 250))},
    };
    if (kind >= 2)
      e.event_data.push_back(
          {"Hashes", WriterValue::String("SHA256=" + std::string(64, 'A'))});
    writer.Add(e);
    ++i;
  }
  const std::vector<uint8_t> header = writer.Finish();
  out.seekp(0);
  out.write(reinterpret_cast<const char*>(header.data()),
            static_cast<std::streamsize>(header.size()));
  out.close();
  fs::rename(tmp, path);
  return path;
}

enum class Mode { kSystem, kSystemNoChecksum, kXml };

struct Totals {
  uint64_t records = 0;
  uint64_t bytes = 0;
  uint64_t peak_anon_kib = 0;
};

void ReadOne(const uint8_t* data, size_t size, Mode mode, bool sample_rss,
             Totals* t) {
  evtx::FileReader file;
  if (!file.Open(data, size)) return;
  evtx::RecordCursor cursor(file, evtx::RecordOrder::kOldestFirst);
  cursor.decoder().set_verify_data_checksum(mode != Mode::kSystemNoChecksum);
  evtx::SystemProperties props;
  std::string xml;
  while (cursor.Next()) {
    if (mode != Mode::kXml) {
      if (cursor.decoder().ReadSystem(cursor.record(), &props) ==
          evtx::DecodeStatus::kOk)
        ++t->records;
      benchmark::DoNotOptimize(props);
    } else {
      if (cursor.decoder().RenderXml(cursor.record(), &xml) ==
          evtx::DecodeStatus::kOk)
        ++t->records;
      benchmark::DoNotOptimize(xml.data());
    }
    if (sample_rss && (t->records & 0xFFFF) == 0) {
      t->peak_anon_kib = std::max(t->peak_anon_kib, RssAnonKiB());
    }
  }
  t->bytes += size;
}

void Report(benchmark::State& state, const Totals& t) {
  state.counters["records/s"] = benchmark::Counter(
      static_cast<double>(t.records), benchmark::Counter::kIsRate);
  state.counters["records"] = benchmark::Counter(
      static_cast<double>(t.records), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(t.bytes));
}

void ReadFiles(benchmark::State& state, const std::vector<fs::path>& paths,
               Mode mode) {
  if (paths.empty()) {
    state.SkipWithError("no corpus (set QRV_SHARED_DIR)");
    return;
  }
  std::vector<std::unique_ptr<MappedFile>> maps;
  for (const fs::path& p : paths)
    maps.push_back(std::make_unique<MappedFile>(p));
  Totals t;
  for (auto _ : state) {
    for (const auto& m : maps) ReadOne(m->data(), m->size(), mode, false, &t);
  }
  Report(state, t);
}

void BM_Largest5_SystemProperties(benchmark::State& state) {
  ReadFiles(state, LargestCorpusFiles(5), Mode::kSystem);
}
void BM_Largest5_SystemPropertiesNoChecksum(benchmark::State& state) {
  ReadFiles(state, LargestCorpusFiles(5), Mode::kSystemNoChecksum);
}
void BM_Largest5_Xml(benchmark::State& state) {
  ReadFiles(state, LargestCorpusFiles(5), Mode::kXml);
}
void BM_Corpus_SystemProperties(benchmark::State& state) {
  ReadFiles(state, CorpusFiles(), Mode::kSystem);
}
void BM_Corpus_Xml(benchmark::State& state) {
  ReadFiles(state, CorpusFiles(), Mode::kXml);
}

void BM_Synthetic1G(benchmark::State& state, Mode mode) {
  const fs::path path = SyntheticFile();
  MappedFile map(path);
  Totals t;
  const uint64_t anon_before = RssAnonKiB();
  for (auto _ : state)
    ReadOne(map.data(), map.size(), mode, mode == Mode::kSystem, &t);
  Report(state, t);
  if (mode == Mode::kSystem) {
    t.peak_anon_kib = std::max(t.peak_anon_kib, RssAnonKiB());
    state.counters["RssAnon_MiB_peak"] =
        static_cast<double>(t.peak_anon_kib) / 1024.0;
    state.counters["RssAnon_MiB_before"] =
        static_cast<double>(anon_before) / 1024.0;
  }
}
void BM_Synthetic1G_SystemProperties(benchmark::State& state) {
  BM_Synthetic1G(state, Mode::kSystem);
}
void BM_Synthetic1G_Xml(benchmark::State& state) {
  BM_Synthetic1G(state, Mode::kXml);
}

BENCHMARK(BM_Largest5_SystemProperties)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Largest5_SystemPropertiesNoChecksum)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Largest5_Xml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Corpus_SystemProperties)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Corpus_Xml)->Unit(benchmark::kMillisecond);
// The 1 GiB runs come first in a fresh process for honest RssAnon figures
// when run alone (--benchmark_filter=Synthetic).
BENCHMARK(BM_Synthetic1G_SystemProperties)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Synthetic1G_Xml)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
