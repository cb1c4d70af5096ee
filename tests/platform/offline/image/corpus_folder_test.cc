// A bare folder made of real logs from the shared corpus (linked, not
// copied): channels and event sources checked against the expected-values
// tables an independent reader printed for the same files.
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_test_util.h"
#include "platform/offline/image/image.h"

namespace qrv::offline {
namespace {

using testing::TempFolder;

const std::filesystem::path kCorpus = std::filesystem::path(QRV_SHARED_DIR) / "corpus";

// Files of three channels; two Security logs must form one channel.
const char* const kFiles[] = {
    "EVTX-to-MITRE-Attack/TA0002-Execution/T1059.001-PowerShell/ID4103-4104-Payload download via PowerShell",
    "EVTX-to-MITRE-Attack/TA0001-Initial access/T1078-Valid accounts/"
    "ID4625-failed login with denied access due to account restriction",
    "EVTX-to-MITRE-Attack/EVTX_full_APT_attack_steps/ID5145-4624-DonPAPI full extraction",
};

struct Expected {
  std::string channel;                      // of the first record naming one
  std::map<std::string, uint64_t> events;   // per provider
};

// Reads expected/<file>.tsv: Provider is column 3, Channel column 8.
Expected ReadExpected(const std::string& file) {
  Expected e;
  std::ifstream in(kCorpus / "expected" / (file + ".tsv"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cols;
    std::stringstream fields(line);
    for (std::string col; std::getline(fields, col, '\t');) cols.push_back(col);
    if (cols.size() < 8) continue;
    ++e.events[cols[2]];
    if (e.channel.empty()) e.channel = cols[7];
  }
  return e;
}

TEST(CorpusFolderTest, RealLogsFormChannelsAndEventSources) {
  if (!std::filesystem::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
  TempFolder dir;
  std::map<std::string, std::set<std::string>> sources;  // channel -> providers
  std::map<std::string, size_t> file_count;
  for (const char* file : kFiles) {
    const Expected e = ReadExpected(file);
    ASSERT_FALSE(e.channel.empty()) << file;
    const std::filesystem::path source = kCorpus / (std::string(file) + ".evtx");
    std::filesystem::create_symlink(source, dir.path() / source.filename());
    ++file_count[e.channel];
    for (const auto& [provider, count] : e.events) sources[e.channel].insert(provider);
  }
  ASSERT_EQ(file_count["Security"], 2u);

  Image image(dir.path());
  ASSERT_EQ(image.layout(), ImageLayout::kEvtxFolder);
  // Plus the classic logs the folder has no file for, registered empty.
  for (const char* classic : {"Application", "System", "Security"}) {
    if (file_count.count(classic) == 0 && !image.LookupChannel(classic)->files.empty()) {
      ADD_FAILURE() << classic << " has files";
    }
  }
  ASSERT_EQ(image.Channels().size(), file_count.size() + 3 - file_count.count("Security"));
  for (const auto& [channel, count] : file_count) {
    std::optional<ChannelFiles> found = image.LookupChannel(channel);
    ASSERT_TRUE(found) << channel;
    EXPECT_EQ(found->files.size(), count) << channel;
  }

  // Classic logs list their providers as event sources.
  RegistryApi& registry = image.registry();
  for (const char* classic : {"Security"}) {
    HKey key = nullptr;
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + classic;
    ASSERT_EQ(registry.RegOpenKeyA(LocalMachineKey(), path.c_str(), &key), 0);
    std::set<std::string> names;
    char name[260];
    for (uint32_t i = 0; registry.RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) names.insert(name);
    EXPECT_EQ(names, sources[classic]);
    registry.RegCloseKey(key);
  }

  // Security's busiest provider owns it; the auditing provider's GUID is the
  // one every Windows release uses.
  const std::string guid = "{54849625-5478-4994-a5ba-3e3b0328c30d}";
  const std::string winevt = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\";
  auto text = [&registry](const std::string& path, const char* value) {
    HKey key = nullptr;
    if (registry.RegOpenKeyA(LocalMachineKey(), path.c_str(), &key) != 0) return std::string("<no key>");
    char data[260];
    uint32_t size = sizeof data;
    const int32_t rc =
        registry.RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<uint8_t*>(data), &size);
    registry.RegCloseKey(key);
    return rc == 0 ? std::string(data) : std::string("<no value>");
  };
  EXPECT_EQ(text(winevt + "Channels\\Security", "OwningPublisher"), guid);
  EXPECT_EQ(text(winevt + "Publishers\\" + guid, nullptr), "Microsoft-Windows-Security-Auditing");
}

}  // namespace
}  // namespace qrv::offline
