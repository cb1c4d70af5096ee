// What the publisher metadata cache saves on the render path: QueryEvents
// over every written channel of the built-in sample image grown to many
// events (its records written many times over), with the offline service
// behind MetadataCache, as the program runs it, and with the service
// answering directly, so that every event opens and closes its provider's
// metadata and a render context. Offline the message files are parsed once
// per process either way; what differs is the per-event open, lookup and
// close that the cache turns into a reference. On Windows each real open
// also loads the provider's resources, which this cannot show.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "platform/metadata_cache.h"
#include "platform/offline/image/evtx_summary.h"
#include "platform/offline/image/image.h"
#include "platform/offline/messages/file_access.h"
#include "platform/offline/messages/message_catalog.h"
#include "platform/offline/posix_system.h"
#include "platform/offline/service/offline_event_log.h"
#include "platform/platform.h"
#include "query/query_events.h"
#include "query/record_list.h"
#include "tools/image_folder.h"
#include "tools/sample_image_content.h"
#include "tools/sample_image_files.h"

namespace {

namespace fs = std::filesystem;
using namespace qrv;

// Copies of each sample record in the grown image.
constexpr int kCopies = 60;

// The sample image with every record written kCopies times (record numbers
// renumbered per channel), made once into the build folder.
fs::path GrownImage() {
  const fs::path folder = fs::path(QRV_BENCH_DATA_DIR) / "grown-sample-image";
  if (fs::exists(folder / sample::kMarkerFile)) return folder;
  sample::SampleImage image = sample::MakeSampleImage();
  std::vector<sample::SampleEvent> events;
  for (int copy = 0; copy < kCopies; ++copy) {
    for (const sample::SampleEvent& event : image.events) {
      events.push_back(event);
      events.back().record.record_id.reset();
    }
  }
  image.events = std::move(events);
  std::string error;
  if (!sample::WriteImageFolder(sample::BuildSampleImageFiles(image), folder,
                                &error)) {
    std::cerr << "metadata_cache_bench: " << error << "\n";
    std::exit(1);
  }
  return folder;
}

// The offline machine over the grown image, built as the program builds it.
struct Machine {
  explicit Machine(const fs::path& root)
      : image(root, offline::SummarizeEvtxFile),
        files(image.root()),
        messages(
            image.registry(),
            [this](std::string_view windows_path) -> std::optional<std::string> {
              auto path = files.ResolveWindowsPath(windows_path);
              if (!path) return std::nullopt;
              return path->string();
            },
            loader),
        service(offline::QuerySources{
                    [this](std::string_view name) {
                      return image.LookupChannel(name);
                    },
                    image.root(),
                    [this](std::string_view windows_path) {
                      return files.ResolveWindowsPath(windows_path);
                    }},
                system, messages) {}

  PosixSystem system;
  offline::Image image;
  offline::PathResolver files;
  offline::HostFileLoader loader;
  offline::MessageCatalog messages;
  offline::OfflineEventLog service;
};

Machine& TheMachine() {
  static Machine* const machine = new Machine(GrownImage());
  return *machine;
}

// Every channel of the sample that has a log file, in one query.
std::string AllChannelsQuery() {
  std::string query = "<QueryList>";
  int id = 0;
  for (const sample::RegisteredChannel& channel :
       sample::MakeSampleImage().channels) {
    if (!channel.has_file) continue;
    query += "<Query Id='" + std::to_string(id++) + "' Path='" + channel.name +
             "'><Select Path='" + channel.name + "'>*</Select></Query>";
  }
  return query + "</QueryList>";
}

void RunQueries(benchmark::State& state, EventLogApi& event_log) {
  Machine& machine = TheMachine();
  std::ostream null_output(nullptr);
  ScopedPlatform scope(Platform{&event_log, &machine.image.registry(),
                                &machine.system, &null_output});
  const std::string query = AllChannelsQuery();
  size_t events = 0;
  for (auto _ : state) {
    auto list = NewRecordList<EventList>();
    uint32_t error = 0;
    if (!QueryEvents(*list, query, error, false)) {
      state.SkipWithError(("query failed with " + std::to_string(error)).c_str());
      return;
    }
    events += list->GetCount();
  }
  state.SetItemsProcessed(static_cast<int64_t>(events));
}

void BM_RenderWithMetadataCache(benchmark::State& state) {
  Machine& machine = TheMachine();
  MetadataCache cache(machine.service, machine.system);
  RunQueries(state, cache);
}

void BM_RenderOpeningMetadataPerEvent(benchmark::State& state) {
  RunQueries(state, TheMachine().service);
}

BENCHMARK(BM_RenderWithMetadataCache)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderOpeningMetadataPerEvent)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
